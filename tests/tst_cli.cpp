// The command line: each command against the test service, and the real binary with no display.
#include "app/CommandLine.h"
#include "support/AppHarness.h"
#include "support/TestService.h"

#include <QFile>
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

// The last request in one line: the path, then the form fields or the multipart parts.
QString summary(const QList<RecordedRequest>& requests) {
    if (requests.isEmpty()) return {};
    const RecordedRequest& r = requests.last();
    QStringList bits{r.path};
    for (const RecordedPart& part : r.parts) {
        bits << (part.fileName.isEmpty()
                     ? part.name + "=" + QString::fromUtf8(part.content)
                     : part.name + "<" + part.fileName + ";" + part.contentType);
    }
    for (auto it = r.form.cbegin(); it != r.form.cend(); ++it) bits << it.key() + "=" + it.value();
    return bits.join(" ");
}

}  // namespace

class CliTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        home_ = std::make_unique<TestHome>();
        installSharedTransport(service_.makeTransport());
    }
    void cleanup() {
        installSharedTransport(nullptr);
        home_.reset();
    }

    void commands_data() {
        QTest::addColumn<QStringList>("args");  // @txt, @png, @fifo: in a temporary folder
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("err");  // a piece of standard error
        QTest::addColumn<QByteArray>("sessionAfter");
        const QByteArray a = "ferrodock.net/p/abcdefghi", url = "https://" + a + "\n";
        const QString paste = "/api/upload/paste ";
        QTest::newRow("paste stdin, logged out")
            << QStringList{"paste"} << QByteArray("print('hi')\n") << QByteArray() << a << 0 << url
            << paste + "anon=0 apikey= language=no-highlight pastedata=print('hi')\n priv=0"
            << "" << QByteArray();
        QTest::newRow("paste title any case, flags, logged in")
            << QStringList{"paste", "-l", "objective c", "-pa", "-"} << QByteArray("x") << kSession
            << a << 0 << url
            << paste + "anon=1 apikey=" + QString(kKey) + " language=objectivec pastedata=x priv=1"
            << "" << kSession;
        QTest::newRow("paste file, identifier, copy without display")
            << QStringList{"paste", "--language", "cpp", "--copy", "@txt"} << QByteArray()
            << QByteArray() << a << 0 << url
            << paste + "anon=0 apikey= language=cpp pastedata=a&b=c C++\n priv=0"
            << "no display" << QByteArray();
        QTest::newRow("answer is a message")
            << QStringList{"paste"} << QByteArray("x") << QByteArray()
            << QByteArray("Invalid API key") << 1 << QByteArray()
            << paste + "anon=0 apikey= language=no-highlight pastedata=x priv=0"
            << "the service answered: Invalid API key" << QByteArray();
        QTest::newRow("answer is a word") << QStringList{"paste"} << QByteArray("x") << QByteArray()
                                          << QByteArray("Error") << 1 << QByteArray()
                                          << paste +
                                                 "anon=0 apikey= language=no-highlight "
                                                 "pastedata=x priv=0"
                                          << "answered: Error" << QByteArray();
        QTest::newRow("empty paste")
            << QStringList{"paste"} << QByteArray() << QByteArray() << a << 1 << QByteArray() << ""
            << "empty" << QByteArray();
        QTest::newRow("paste not UTF-8") << QStringList{"paste"} << QByteArray("a\xff")
                                         << QByteArray() << a << 1 << QByteArray() << ""
                                         << "not UTF-8" << QByteArray();
        QTest::newRow("paste over the limit")
            << QStringList{"paste"} << QByteArray(kPasteLimit + 1, 'x') << QByteArray() << a << 1
            << QByteArray() << ""
            << "over 16 MiB" << QByteArray();
        QTest::newRow("paste a folder") << QStringList{"paste", "."} << QByteArray() << QByteArray()
                                        << a << 1 << QByteArray() << ""
                                        << "folder" << QByteArray();
        QTest::newRow("upload, logged in")
            << QStringList{"upload", "-p", "@txt"} << QByteArray() << kSession
            << QByteArray("ferrodock.net/f/abcdefgh") << 0
            << QByteArray("https://ferrodock.net/f/abcdefgh\n")
            << "/api/upload/file priv=1 anon=0 apikey=" + QString(kKey) +
                   " file<note.txt;text/plain"
            << "" << kSession;
        QTest::newRow("image, nsfw") << QStringList{"image", "--nsfw", "@png"} << QByteArray()
                                     << QByteArray() << a << 0 << url
                                     << "/api/upload/image priv=0 anon=0 nsfw=1 apikey= "
                                        "file<pic.PNG;image/png"
                                     << "" << QByteArray();
        QTest::newRow("several files, one missing")
            << QStringList{"upload", "@txt", "missing.bin", "@png"} << QByteArray() << QByteArray()
            << a << 1 << url + url
            << "/api/upload/file priv=0 anon=0 apikey= file<pic.PNG;image/png"
            << "missing.bin: No such file" << QByteArray();
        QTest::newRow("paste a missing file") << QStringList{"paste", "missing.txt"} << QByteArray()
                                              << QByteArray() << a << 1 << QByteArray() << ""
                                              << "missing.txt: No such file" << QByteArray();
        QTest::newRow("upload a pipe") << QStringList{"upload", "@fifo"} << QByteArray()
                                       << QByteArray() << a << 1 << QByteArray() << ""
                                       << "not a regular file" << QByteArray();
        QTest::newRow("image refuses other types") << QStringList{"image", "@txt"} << QByteArray()
                                                   << QByteArray() << a << 1 << QByteArray() << ""
                                                   << "only jpg, jpeg, gif and png" << QByteArray();
        QTest::newRow("login from stdin")
            << QStringList{"login", "--password-stdin", "al"} << QByteArray("p&w 1\n")
            << QByteArray("old,key") << kKey << 0 << QByteArray()
            << "/api/validate/user password=p&w 1 username=al"
            << "Logged in as al" << kSession;
        QTest::newRow("login asked on the terminal")
            << QStringList{"login", "al"} << QByteArray() << QByteArray() << kKey << 0
            << QByteArray() << "/api/validate/user password=typed secret username=al"
            << "" << kSession;
        QTest::newRow("login rejected")
            << QStringList{"login", "--password-stdin", "al"} << QByteArray("pw") << QByteArray()
            << QByteArray("3b7f0c52a9d14e68b2c5f7091d4a6e83") << 1 << QByteArray()
            << "/api/validate/user password=pw username=al"
            << "login incorrect" << QByteArray();
        QTest::newRow("login message, old login kept")
            << QStringList{"login", "--password-stdin", "al"} << QByteArray("pw") << kSession
            << QByteArray("Account locked") << 1 << QByteArray()
            << "/api/validate/user password=pw username=al"
            << "Account locked" << kSession;
        QTest::newRow("logout") << QStringList{"logout"} << QByteArray() << kSession << a << 0
                                << QByteArray() << ""
                                << "Logged out" << QByteArray();
        const QByteArray none;
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
        QFile text(dir.filePath("note.txt")), picture(dir.filePath("pic.PNG"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("a&b=c C++\n") == 10);
        QVERIFY(picture.open(QIODevice::WriteOnly) && picture.write("\x89PNG") == 4);
        text.close();
        picture.close();
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600) == 0);
        for (QString& arg : args) {
            if (arg == "@fifo") arg = dir.filePath("pipe");
            if (arg == "@txt") arg = text.fileName();
            if (arg == "@png") arg = picture.fileName();
        }
        if (!session.isEmpty()) home_->writeSession(session);
        service_.setReply(Reply::text(reply));
        const int before = service_.requestCount();

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
        const QList<RecordedRequest> requests = service_.requests().mid(before);
        QTEST(summary(requests), "request");
        QFETCH(QString, err);
        QVERIFY2(QString::fromUtf8(gotErr).contains(err), gotErr.constData());
        QVERIFY(!gotErr.contains(kKey) && !gotErr.contains("secret") && !gotErr.contains("p&w"));
        QFile after(home_->sessionFile());
        QTEST(after.open(QIODevice::ReadOnly) ? after.readAll() : QByteArray(), "sessionAfter");
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
    TestService service_;
    std::unique_ptr<TestHome> home_;
};

QTEST_MAIN(CliTest)
#include "tst_cli.moc"
