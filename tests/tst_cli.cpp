// The command line: each command against the test service, and the real binary with no display.
#include "app/CommandLine.h"
#include "support/AppHarness.h"
#include "support/FakeTransport.h"
#include "support/Files.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <cstdio>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

const QByteArray kKey = "0123456789abcdef0123456789ABCDEF";
const QByteArray kSession = "al," + kKey;

QByteArray contents(std::FILE* file) {
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

// The last request in one line: the path, the fields in order, then the file.
QString summary(const QList<FakeRequest>& requests) {
    if (requests.isEmpty()) return {};
    const FakeRequest& r = requests.last();
    QStringList bits{r.path};
    for (const FormField& f : r.fields) bits << f.name + "=" + f.value;
    if (!r.filePath.isEmpty())
        bits << "file<" + QFileInfo(r.filePath).fileName() + ";" + r.mimeType;
    return bits.join(" ");
}

}  // namespace

class CliTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { home_ = std::make_unique<TestHome>(); }
    void cleanup() { home_.reset(); }

    void commands_data() {
        QTest::addColumn<QStringList>("args");  // @txt, @png, @fifo: in a temporary folder
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<QByteArray>("reply");  // "fail": the transport fails
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("err");  // a piece of standard error
        QTest::addColumn<QByteArray>("sessionAfter");
        const QByteArray a = "ferrodock.net/p/abcdefghi", url = "https://" + a + "\n", none;
        const QString paste = "/api/upload/paste pastedata=", key = QString::fromLatin1(kKey);
        const auto row = [](const char* name, const QStringList& args, const QByteArray& input,
                            const QByteArray& session, const QByteArray& reply, int status,
                            const QByteArray& out, const QString& request, const QString& err,
                            const QByteArray& sessionAfter) {
            QTest::newRow(name) << args << input << session << reply << status << out << request
                                << err << sessionAfter;
        };
        row("paste stdin, logged out", {"paste"}, "print('hi')\n", none, a, 0, url,
            paste + "print('hi')\n language=no-highlight priv=0 anon=0 apikey=", "", none);
        row("paste title any case, flags, logged in", {"paste", "-l", "objective c", "-pa", "-"},
            "x", kSession, a, 0, url, paste + "x language=objectivec priv=1 anon=1 apikey=" + key,
            "", kSession);
        row("paste file, identifier, copy without display",
            {"paste", "--language", "cpp", "--copy", "@txt"}, none, none, a, 0, url,
            paste + "a&b=c C++\n language=cpp priv=0 anon=0 apikey=", "no display", none);
        const QString x = paste + "x language=no-highlight priv=0 anon=0 apikey=";
        row("answer is a message", {"paste"}, "x", none, "Invalid API key", 1, none, x,
            "the service answered: Invalid API key", none);
        row("answer is a word", {"paste"}, "x", none, "Error", 1, none, x, "answered: Error", none);
        row("transport fails", {"paste"}, "x", none, "fail", 1, none, x,
            "standard input: upload failed", none);
        row("empty paste", {"paste"}, none, none, a, 1, none, "", "empty", none);
        row("paste not UTF-8", {"paste"}, "a\xff", none, a, 1, none, "", "not UTF-8", none);
        row("paste over the limit", {"paste"}, QByteArray(kPasteLimit + 1, 'x'), none, a, 1, none,
            "", "over 16 MiB", none);
        row("paste a folder", {"paste", "."}, none, none, a, 1, none, "", "folder", none);
        row("upload, logged in", {"upload", "-p", "@txt"}, none, kSession,
            "ferrodock.net/f/abcdefgh", 0, "https://ferrodock.net/f/abcdefgh\n",
            "/api/upload/file priv=1 anon=0 apikey=" + key + " file<note.txt;text/plain", "",
            kSession);
        row("image, nsfw", {"image", "--nsfw", "@png"}, none, none, a, 0, url,
            "/api/upload/image priv=0 anon=0 nsfw=1 apikey= file<pic.PNG;image/png", "", none);
        row("several files, one missing", {"upload", "@txt", "missing.bin", "@png"}, none, none, a,
            1, url + url, "/api/upload/file priv=0 anon=0 apikey= file<pic.PNG;image/png",
            "missing.bin: No such file", none);
        row("paste a missing file", {"paste", "missing.txt"}, none, none, a, 1, none, "",
            "missing.txt: No such file", none);
        row("upload a pipe", {"upload", "@fifo"}, none, none, a, 1, none, "", "not a regular file",
            none);
        row("image refuses other types", {"image", "@txt"}, none, none, a, 1, none, "",
            "only jpg, jpeg, gif and png", none);
        row("login from stdin", {"login", "--password-stdin", "al"}, "p&w 1\n", "old,key", kKey, 0,
            none, "/api/validate/user username=al password=p&w 1", "Logged in as al", kSession);
        row("login asked on the terminal", {"login", "al"}, none, none, kKey, 0, none,
            "/api/validate/user username=al password=typed secret", "", kSession);
        row("login rejected", {"login", "--password-stdin", "al"}, "pw", none,
            "3b7f0c52a9d14e68b2c5f7091d4a6e83", 1, none,
            "/api/validate/user username=al password=pw", "login incorrect", none);
        row("login message, old login kept", {"login", "--password-stdin", "al"}, "pw", kSession,
            "Account locked", 1, none, "/api/validate/user username=al password=pw",
            "Account locked", kSession);
        row("logout", {"logout"}, none, kSession, a, 0, none, "", "Logged out", none);
        for (const QStringList& bad :
             {QStringList{"upload"}, QStringList{"paste", "-l", "cobol"},
              QStringList{"paste", "a", "b"}, QStringList{"upload", "--nsfw", "@txt"},
              QStringList{"frob"}, QStringList{"login", "--password-stdin"},
              QStringList{"logout", "now"}, QStringList{}}) {
            QTest::addRow("usage: %s", qPrintable(bad.join(" ")))
                << bad << none << kSession << a << 2 << none << ""
                << "Try '" << kSession;
        }
    }
    void commands() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, session);
        QFETCH(QByteArray, reply);
        QTemporaryDir dir;
        const QString text = makeFile(dir.path(), "note.txt", "a&b=c C++\n");
        const QString picture = makeFile(dir.path(), "pic.PNG", "\x89PNG");
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600) == 0);
        for (QString& arg : args) {
            if (arg == "@fifo") arg = dir.filePath("pipe");
            if (arg == "@txt") arg = text;
            if (arg == "@png") arg = picture;
        }
        if (!session.isEmpty()) home_->writeSession(session);
        InstalledFake net;
        net->reply = reply == "fail" ? TransportResult{false, {}, "refused"}
                                     : TransportResult{true, reply, {}};

        CommandStreams io = CommandStreams::standard();
        io.in = std::tmpfile();
        io.out = std::tmpfile();
        io.err = std::tmpfile();
        std::fwrite(input.constData(), 1, size_t(input.size()), io.in);
        std::rewind(io.in);
        io.inIsTerminal = io.errIsTerminal = false;
        io.ask = [](const QString&, bool echo) { return QString(echo ? "" : "typed secret"); };
        const int status = runCommand(args, io);
        std::fclose(io.in);
        const QByteArray gotOut = contents(io.out), gotErr = contents(io.err);

        QTEST(status, "status");
        QTEST(gotOut, "out");
        QTEST(summary(net->requests), "request");
        QFETCH(QString, err);
        QVERIFY2(QString::fromUtf8(gotErr).contains(err), gotErr.constData());
        QVERIFY(!gotErr.contains(kKey) && !gotErr.contains("secret") && !gotErr.contains("p&w"));
        QFile after(home_->sessionFile());
        QTEST(after.open(QIODevice::ReadOnly) ? after.readAll() : QByteArray(), "sessionAfter");
    }

    // A word or a help or version option runs a command; anything else (Qt's own options
    // included) opens the window.
    void whatRunsACommand_data() {
        QTest::addColumn<QByteArrayList>("args");
        QTest::addColumn<bool>("command");
        QTest::newRow("none") << QByteArrayList{} << false;
        QTest::newRow("a word") << QByteArrayList{"paste"} << true;
        for (const char* option : {"-h", "--help", "-v", "--version"})
            QTest::newRow(option) << QByteArrayList{option} << true;
        QTest::newRow("Qt's option") << QByteArrayList{"-platform", "offscreen"} << false;
    }
    void whatRunsACommand() {
        QFETCH(QByteArrayList, args);
        args.prepend("ferrodock");
        QList<char*> argv;
        for (QByteArray& arg : args) argv << arg.data();
        QTEST(wantsCommandLine(int(argv.size()), argv.data()), "command");
    }

    // Commands need neither a display nor a GUI application; the window needs no word.
    void binary_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("version") << QStringList{"--version"} << 0 << "ferrodock "
                                 << "";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Exit status:"
                              << "";
        QTest::newRow("copy, service unreachable") << QStringList{"paste", "--copy", "-"} << 1 << ""
                                                   << "standard input: upload failed";
        QTest::newRow("bad option") << QStringList{"upload", "--frob", "x"} << 2 << ""
                                    << "Unknown option 'frob'";
    }
    void binary() {
        QFETCH(QStringList, args);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "no_proxy", "NO_PROXY"})
            env.remove(name);
        env.insert("HOME", home_->path());
        env.insert("https_proxy", "http://127.0.0.1:1");  // refused at once
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(FERRODOCK_BINARY, args);
        process.write("text");
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QTEST(process.exitCode(), "status");
        const QString gotOut = QString::fromUtf8(process.readAllStandardOutput());
        const QString gotErr = QString::fromUtf8(process.readAllStandardError());
        QFETCH(QString, out);
        QVERIFY2(out.isEmpty() ? gotOut.isEmpty() : gotOut.contains(out), qPrintable(gotOut));
        QFETCH(QString, err);
        QVERIFY2(gotErr.contains(err), qPrintable(gotErr));
    }

private:
    std::unique_ptr<TestHome> home_;
};

QTEST_MAIN(CliTest)
#include "tst_cli.moc"
