// The command line: each command against the fake transport, and the program with no display.
#include "app/Launch.h"
#include "cli/CommandLine.h"
#include "core/Answers.h"
#include "core/Languages.h"
#include "core/ScratchFolder.h"
#include "desktop/Display.h"
#include "platform/ClipboardOwner.h"
#include "platform/Printable.h"
#include "support/AppHarness.h"
#include "support/DataRows.h"
#include "support/Files.h"
#include "support/TestService.h"

#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstring>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

const QByteArray kKey = "0123456789abcdef0123456789ABCDEF", kSession = "al," + kKey;

// The last request in one line: the path, the fields in order, then the file.
QString summary(const QList<FakeRequest>& requests) {
    if (requests.isEmpty()) return {};
    const FakeRequest& last = requests.last();
    QStringList bits = QStringList(last.path) + last.form();
    if (!last.filePath.isEmpty())
        bits << "<" + QFileInfo(last.filePath).fileName() + ";" + last.mimeType;
    return bits.join(" ");
}

}  // namespace

class CliTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // No row reaches the display of whoever runs the suite.
    void initTestCase() { qunsetenv("DISPLAY"), qunsetenv("WAYLAND_DISPLAY"); }

    void commands_data() {
        // @txt, @png: in a temporary folder; <&-, >&-, 2>&-, >/dev/full: closed or full streams;
        // +debug: debug logging.
        // reply: "run": the program itself, no fake; "302 LOCATION": a service redirecting there.
        // outcome: status, output, last request, session after; err: a piece of standard error.
        columns<QStringList, QByteArray, QByteArray, QByteArray, QStringList, QString>(
            "args", "input", "session", "reply", "outcome", "err");
        const char* a = "ferrodock.net/p/abcdefghi";
        const QString url = "https://" + QString(a) + "\n", s = kSession, key = kSession.mid(3);
        const QString paste = "/api/upload/paste pastedata=", up = "/api/upload/";
        const QString login = "/api/validate/user username=al password=";
        const QString x = paste + "x language=no-highlight priv=0 anon=0 apikey=";
        const QStringList refused{"1", "", "", ""}, usage{"2", "", "", s};
        const auto row = [](const char* name, const QStringList& args, const QByteArray& input,
                            const QByteArray& session, const QByteArray& reply,
                            const QStringList& outcome, const QString& err = {}) {
            QTest::newRow(name) << args << input << session << reply << outcome << err;
        };
        row("paste stdin, logged out", {"paste"}, "print('hi')\n", "", a,
            {"0", url, paste + "print('hi')\n language=no-highlight priv=0 anon=0 apikey=", ""});
        row("paste title any case, flags, logged in", {"paste", "-l", "objective c", "-pa", "-"},
            "x", kSession, a,
            {"0", url, paste + "x language=objectivec priv=1 anon=1 apikey=" + key, s});
        row("paste file, identifier, copy", {"paste", "--language", "cpp", "--copy", "@txt"}, "",
            "", a, {"0", url, paste + "a&b=c C++\n language=cpp priv=0 anon=0 apikey=", ""},
            "no display");
        row("answer is a message", {"paste"}, "x", "", "Bad\x1b[2Jkey\n", {"1", "", x, ""},
            "the service answered: Bad\\x1b[2Jkey\\x0a");
        row("hostile redirect", {"paste"}, "x", "", "302 https://e.x/\x1b]0;t\a\x1b[31m", refused,
            "https://e.x/\\x1b]0;t\\x07\\x1b[31m");
        row("answer not UTF-8", {"paste"}, "x", "", "\xff", {"1", "", x, ""},
            "standard input: Upload failed: the service's answer was not text. The service may be "
            "out of order; try again later.");
        // The program itself needs neither a display nor a GUI application.
        row("program, service unreachable", {"paste", "--copy", "-"}, "x", "", "run", refused,
            "standard input: Upload failed: could not reach ferrodock.net. Please try again.");
        row("program, debug", {"paste", "+debug"}, "x", "", "run", refused, "POST /api/upload/");
        for (const QStringList& args : {QStringList(), {"open", "a.png"}})
            row(qPrintable("window with no display " + args.join(' ')), args, "", "", "run",
                refused,
                "ferrodock: no display to open the window on; see ferrodock --help for the "
                "command line\n");
        for (const QStringList& args : {QStringList{"--verison"},
                                        {"-platform", "offscreen", "-x"},
                                        {"--platform", "offscreen", "-x"}})
            row(qPrintable(args.join(' ')), args, "", "", "run", {"2", "", "", ""},
                "ferrodock: unknown option '" + args.last() + "'\nTry 'ferrodock --help'");
        row("program, no terminal", {"login", "al"}, "", "", "run", refused,
            "ferrodock: login: no terminal to ask for the password; use --password-stdin\n");
        row("program, input closed", {"login", "--password-stdin", "al", "<&-"}, "", "", "run",
            refused, "login: standard input cannot be read: Bad file descriptor; nothing was sent");
        // /dev/null in its place, so that no file the program opens takes it.
        row("program, error closed", {"paste", "2>&-"}, "x", "", "run", refused, "");
        const QString full =
            "uploaded to " + url.trimmed() + ", but standard output cannot take the address: ";
        for (const char* to : {">/dev/full", ">&-"}) {
            const QString why = to[1] == '&' ? "Bad file descriptor" : "No space left on device";
            row(qPrintable(QString("upload ") + to), {"upload", "@txt", "@png", to}, "", "", a,
                {"1", "", up + "file priv=0 anon=0 apikey= <note.txt;text/plain", ""}, full + why);
            row(qPrintable(QString("paste ") + to), {"paste", to}, "x", "", a, {"1", "", x, ""},
                "ferrodock: standard input: " + full + why + "\n");
            row(qPrintable(QString("program ") + to), {"--version", to}, "", "", "run", refused,
                "ferrodock: cannot write to standard output: " + why + "\n");
        }
        row("program --version", {"--version"}, "", "", "run",
            {"0", "ferrodock " FERRODOCK_VERSION "\n", "", ""});
        row("paste not UTF-8", {"paste"}, "a\xff", "", "", refused, "not UTF-8");
        row("too large", {"paste"}, QByteArray(kPasteLimit + 1, 'x'), "", "", refused, "16 MiB");
        row("upload, logged in, slow", {"upload", "-p", "@txt", "+slow"}, "", kSession, a,
            {"0", url, up + "file priv=1 anon=0 apikey=" + key + " <note.txt;text/plain", s});
        // On a terminal, after a second, the part sent or a spinner; gone with the answer.
        row("upload on a terminal", {"upload", "@txt", "+slow", "+term"}, "", "", a,
            {"0", url, up + "file priv=0 anon=0 apikey= <note.txt;text/plain", ""},
            "\r\033[Knote.txt [###########################---] 90%\r\033[K");
        row("paste on a terminal", {"paste", "+slow", "+term"}, "x", "", a, {"0", url, x, ""},
            "\r\033[KPasting | 1 s\r\033[K");
        row("image, nsfw", {"image", "--nsfw", "@png"}, "", "", a,
            {"0", url, up + "image priv=0 anon=0 nsfw=1 apikey= <pic.PNG;image/png", ""});
        // Every piece of a path is checked, however it is written.
        for (const char* bad : {"bad\uFFFD.txt", "./bad\uFFFD.txt", "d/../bad\uFFFD.txt"})
            row(bad, {"upload", bad}, "", "", a, refused, "the name is not valid UTF-8");
        row("paste, bad name", {"paste", "bad\uFFFD.txt"}, "", "", a, refused, "not valid UTF-8");
        row("one file missing", {"upload", "@txt", "missing.bin", "@png"}, "", "", a,
            {"1", url + url, up + "file priv=0 anon=0 apikey= <pic.PNG;image/png", ""},
            "missing.bin: No such file");
        row("image of text", {"image", "@txt"}, "", "", "", refused, "only jpg, jpeg, gif and png");
        // Standard input as "-": each kind of bytes, by each command, with and without a name (of
        // 255 bytes, the most a file's name may have).
        const std::tuple<const char*, QByteArray, QString> kinds[] = {
            {"png", QByteArray("\x89PNG\r\n\x1a\n\0\r\n", 11), "stdin.png;image/png"},
            {"jpeg", "\xff\xd8\xff\xe0", "stdin.jpg;image/jpeg"},
            {"gif", "GIF87a\x01", "stdin.gif;image/gif"},
            {"cut png", "\x89PNG\r\n\x1a", "stdin;application/octet-stream"},
            {"empty", "", ""}};
        for (const auto& [kind, bytes, sent] : kinds)
            for (const QString& name : {QString(), "a b" + QString(248, 'x') + ".GIF"})
                for (const QString command : {"upload", "image"}) {
                    const bool image = command == "image",
                               ok = !sent.isEmpty() && (!image || sent.contains("image/"));
                    const QString to =
                        up + (image ? "image priv=0 anon=0 nsfw=0" : "file priv=0 anon=0") +
                        " apikey= <" + (name.isEmpty() ? sent : name + ";image/gif");
                    row(qPrintable(command + " - " + kind + " " + name.left(5)),
                        QStringList{command, "-"} +
                            (name.isEmpty() ? QStringList() : QStringList{"--name", name}),
                        bytes, "", a, {ok ? "0" : "1", ok ? url : "", ok ? to : "", ""},
                        ok ? ""
                        : bytes.isEmpty()
                            ? "ferrodock: standard input is empty; nothing was sent\n"
                            : "ferrodock: standard input is not a PNG, JPEG or GIF picture\n");
                }
        row("- twice", {"upload", "-", "-"}, "x", kSession, a, usage, "upload: - is given twice");
        row("--name with a /", {"image", "--name", "a/b.png", "-"}, "x", kSession, a, usage,
            "--name 'a/b.png' is not a file name (at most 255 bytes, no '/')");
        row("--name with no -", {"upload", "--name", "n", "@txt"}, "", kSession, a, usage);
        row("--name not an image", {"image", "--name", "a.txt", "-"}, "GIF89a", "", a, refused,
            "ferrodock: a.txt: only jpg, jpeg, gif and png images can be uploaded as images\n");
        row("- from a terminal", {"image", "-", "<tty"}, "", kSession, a, usage,
            "ferrodock: image: - reads a picture piped in, as in 'grim - | ferrodock image -'; "
            "standard input is a terminal");
        row("- of a closed input", {"upload", "-", "<&-"}, "", "", a, refused,
            "ferrodock: standard input cannot be read: Bad file descriptor\n");
        row("- with no scratch folder", {"upload", "-", "+badroot"}, "x", "", a, refused,
            "/note.txt/ferrodock: Not a directory");
        row("- after a file, copy", {"upload", "-p", "@txt", "-", "--copy"}, "x", "", a,
            {"0", url + url, up + "file priv=1 anon=0 apikey= <stdin;application/octet-stream", ""},
            "no display");
        row("program, image -", {"image", "-"}, "\xff\xd8\xff", "", "run", refused,
            "standard input: Upload failed: could not reach ferrodock.net.");
        row("program, Ctrl+C on -", {"upload", "-", "+int"}, QByteArray(100000, 'x'), "", "run",
            {"130", "", "", ""}, "");
        row("login from stdin", {"login", "--password-stdin", "al"}, "p&w 1\n", "old,key", kKey,
            {"0", "", login + "p&w 1", s}, "Logged in as al");
        row("login from a CRLF line", {"login", "--password-stdin", "al"}, "pw\r\n", "", kKey,
            {"0", "", login + "pw", s}, "Logged in as al");
        row("login asked on the terminal", {"login", "al"}, "", "", kKey,
            {"0", "", login + "typed secret", s});
        row("name asked on the terminal", {"login"}, "", "", kKey,
            {"0", "", "/api/validate/user username=ann password=typed secret", "ann," + kKey});
        // A password of 4096 bytes and its line feed is read whole; anything else is refused,
        // the same with a second line feed ("+"), which belongs to the password.
        for (const char* n : {"4096", "", "\n", "<&-", "4097", "4096+", "100000"}) {
            const QByteArray in = std::atoi(n) ? QByteArray(std::atoi(n), 'x') +
                                                     (QByteArray(n).endsWith('+') ? "\n\n" : "\n")
                                               : QByteArray(n);
            const bool ok = in.size() == 4097;
            const char* why = *n == '<' ? "cannot be read" : *n > '0' ? "over 4096" : "is empty";
            row(qPrintable(QString("password ") + n), {"login", "--password-stdin", "al"}, in,
                kSession, kKey, {ok ? "0" : "1", "", ok ? login + in.chopped(1) : "", s},
                ok ? "Logged in" : why);
        }
        row("login rejected", {"login", "--password-stdin", "al"}, "pw", "",
            "3b7f0c52a9d14e68b2c5f7091d4a6e83", {"1", "", login + "pw", ""}, "login incorrect");
        row("login message, old login kept", {"login", "--password-stdin", "al"}, "pw", kSession,
            "Account locked", {"1", "", login + "pw", s}, "Account locked");
        row("logout", {"logout"}, "", kSession, "", {"0", "", "", ""}, "Logged out");
        row("no file", {"upload"}, "", kSession, "", usage, "Try 'ferrodock upload --help'");
        row("paste's option", {"upload", "-l", "c", "@txt"}, "", kSession, "", usage, "Try '");
        row("login's option", {"upload", "--password-stdin", "@txt"}, "", kSession, "", usage);
        row("unknown language", {"paste", "-l", "cobol"}, "", kSession, "", usage,
            "ferrodock: paste: unknown language 'cobol'; 'ferrodock paste --help' lists the "
            "languages\n");
        // Outside text on standard error: controls, separators and direction overrides written
        // out, other text as it is. Pairs: a file name, then how it is shown.
        const char* pairs =
            "\x1b]0;t\a|\\x1b]0;t\\x07|a\u009bb|a\\x9bb|\x7f\n\t|\\x7f\\x0a\\x09|"
            "a\u2028b|a\\u2028b|\u202etxt.exe|\\u202etxt.exe|\u2066x\u2069|\\u2066x\\u2069|"
            "plain text|plain text|Zo\u00eb \U0001F44D\u200d.txt|Zo\u00eb \U0001F44D\u200d.txt";
        const QStringList shown = QString(pairs).split('|');
        for (qsizetype i = 0; i < shown.size(); i += 2)
            row(qPrintable("name " + shown[i + 1]), {"upload", shown[i]}, "", "", "", refused,
                "ferrodock: " + shown[i + 1] + ": No such file");
        row("nsfw on a file", {"upload", "--nsfw", "@txt"}, "", kSession, "", usage, "Try '");
        row("unknown command", {"frob"}, "", kSession, "", usage, "Try 'ferrodock --help'");
    }
    void commands() {
        auto [args, input, session, reply, err] =
            fetch<QStringList, QByteArray, QByteArray, QByteArray, QString>(
                "args", "input", "session", "reply", "err");
        TestHome home(session);
        QTemporaryDir dir;
        // Beside the files, in the current folder: names that decode alike, not UTF-8 and UTF-8.
        const QByteArray at = QFile::encodeName(dir.path()) + "/";
        for (const char* twin : {"bad\xff.txt", "bad\xef\xbf\xbd.txt"})
            std::fclose(std::fopen(at + twin, "w"));
        QDir(dir.path()).mkdir("d"), QDir::setCurrent(dir.path());
        const QHash<QString, QString> files{
            {"@txt", makeFile(dir.path(), "note.txt", "a&b=c C++\n")},
            {"@png", makeFile(dir.path(), "pic.PNG", "\x89PNG")}};
        for (QString& arg : args) arg = files.value(arg, arg);
        const bool debug = args.removeAll("+debug"), full = args.removeAll(">/dev/full"),
                   noOut = args.removeAll(">&-"), noErr = args.removeAll("2>&-"),
                   noIn = args.removeAll("<&-") || input == "<&-", tty = args.removeAll("<tty"),
                   badRoot = args.removeAll("+badroot"), interrupt = args.removeAll("+int"),
                   term = args.removeAll("+term");
        // Standard input's scratch files, and what each was when it was sent.
        const QString runtime = dir.filePath("run");
        ScratchFolder scratch(badRoot ? files["@txt"] + "/ferrodock" : runtime + "/ferrodock");
        const auto kept = [&runtime] {
            QStringList found;
            // Each file's own folder too; a run's folder and its lock stay for the next sweep.
            for (QDirIterator it(runtime,
                                 QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                 QDirIterator::Subdirectories);
                 it.hasNext();)
                if (it.next(), it.fileName() != ".lock" && !it.fileName().startsWith("run-") &&
                                   it.fileName() != "ferrodock")
                    found << it.filePath();
            return found;
        };
        QByteArray sentBytes;
        mode_t sentMode = 0;
        FakeTransport net(reply);
        net.replyAfter = args.removeAll("+slow") ? 1200 : 0;  // the progress shows after 1 s
        net.seen = [&](const FakeRequest& request) {
            struct stat st {};
            if (::stat(QFile::encodeName(request.filePath), &st) == 0)
                sentMode = st.st_mode & 07777, sentBytes = readFile(request.filePath);
            request.progress({905, request.filePath.isEmpty() ? 0 : 1000});  // of a file only
        };
        std::optional<TestService> service;  // replaces the fake
        std::unique_ptr<Transport> real;
        if (reply.startsWith("302 ")) {
            service.emplace().setReply(Reply{.status = 302, .location = reply.mid(4)});
            real = service->makeTransport();
        }
        int status = 0;
        QByteArray out, said;
        if (reply == "run") {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name :
                 {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "no_proxy", "NO_PROXY"})
                env.remove(name);
            env.insert("https_proxy", "http://127.0.0.1:1");  // refused at once
            env.insert("QT_LOGGING_RULES", debug ? "ferrodock.*.debug=true" : "");
            env.insert("XDG_RUNTIME_DIR", runtime), process.setProcessEnvironment(env);
            if (full) process.setStandardOutputFile("/dev/full");
            process.setChildProcessModifier([noIn, noOut, noErr] {
                ::setsid();  // no terminal to ask on
                if (noIn) ::close(0);
                if (noOut) ::close(1);
                if (noErr) ::close(2);
            });
            process.start(FERRODOCK_BINARY, args);
            const QString err2 = QString("/proc/%1/fd/2").arg(process.processId());
            // The program makes itself undumpable: only root may read its descriptors.
            if (noErr && ::geteuid() == 0) QTRY_COMPARE(QFile::symLinkTarget(err2), "/dev/null");
            process.write(input);
            if (interrupt) {  // while it waits for the rest, with a piece written
                QTRY_VERIFY(kept().size() == 2 && QFileInfo(kept().last()).size() > 0);
                ::kill(pid_t(process.processId()), SIGINT);
            }
            process.closeWriteChannel();
            QVERIFY(process.waitForFinished(60000));
            status = process.exitCode() + (process.exitStatus() == QProcess::CrashExit ? 128 : 0);
            out = process.readAllStandardOutput(), said = process.readAllStandardError();
        } else {
            CommandStreams io = CommandStreams::standard();
            // A stream opened the other way round fails every read or write, as a closed one.
            io.in = noIn ? std::fopen("/dev/null", "w")
                         : ::fmemopen(input.data(), size_t(input.size()), "r");
            io.out = full    ? std::fopen("/dev/full", "w")
                     : noOut ? std::fopen("/dev/null", "r")
                             : tempStream();
            io.err = tempStream();
            io.inIsTerminal = tty, io.errIsTerminal = term, io.scratch = &scratch;
            io.ask = [](const QString&, bool echo) {
                return QString(echo ? "ann" : "typed secret");
            };
            // What is logged goes through the program's own handler too, with all the detail.
            static QByteArray logged;
            const QtMessageHandler testlib =
                qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
                    logged += m.toUtf8();
                });
            installPrintableMessages();
            QLoggingCategory::setFilterRules("ferrodock.*.debug=true");
            Session login;
            io.session = &login, io.transport = real ? real.get() : &net;
            status = runCommand(args, io);
            QLoggingCategory::setFilterRules({}), qInstallMessageHandler(testlib);
            said = std::exchange(logged, {}), std::fclose(io.in);
            out = full || noOut ? (std::fclose(io.out), "") : contents(io.out);
            said.prepend(contents(io.err));
        }
        QDir::setCurrent(QDir::rootPath());
        // Sent as it came, private while it waited, and gone once sent or refused.
        if (args.contains("-") && args[0] != "paste" && status == 0)
            QVERIFY(sentMode == 0600 && sentBytes == input);
        QCOMPARE(kept(), QStringList());
        ::unlink(at + "bad\xff.txt");  // QDir cannot remove what it cannot name
        QTEST((QStringList{QString::number(status), out, service ? "" : summary(net.requests),
                           readFile(home.sessionFile())}),
              "outcome");
        // Said once; a whole line is all that is said. curl's words only with debug logging.
        QVERIFY2(err.endsWith('\n') ? said == err.toUtf8()
                                    : said.count(err.toUtf8()) == 1 || err.isEmpty(),
                 said.constData());
        QCOMPARE(said.contains("curl"), debug);
        if (real)  // the debug line: the request, its status and what was sent
            QVERIFY(said.contains("POST /api/upload/paste: failed, status 302, ") &&
                    said.contains("), 55 bytes sent, "));
        // No secret, and no terminal control where there is no terminal.
        QVERIFY(!said.contains(kKey) && !said.contains("secret") && !said.contains("p&w") &&
                said.contains('\033') == term && !said.contains('\a'));
    }

    // --copy leaves the address with an owner (the window program) in its own session, off the
    // command's streams, which serves it once the command is over until another client takes the
    // clipboard; or, where a clipboard manager runs, until it has handed the text to it.
    void copyOutlivesCommand_data() {
        columns<bool>("manager");
        row("no clipboard manager", false);
        row("a clipboard manager", true);
    }
    void copyOutlivesCommand() {
        const auto [manager] = fetch<bool>("manager");
        for (const char* tool : {"Xvfb", "xclip"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) QSKIP("needs Xvfb and xclip");
        QProcess server, taker;
        server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        // It writes its keymap to /tmp, which an unprivileged run may not be given.
        if (!server.waitForReadyRead(30000)) QSKIP("Xvfb does not start for this user here");
        qputenv("DISPLAY", ":" + server.readAllStandardOutput().trimmed());
        // An owner handed no text, or a byte more than it holds, ends at once, taking nothing.
        QTemporaryFile over;
        QVERIFY(over.open() && over.resize(clipboard::kTextLimit + 1));
        const QString start = "exec env FERRODOCK_CLIPBOARD_OWNER=1 \"$0\" 3<\"$1\"";
        for (const QString& text : {QString("/dev/null"), over.fileName()})
            QCOMPARE(QProcess::execute("sh", {"-c", start, FERRODOCK_WINDOW_BINARY, text}), 1);
        // The manager: a window of this test that owns CLIPBOARD_MANAGER and acknowledges
        // each handover (SAVE_TARGETS) at once.
        xcb_connection_t* x = xcb_connect(nullptr, nullptr);
        const xcb_window_t own = xcb_generate_id(x);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
        xcb_create_window(x, 0, own, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          screen->root_visual, 0, nullptr);
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, 17, "CLIPBOARD_MANAGER"), nullptr);
        if (manager) xcb_set_selection_owner(x, own, atom->atom, XCB_CURRENT_TIME);
        std::free(atom), xcb_flush(x);
        int handovers = 0;
        const auto acknowledge = [x, &handovers] {
            while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
                const auto* asked = reinterpret_cast<xcb_selection_request_event_t*>(event);
                if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
                    xcb_selection_notify_event_t done{};
                    done.response_type = XCB_SELECTION_NOTIFY, done.time = asked->time;
                    done.requestor = asked->requestor, done.selection = asked->selection;
                    done.target = asked->target, done.property = asked->property;
                    char sent[32] = {};
                    std::memcpy(sent, &done, sizeof done);
                    xcb_send_event(x, 0, asked->requestor, 0, sent);
                    xcb_flush(x), ++handovers;
                }
                std::free(event);
            }
        };
        const auto clipboard = [] {
            QProcess xclip;
            xclip.start("xclip", {"-o", "-selection", "clipboard"});
            return xclip.waitForFinished() ? xclip.readAllStandardOutput() : "";
        };
        TestHome home;
        FakeTransport net("ferrodock.net/p/abcdefghi");
        CommandStreams io = CommandStreams::standard();
        io.in = ::fmemopen(const_cast<char*>("x"), 1, "r");
        io.out = io.err = tempStream();
        Session session;
        io.session = &session, io.transport = &net;
        io.copy = [](const QString& text) {
            return clipboard::keepOnClipboard(text, FERRODOCK_WINDOW_BINARY);
        };
        QCOMPARE(::dup2(::fileno(io.out), 200), 200);  // a descriptor left to children by mistake
        QCOMPARE(runCommand({"paste", "--copy", "-"}, io), 0);
        std::fclose(io.in), ::close(200);
        QCOMPARE(contents(io.out), "https://ferrodock.net/p/abcdefghi\n");
        QCOMPARE(clipboard(), "https://ferrodock.net/p/abcdefghi");
        QStringList kids = QString(readFile(QString("/proc/%1/task/%1/children").arg(::getpid())))
                               .split(' ', Qt::SkipEmptyParts);
        kids.removeAll(QString::number(server.processId()));
        QCOMPARE(kids.size(), 1);
        const pid_t owner = kids[0].toInt();
        QCOMPARE(::getsid(owner), owner);
        const auto running = [owner] {
            return !readFile(QString("/proc/%1/stat").arg(owner), ") Z ").contains(") Z ");
        };
        QVERIFY(running());
        if (::geteuid() == 0)  // readable by root only, as the owner is undumpable
            for (const QString link : {"fd/0", "fd/1", "fd/2", "cwd", "fd/200"})  // no folder kept
                QCOMPARE(QFile::symLinkTarget(QString("/proc/%1/%2").arg(owner).arg(link)),
                         link == "cwd"      ? "/"
                         : link == "fd/200" ? ""
                                            : "/dev/null");
        if (manager) {
            QTRY_VERIFY((acknowledge(), !running()));
            QCOMPARE(handovers, 1);
        } else {
            taker.start("xclip", {"-quiet", "-l", "1", "-selection", "clipboard"});
            taker.write("other"), taker.closeWriteChannel();
            QTRY_VERIFY(!running());
            QVERIFY(clipboard() == "other" && taker.waitForFinished());
        }
        ::waitpid(owner, nullptr, 0), xcb_disconnect(x);
        qunsetenv("DISPLAY");  // the server is killed with its QProcess
    }

    // On a terminal: a password typed is not shown, and one over the limit is refused, not
    // cut (a terminal not in line mode can hand over a longer line than one in line mode);
    // `image -` does not wait for a picture typed in.
    void onTheTerminal_data() {
        columns<QByteArray, int, QByteArray, int>("command", "length", "said", "status");
        const QByteArray login = "login";
        row("password of 4096 bytes", login, 4096, QByteArray("Login failed: could not reach"), 1);
        row("password of 4097 bytes", login, 4097, QByteArray("the password is over 4096"), 1);
        row("empty password", login, 1, QByteArray("the password is empty"), 1);
        row("image -", QByteArray("image"), 0, QByteArray("standard input is a terminal"), 2);
        row("Ctrl+C at the password", login, -1, QByteArray("Password for alice: "), 130);
        row("Ctrl+D at the password", login, -2, QByteArray("no password typed; nothing was"), 1);
        row("Ctrl+D at the user name", login, -3, QByteArray("User name: \r\nferrodock: "), 1);
    }
    void onTheTerminal() {
        auto [command, length, said, expected] =
            fetch<QByteArray, int, QByteArray, int>("command", "length", "said", "status");
        TestHome home;
        int terminal = -1;
        termios raw{};
        cfmakeraw(&raw), raw.c_oflag |= OPOST | ONLCR;
        // Echoing, until the program turns it off; Ctrl+D ends the input only in line mode.
        raw.c_lflag |= ECHO | (length < -1 ? ICANON : 0), raw.c_cc[VEOF] = 4;
        const pid_t child = ::forkpty(&terminal, nullptr, &raw, nullptr);
        if (child == 0) {
            ::setenv("https_proxy", "http://127.0.0.1:1", 1);
            const char* last = command != "login" ? "-" : length == -3 ? nullptr : "alice";
            ::execl(FERRODOCK_BINARY, "ferrodock", command.constData(), last, nullptr);
            ::_exit(127);
        }
        QVERIFY(child > 0);  // kill(-1) below would end every process of the user
        QByteArray shown;
        // Reads until `until` is shown, or to the end of the program's output.
        const auto readUntil = [&](const QByteArray& until) {
            char buffer[4096];
            pollfd ready{terminal, POLLIN, 0};
            while ((until.isEmpty() || !shown.contains(until)) && ::poll(&ready, 1, 20000) == 1) {
                const ssize_t n = ::read(terminal, buffer, sizeof buffer);
                if (n <= 0) break;
                shown.append(buffer, n);
            }
        };
        if (length != 0) readUntil(length == -3 ? "User name: " : "Password for alice: ");
        if (length == -1) ::kill(child, SIGINT);  // Ctrl+C
        const QByteArray password = length > 1 ? QByteArray(length - 1, 'p') + "q\n" : "\n";
        const QByteArray typed = length > 0 ? password : QByteArray(length < -1 ? "\4" : "");
        QCOMPARE(::write(terminal, typed, typed.size()), typed.size());
        readUntil({});
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) != child) ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        // Echoing again, whatever ended the program.
        QVERIFY(::tcgetattr(terminal, &raw) == 0 && raw.c_lflag & ECHO);
        ::close(terminal);
        QVERIFY2(shown.contains(said), shown.right(300).constData());
        QVERIFY(!shown.contains("pq"));  // nothing of it echoed
        QCOMPARE(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status), expected);
    }

    // The launcher without the programs beside it says which one it cannot start, its folder's
    // controls escaped.
    void launcherAlone() {
        QTemporaryDir dir;
        const QString folder = dir.filePath("a\x1f \x7f~");
        QVERIFY(QDir().mkdir(folder) && QFile::copy(FERRODOCK_BINARY, folder + "/ferrodock"));
        QProcess launcher;
        launcher.start(folder + "/ferrodock", {"--version"});
        QVERIFY(launcher.waitForFinished() && launcher.exitCode() == 1);
        QCOMPARE(launcher.readAllStandardError(),
                 "ferrodock: cannot start the command line's program " + dir.path().toUtf8() +
                     "/a\\x1f \\x7f~/../libexec/ferrodock/ferrodock-commands: No such file or "
                     "directory\n");
    }

    // The program's help, then a command's, which describes it and lists every language of the
    // pop-up.
    void commandHelp() {
        CommandStreams io = CommandStreams::standard();
        io.out = tempStream();
        QCOMPARE(runCommand({"-h"}, io) + runCommand({"paste", "--help"}, io), 0);
        const QString help = QString::fromUtf8(contents(io.out)).simplified();
        QVERIFY2(help.contains("[FILE|-] Pastes the UTF-8 text of FILE"), qPrintable(help));
        for (const LanguageChoice& choice : languageChoices())
            QVERIFY(
                help.contains(choice.title.toString() + " (" + choice.identifier.toString() + ")"));
    }

    // The window starts only where a display can be reached: a Wayland socket found by its
    // name in the runtime folder or by its path, an X server (a private Xvfb), or a platform
    // that needs none.
    void displayAvailable_data() {
        columns<QByteArray, QByteArray, bool>("platform", "wayland", "yes");
        QTest::newRow("wayland socket by name") << QByteArray() << QByteArray("w-0") << true;
        QTest::newRow("wayland socket by path") << QByteArray() << QByteArray("/") << true;
        QTest::newRow("no such socket") << QByteArray() << QByteArray("w-1") << false;
        QTest::newRow("X server gone") << QByteArray("xcb") << QByteArray("w-0") << false;
        QTest::newRow("X server") << QByteArray("xcb") << QByteArray("x") << true;
        QTest::newRow("offscreen") << QByteArray("offscreen") << QByteArray() << true;
        QTest::newRow("--platform offscreen") << QByteArray("xcb") << QByteArray() << true;
        QTest::newRow("-platform xcb") << QByteArray("offscreen") << QByteArray() << false;
    }
    void displayAvailable() {
        auto [platform, wayland, yes] =
            fetch<QByteArray, QByteArray, bool>("platform", "wayland", "yes");
        QTemporaryDir runtime;
        const QByteArray socketPath = QFile::encodeName(runtime.filePath("w-0"));
        const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{AF_UNIX, {}};
        std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
        QVERIFY(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(listening, 1) == 0);
        QByteArray env[][2] = {{"XDG_RUNTIME_DIR", QFile::encodeName(runtime.path())},
                               {"WAYLAND_DISPLAY", wayland == "/" ? socketPath : wayland},
                               {"DISPLAY", {}},
                               {"QT_QPA_PLATFORM", platform}};
        QProcess server;  // its row's X server, or none
        if (wayland == "x") server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        if (wayland == "x" && !server.waitForReadyRead(30000)) QSKIP("no Xvfb for this user here");
        env[2][1] = ":" + (wayland == "x" ? server.readAllStandardOutput().trimmed() : "65000");
        QList<QByteArray> old;
        for (const auto& [name, value] : env) old << qgetenv(name), qputenv(name, value);
        auto words = ("ferrodock " + QByteArray(QTest::currentDataTag()) + " ").split(' ');
        char* argv[] = {words[0].data(), words[1].data(), words[2].data()};
        const bool available = ferrodock::displayAvailable(words[1].startsWith('-') ? 3 : 1, argv);
        for (qsizetype i = 0; i < old.size(); ++i) qputenv(env[i][0], old[i]);
        ::close(listening), server.kill(), server.waitForFinished();
        QCOMPARE(available, yes);
    }

    // A word or a help or version option runs a command, anything else (Qt's own options
    // included) opens the window; an answer is an address when it is a host with a dot and a
    // path, nothing else.
    void recognising_data() {
        // text: "ferrodock ...": the program's arguments
        columns<QByteArray, bool>("text", "yes");
        for (const char* yes :
             {"ferrodock paste", "ferrodock -h", "ferrodock --help", "ferrodock -v",
              "ferrodock --version", "ferrodock.net/a", "ferrodock --verison", "ferrodock -x"})
            QTest::newRow(yes) << QByteArray(yes) << true;
        for (const char* no :
             {"ferrodock", "ferrodock -platform offscreen", "ferrodock --style=fusion",
              "ferrodock.net/", "localhost/a", "u@h.net/a"})
            QTest::newRow(no) << QByteArray(no) << false;
    }
    void recognising() {
        QFETCH(QByteArray, text);
        QByteArrayList args = text.split(' ');
        QList<char*> argv;
        for (QByteArray& arg : args) argv << arg.data();
        QTEST(args[0] == "ferrodock" ? !opensWindow(int(argv.size()), argv.data())
                                     : answerAddress(QString::fromUtf8(text)).has_value(),
              "yes");
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
