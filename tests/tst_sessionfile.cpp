// The remembered login on disk: what is read back, what is written, and how.
#include "app/SessionFile.h"
#include "support/AppHarness.h"

#include <QRegularExpression>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

using namespace ferrodock;
using ferrodock::test::TestHome;

namespace {
const QString kKey = "0123456789abcdef0123456789abcdef",
              kUser = "zoë 日本" + QString(1000, QChar(0x263A));

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

// Writes a login in a child process that may put at most 1 KiB in a file: the write fails
// (the disk is full) or dies of SIGXFSZ halfway. Gives the wait status.
int writeInChild(bool dies) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit none{0, 0}, small{1024, 1024};
        ::setrlimit(RLIMIT_CORE, &none);
        ::setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, dies ? SIG_DFL : SIG_IGN);
        ::_exit(writeSessionFile(kUser, kKey) ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child ? status : -1;
}
}  // namespace

Q_DECLARE_METATYPE(std::optional<Session>)

class SessionFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reading_data() {
        QTest::addColumn<QByteArray>("content");  // "directory", "fifo", "unreadable": no file
        QTest::addColumn<std::optional<Session>>("expected");
        const auto row = [](const char* name, const QByteArray& content, std::optional<Session> s) {
            QTest::newRow(name) << content << s;
        };
        row("empty key, a field after", "ann,,x", Session{"ann", ""});
        row("no comma", "ann", std::nullopt);
        row("not UTF-8", "ann,\xff", std::nullopt);
        row("over 64 KiB", "ann," + QByteArray(64 * 1024 - 3, 'k'), std::nullopt);
        row("64 KiB", "ann," + QByteArray(64 * 1024 - 4, 'k'),
            Session{"ann", QString(64 * 1024 - 4, 'k')});
        for (const char* kind : {"directory", "fifo", "unreadable"}) row(kind, kind, std::nullopt);
    }
    void reading() {
        QFETCH(QByteArray, content);
        if (content == "unreadable" && ::geteuid() == 0) QSKIP("root reads every file");
        TestHome home;
        const QByteArray file = QFile::encodeName(home.sessionFile());
        if (content == "directory") QVERIFY(QDir().mkdir(home.sessionFile()));
        if (content == "fifo") QVERIFY(::mkfifo(file, 0600) == 0);
        if (content != "directory" && content != "fifo") home.writeSession(content);
        if (content == "unreadable") QVERIFY(::chmod(file, 0200) == 0);
        const QStringList before = entries(home.documents());
        QTEST(readSessionFile(), "expected");
        QCOMPARE(entries(home.documents()), before);
    }

    // Never is the key readable by others, and a login that cannot be saved leaves no earlier
    // one behind.
    void writing_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("saved");
        for (const char* setup : {"new", "group-readable", "symbolic link", "read-only folder"})
            QTest::newRow(setup) << setup << true;
        for (const char* setup : {"read-only file", "disk full", "no documents"})
            QTest::newRow(setup) << setup << false;
    }
    void writing() {
        QFETCH(QString, setup);
        QFETCH(bool, saved);
        if (setup.startsWith("read-only") && ::geteuid() == 0) QSKIP("root writes anything");
        TestHome home;
        const QByteArray file = QFile::encodeName(home.sessionFile());
        if (setup != "new") home.writeSession("old user,old key");
        if (setup == "group-readable") QVERIFY(::chmod(file, 0644) == 0);
        if (setup == "read-only file") QVERIFY(::chmod(file, 0400) == 0);
        if (setup == "read-only folder")
            QVERIFY(::chmod(QFile::encodeName(home.documents()), 0500) == 0);
        if (setup == "symbolic link")
            QVERIFY(QFile::rename(home.sessionFile(), home.path() + "/elsewhere") &&
                    QFile::link(home.path() + "/elsewhere", home.sessionFile()));
        if (setup == "no documents") QVERIFY(QDir(home.documents()).removeRecursively());
        if (!saved && setup != "disk full")  // said, and never with the key in it
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression("^the login is not remembered: (?!.*" + kKey + ")"));
        const bool written =
            setup == "disk full" ? writeInChild(false) == 0 : writeSessionFile(kUser, kKey);
        ::chmod(QFile::encodeName(home.documents()), 0700);
        QCOMPARE(written, saved);
        QCOMPARE(QFileInfo(home.sessionFile()).isSymLink(), setup == "symbolic link");
        QCOMPARE(QFileInfo::exists(home.documents()), setup != "no documents");
        QFile readBack(home.sessionFile());
        QCOMPARE(readBack.open(QIODevice::ReadOnly), saved);
        if (!saved) return;
        QCOMPARE(readBack.readAll(), (kUser + "," + kKey).toUtf8());
        struct stat st {};
        QVERIFY(::fstat(readBack.handle(), &st) == 0 && (st.st_mode & 0777) == 0600);
        QCOMPARE(entries(home.documents()), QStringList{"ferrodock.data"});
    }

    // A write killed halfway leaves the old file whole and no copy of the new key; logout then
    // removes the session file only, never a file of the user's that looks like one.
    void interruptedWriteAndLogout() {
        TestHome home;
        QVERIFY(writeSessionFile("ann", "old key"));
        for (const char* name : {"ferrodock.data.backup", "ferrodock.data.Ab12Cd"})
            QVERIFY(QFile::copy(home.sessionFile(), home.documents() + "/" + name));
        QVERIFY(QFile::copy(home.sessionFile(), home.path() + "/precious"));
        QVERIFY(QFile::link(home.path() + "/precious", home.sessionFile() + ".XyZ987"));
        QStringList before = entries(home.documents());
        const int status = writeInChild(true);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        QCOMPARE(entries(home.documents()), before);
        QCOMPARE(readSessionFile(), std::optional(Session{"ann", "old key"}));
        before.removeOne("ferrodock.data");
        for (int twice = 0; twice < 2; ++twice) {  // the second time nothing is there
            clearSessionFile();
            QCOMPARE(entries(home.documents()), before);
        }
        QVERIFY(QFileInfo::exists(home.path() + "/precious"));
    }
};

QTEST_GUILESS_MAIN(SessionFileTest)
#include "tst_sessionfile.moc"
