// The command line: each command against the fake transport, and the program with no display.
#include "app/CommandLine.h"
#include "app/PasteUpload.h"
#include "platform/ClipboardOwner.h"
#include "support/AppHarness.h"
#include "support/FakeTransport.h"
#include "support/Files.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

const QByteArray kKey = "0123456789abcdef0123456789ABCDEF", kSession = "al," + kKey;

// What was written to a temporary stream; closes it.
QByteArray contents(std::FILE* file) {
    std::rewind(file);
    QFile read;
    return read.open(file, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) ? read.readAll() : "";
}

// The last request in one line: the path, the fields in order, then the file.
QString summary(const QList<FakeRequest>& requests) {
    if (requests.isEmpty()) return {};
    QStringList bits{requests.last().path};
    for (const FormField& f : requests.last().fields) bits << f.name + "=" + f.value;
    if (!requests.last().filePath.isEmpty())
        bits << "<" + QFileInfo(requests.last().filePath).fileName() + ";" +
                    requests.last().mimeType;
    return bits.join(" ");
}

}  // namespace

class CliTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // No row reaches the display of whoever runs the suite.
    void initTestCase() { qunsetenv("DISPLAY"), qunsetenv("WAYLAND_DISPLAY"); }

    void commands_data() {
        QTest::addColumn<QStringList>("args");  // @txt, @png: in a temporary folder
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<QByteArray>("reply");     // "run": the program itself, no fake
        QTest::addColumn<QStringList>("outcome");  // status, output, last request, session after
        QTest::addColumn<QString>("err");          // a piece of standard error
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
        row("answer is a message", {"paste"}, "x", "", "Bad\x1b[2Jkey", {"1", "", x, ""},
            "the service answered: Bad\uFFFD[2Jkey");
        row("answer not UTF-8", {"paste"}, "x", "", "\xff", {"1", "", x, ""}, "not UTF-8 text");
        // The program itself needs neither a display nor a GUI application.
        row("program, service unreachable", {"paste", "--copy", "-"}, "x", "", "run", refused,
            "standard input: upload failed");
        row("paste not UTF-8", {"paste"}, "a\xff", "", "", refused, "not UTF-8");
        row("paste too large", {"paste"}, QByteArray(kPasteLimit + 1, 'x'), "", "", refused,
            "over 16 MiB");
        row("upload, logged in", {"upload", "-p", "@txt"}, "", kSession, a,
            {"0", url, up + "file priv=1 anon=0 apikey=" + key + " <note.txt;text/plain", s});
        row("image, nsfw", {"image", "--nsfw", "@png"}, "", "", a,
            {"0", url, up + "image priv=0 anon=0 nsfw=1 apikey= <pic.PNG;image/png", ""});
        row("one file missing", {"upload", "@txt", "missing.bin", "@png"}, "", "", a,
            {"1", url + url, up + "file priv=0 anon=0 apikey= <pic.PNG;image/png", ""},
            "missing.bin: No such file");
        row("image of a text", {"image", "@txt"}, "", "", "", refused,
            "only jpg, jpeg, gif and png");
        row("login from stdin", {"login", "--password-stdin", "al"}, "p&w 1\n", "old,key", kKey,
            {"0", "", login + "p&w 1", s}, "Logged in as al");
        row("login asked on the terminal", {"login", "al"}, "", "", kKey,
            {"0", "", login + "typed secret", s});
        row("login rejected", {"login", "--password-stdin", "al"}, "pw", "",
            "3b7f0c52a9d14e68b2c5f7091d4a6e83", {"1", "", login + "pw", ""}, "login incorrect");
        row("login message, old login kept", {"login", "--password-stdin", "al"}, "pw", kSession,
            "Account locked", {"1", "", login + "pw", s}, "Account locked");
        row("logout", {"logout"}, "", kSession, "", {"0", "", "", ""}, "Logged out");
        row("no file", {"upload"}, "", kSession, "", usage, "Try 'ferrodock upload --help'");
        row("paste's option", {"upload", "-l", "c", "@txt"}, "", kSession, "", usage, "Try '");
        row("login's option", {"upload", "--password-stdin", "@txt"}, "", kSession, "", usage);
        row("unknown language", {"paste", "-l", "cobol"}, "", kSession, "", usage, "Try '");
        row("nsfw on a file", {"upload", "--nsfw", "@txt"}, "", kSession, "", usage, "Try '");
        row("unknown command", {"frob"}, "", kSession, "", usage, "Try 'ferrodock --help'");
    }
    void commands() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, session);
        QFETCH(QByteArray, reply);
        TestHome home;
        QTemporaryDir dir;
        const QHash<QString, QString> files{
            {"@txt", makeFile(dir.path(), "note.txt", "a&b=c C++\n")},
            {"@png", makeFile(dir.path(), "pic.PNG", "\x89PNG")}};
        for (QString& arg : args) arg = files.value(arg, arg);
        if (!session.isEmpty()) home.writeSession(session);
        InstalledFake net;
        net->reply = TransportResult{true, reply, {}};
        int status = 0;
        QByteArray out, said;
        if (reply == "run") {
            for (const char* name :
                 {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "no_proxy", "NO_PROXY"})
                qunsetenv(name);
            qputenv("https_proxy", "http://127.0.0.1:1");  // refused at once
            QProcess process;
            process.start(FERRODOCK_BINARY, args);
            process.write(input);
            process.closeWriteChannel();
            QVERIFY(process.waitForFinished(60000));
            status = process.exitCode();
            out = process.readAllStandardOutput();
            said = process.readAllStandardError();
        } else {
            CommandStreams io = CommandStreams::standard();
            io.in = ::fmemopen(input.data(), size_t(input.size()), "r");
            io.out = std::tmpfile();
            io.err = std::tmpfile();
            io.ask = [](const QString&, bool echo) { return QString(echo ? "" : "typed secret"); };
            status = runCommand(args, io);
            std::fclose(io.in);
            out = contents(io.out);
            said = contents(io.err);
        }
        QFile after(home.sessionFile());
        QTEST((QStringList{QString::number(status), out, summary(net->requests),
                           after.open(QIODevice::ReadOnly) ? after.readAll() : ""}),
              "outcome");
        QFETCH(QString, err);
        QVERIFY2(QString::fromUtf8(said).contains(err), said.constData());
        // No secret, and no terminal control where there is no terminal.
        QVERIFY(!said.contains(kKey) && !said.contains("secret") && !said.contains("p&w") &&
                !said.contains('\033'));
    }

    // --copy leaves the address with an owner in its own session, off the command's streams,
    // which serves it once the command is over until another client takes the clipboard.
    void copyOutlivesCommand() {
        for (const char* tool : {"Xvfb", "xclip"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) QSKIP("needs Xvfb and xclip");
        QProcess server, taker;
        server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        QVERIFY(server.waitForReadyRead(30000));
        qputenv("DISPLAY", ":" + server.readAllStandardOutput().trimmed());
        const auto clipboard = [] {
            QProcess xclip;
            xclip.start("xclip", {"-o", "-selection", "clipboard"});
            return xclip.waitForFinished() ? xclip.readAllStandardOutput() : "";
        };
        TestHome home;
        InstalledFake net;
        net->reply = TransportResult{true, "ferrodock.net/p/abcdefghi", {}};
        CommandStreams io = CommandStreams::standard();
        io.in = ::fmemopen(const_cast<char*>("x"), 1, "r");
        io.out = io.err = std::tmpfile();
        QCOMPARE(runCommand({"paste", "--copy", "-"}, io), 0);
        std::fclose(io.in);
        QCOMPARE(contents(io.out), "https://ferrodock.net/p/abcdefghi\n");
        QCOMPARE(clipboard(), "https://ferrodock.net/p/abcdefghi");
        QFile children(QString("/proc/%1/task/%1/children").arg(::getpid()));
        QVERIFY(children.open(QIODevice::ReadOnly));
        QStringList kids = QString(children.readAll()).split(' ', Qt::SkipEmptyParts);
        kids.removeAll(QString::number(server.processId()));
        QCOMPARE(kids.size(), 1);
        const pid_t owner = kids[0].toInt();
        QCOMPARE(::getsid(owner), owner);
        const auto running = [owner] {
            QFile stat(QString("/proc/%1/stat").arg(owner));
            return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
        };
        QVERIFY(running());
        for (int fd : {0, 1, 2})
            QCOMPARE(QFile::symLinkTarget(QString("/proc/%1/fd/%2").arg(owner).arg(fd)),
                     "/dev/null");
        taker.start("xclip", {"-quiet", "-l", "1", "-selection", "clipboard"});
        taker.write("other");
        taker.closeWriteChannel();
        QTRY_VERIFY(!running());
        QCOMPARE(clipboard(), "other");
        QVERIFY(taker.waitForFinished());
        server.terminate();
        QVERIFY(server.waitForFinished());
        qunsetenv("DISPLAY");
    }

    // A command's help describes it and lists every language of the pop-up.
    void commandHelp() {
        CommandStreams io = CommandStreams::standard();
        io.out = std::tmpfile();
        QCOMPARE(runCommand({"paste", "--help"}, io), 0);
        const QString help = QString::fromUtf8(contents(io.out)).simplified();
        QVERIFY2(help.contains("Pastes the UTF-8 text of FILE"), qPrintable(help));
        for (const LanguageChoice& choice : languageChoices())
            QVERIFY(
                help.contains(choice.title.toString() + " (" + choice.identifier.toString() + ")"));
    }

    // A word or a help or version option runs a command, anything else (Qt's own options
    // included) opens the window; an answer is an address when it is a host with a dot and a
    // path, nothing else.
    void recognising_data() {
        QTest::addColumn<QByteArray>("text");  // "ferrodock ...": the program's arguments
        QTest::addColumn<bool>("yes");
        for (const char* yes : {"ferrodock paste", "ferrodock -h", "ferrodock --help",
                                "ferrodock -v", "ferrodock --version", "ferrodock.net/a"})
            QTest::newRow(yes) << QByteArray(yes) << true;
        for (const char* no : {"ferrodock", "ferrodock -platform offscreen", "ferrodock.net/",
                               "localhost/a", "u@h.net/a"})
            QTest::newRow(no) << QByteArray(no) << false;
    }
    void recognising() {
        QFETCH(QByteArray, text);
        QByteArrayList args = text.split(' ');
        QList<char*> argv;
        for (QByteArray& arg : args) argv << arg.data();
        QTEST(args[0] == "ferrodock" ? wantsCommandLine(int(argv.size()), argv.data())
                                     : answerAddress(QString::fromUtf8(text)).has_value(),
              "yes");
    }
};

int main(int argc, char** argv) {
    // The clipboard owner that --copy starts is this program again.
    if (clipboard::startedAsOwner()) return clipboard::runOwner(argc, argv);
    QCoreApplication app(argc, argv);
    CliTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_cli.moc"
