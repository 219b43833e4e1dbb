// The remembered login on disk: what is read back, what is written, and how.
#include "app/SessionFile.h"
#include "support/AppHarness.h"
#include "support/Files.h"

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

Q_DECLARE_METATYPE(std::optional<SavedLogin>)

class SessionFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reading_data() {
        QTest::addColumn<QByteArray>("content");  // "directory", "fifo", "unreadable": no file
        QTest::addColumn<std::optional<SavedLogin>>("expected");
        const auto row = [](const char* name, const QByteArray& content,
                            std::optional<SavedLogin> s) { QTest::newRow(name) << content << s; };
        row("empty key, a field after", "ann,,x", SavedLogin{"ann", ""});
        row("no comma", "ann", std::nullopt);
        row("not UTF-8", "ann,\xff", std::nullopt);
        const QByteArray key(64 * 1024 - 4, 'k');  // with "ann," the file is 64 KiB
        row("64 KiB", "ann," + key, SavedLogin{"ann", key});
        row("over 64 KiB", "ann," + key + "k", std::nullopt);
        for (const char* kind : {"directory", "fifo", "unreadable"}) row(kind, kind, std::nullopt);
    }
    void reading() {
        QFETCH(QByteArray, content);
        if (content == "unreadable" && ::geteuid() == 0) QSKIP("root reads every file");
        TestHome home;
        if (content == "directory") QVERIFY(QDir().mkdir(home.sessionFile()));
        if (content == "fifo") QVERIFY(::mkfifo(QFile::encodeName(home.sessionFile()), 0600) == 0);
        if (content != "directory" && content != "fifo") home.writeSession(content);
        if (content == "unreadable")
            QVERIFY(QFile::setPermissions(home.sessionFile(), QFile::WriteOwner));
        QTEST(readSessionFile(), "expected");
    }

    // Never is the key readable by others, no copy of it is left beside the file, and a login
    // that cannot be saved leaves no earlier one behind; a write killed halfway leaves the old
    // file whole. Then logout.
    void writing_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("after");  // the file afterwards
        for (const char* setup : {"new", "group-readable", "symbolic link", "read-only folder"})
            QTest::newRow(setup) << setup << (kUser + "," + kKey).toUtf8();
        for (const char* setup : {"read-only file", "disk full", "no documents"})
            QTest::newRow(setup) << setup << QByteArray();
        QTest::newRow("killed halfway") << QString("killed halfway") << QByteArray("old,key");
    }
    void writing() {
        QFETCH(QString, setup);
        QFETCH(QByteArray, after);
        if (setup.startsWith("read-only") && ::geteuid() == 0) QSKIP("root writes anything");
        TestHome home;
        if (setup != "new") home.writeSession("old,key");
        if (setup == "group-readable") QVERIFY(::chmod(home.sessionFile().toUtf8(), 0644) == 0);
        if (setup == "read-only file") QVERIFY(::chmod(home.sessionFile().toUtf8(), 0400) == 0);
        if (setup == "read-only folder") QVERIFY(::chmod(home.documents().toUtf8(), 0500) == 0);
        if (setup == "symbolic link")
            QVERIFY(QFile::rename(home.sessionFile(), home.path() + "/elsewhere") &&
                    QFile::link(home.path() + "/elsewhere", home.sessionFile()));
        if (setup == "no documents") QVERIFY(QDir(home.documents()).removeRecursively());
        const QRegularExpression warning("^the login is not remembered: (?!.*" + kKey + ")");
        if (after.isEmpty() && setup != "disk full")  // said, and never with the key in it
            QTest::ignoreMessage(QtWarningMsg, warning);
        const bool inChild = setup == "disk full" || setup == "killed halfway";
        const bool written =
            inChild ? writeInChild(setup == "killed halfway") == 0 : writeSessionFile(kUser, kKey);
        ::chmod(home.documents().toUtf8(), 0700);
        QCOMPARE(written, after.contains(kKey.toUtf8()));
        QCOMPARE(QFileInfo(home.sessionFile()).isSymLink(), setup == "symbolic link");
        QCOMPARE(entries(home.documents()),
                 after.isEmpty() ? QStringList() : QStringList{"ferrodock.data"});
        QFile readBack(home.sessionFile());
        QCOMPARE(readBack.open(QIODevice::ReadOnly) ? readBack.readAll() : "", after);
        struct stat st {};
        QVERIFY(!written || (::fstat(readBack.handle(), &st) == 0 && (st.st_mode & 0777) == 0600));
        // Logout removes the session file only, never a file of the user's that looks like one.
        if (setup == "no documents") return;
        QVERIFY(QFile::link(home.path() + "/elsewhere", home.sessionFile() + ".backup"));
        test::makeFile(home.documents(), "ferrodock.data.old123", "mine");
        clearSessionFile();
        clearSessionFile();  // nothing there: nothing happens
        QCOMPARE(entries(home.documents()),
                 (QStringList{"ferrodock.data.backup", "ferrodock.data.old123"}));
        QFile target(home.path() + "/elsewhere");  // a link's target is emptied, not removed
        QCOMPARE(target.open(QIODevice::ReadOnly) ? target.readAll() : "none",
                 setup == "symbolic link" ? "" : "none");
    }

    // Logout through a link to anything but a session file removes the link alone, and never
    // opens a FIFO.
    void logoutThroughLink_data() {
        QTest::addColumn<QByteArray>("target");  // a file's content, or the kind of thing
        for (const char* target : {"not a session", "directory", "fifo", "dangling"})
            QTest::newRow(target) << QByteArray(target);
    }
    void logoutThroughLink() {
        QFETCH(QByteArray, target);
        TestHome home;
        const QString other = home.path() + "/other";
        if (target == "directory") QVERIFY(QDir().mkdir(other));
        if (target == "fifo") QVERIFY(::mkfifo(QFile::encodeName(other), 0600) == 0);
        if (target == "not a session") test::makeFile(home.path(), "other", target);
        QVERIFY(QFile::link(other, home.sessionFile()));
        clearSessionFile();
        QVERIFY(entries(home.documents()).isEmpty());
        const QFileInfo info(other);
        QFile file(other);
        QCOMPARE(info.isDir()                     ? "directory"
                 : !info.exists()                 ? "dangling"
                 : !info.isFile()                 ? "fifo"
                 : file.open(QIODevice::ReadOnly) ? file.readAll()
                                                  : "",
                 target);
    }
};

QTEST_GUILESS_MAIN(SessionFileTest)
#include "tst_sessionfile.moc"
