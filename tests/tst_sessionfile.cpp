// The remembered login on disk: what is read back, what is written, and how.
#include "app/SessionFile.h"
#include "support/AppHarness.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

using namespace ferrodock;
using ferrodock::test::TestHome;

Q_DECLARE_METATYPE(std::optional<Session>)

class SessionFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reading_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<std::optional<Session>>("expected");
        QTest::newRow("empty key")
            << QByteArray("ann,") << std::optional<Session>(Session{"ann", ""});
        QTest::newRow("empty key, a field after")
            << QByteArray("ann,,x") << std::optional<Session>(Session{"ann", ""});
        QTest::newRow("empty file") << QByteArray() << std::optional<Session>();
        QTest::newRow("no comma") << QByteArray("ann") << std::optional<Session>();
        QTest::newRow("three fields")
            << QByteArray("ann,k,x") << std::optional<Session>(Session{"ann", "k"});
        QTest::newRow("line feed kept")
            << QByteArray("ann,k\n") << std::optional<Session>(Session{"ann", "k\n"});
        QTest::newRow("10 MiB") << QByteArray("ann,") + QByteArray(10 << 20, 'k')
                                << std::optional<Session>();
        QTest::newRow("over 64 KiB")
            << QByteArray("ann,") + QByteArray(64 * 1024, 'k') << std::optional<Session>();
        QTest::newRow("exactly 64 KiB")
            << QByteArray("ann,") + QByteArray(64 * 1024 - 4, 'k')
            << std::optional<Session>(Session{"ann", QString(64 * 1024 - 4, 'k')});
    }
    void reading() {
        QFETCH(QByteArray, content);
        QFETCH(std::optional<Session>, expected);
        TestHome home;
        home.writeSession(content);
        QCOMPARE(readSessionFile(), expected);
    }

    void readingWhatIsNotAFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("directory") << "directory";
        QTest::newRow("no Documents folder") << "no documents";
        QTest::newRow("fifo") << "fifo";
    }
    void readingWhatIsNotAFile() {
        QFETCH(QString, kind);
        TestHome home;
        if (kind == "directory") QVERIFY(QDir().mkdir(home.sessionFile()));
        if (kind == "no documents") QVERIFY(QDir(home.documents()).removeRecursively());
        if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(home.sessionFile()), 0600), 0);
        QCOMPARE(readSessionFile(), std::optional<Session>());
    }

    void unreadableFile() {
        if (::geteuid() == 0) QSKIP("root reads every file");
        TestHome home;
        home.writeSession("ann,key");
        QVERIFY(QFile::setPermissions(home.sessionFile(), QFileDevice::WriteOwner));
        QCOMPARE(readSessionFile(), std::optional<Session>());
    }

    // Where the file stands decides how it is written; never is the key readable by others,
    // and a login that cannot be saved leaves no earlier one behind.
    void writing_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("saved");
        for (const char* row : {"new", "group-readable file", "symbolic link", "read-only folder"})
            QTest::newRow(row) << row << true;
        QTest::newRow("read-only file") << "read-only file" << false;
        QTest::newRow("disk full") << "disk full" << false;
        QTest::newRow("no Documents folder") << "no documents" << false;
    }
    void writing() {
        QFETCH(QString, setup);
        QFETCH(bool, saved);
        TestHome home;
        const QString user = "zoë 日本" + QString(1000, QChar(0x263A)),
                      key = "0123456789abcdef0123456789abcdef";
        QString target = home.sessionFile();
        if (setup != "new") home.writeSession("old user,old key");
        if (setup == "group-readable file")
            QFile::setPermissions(target, QFileDevice::Permissions(0x6644));
        if (setup.startsWith("read-only") && ::geteuid() == 0) QSKIP("root writes anything");
        if (setup == "read-only file") QFile::setPermissions(target, QFileDevice::ReadOwner);
        if (setup == "symbolic link") {
            target = home.path() + "/elsewhere";
            QVERIFY(QFile::rename(home.sessionFile(), target));
            QVERIFY(QFile::link(target, home.sessionFile()));
        }
        if (setup == "read-only folder")
            QFile::setPermissions(home.documents(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (setup == "no documents") QVERIFY(QDir(home.documents()).removeRecursively());
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        // Room for the test's own output, not for the session.
        const rlimit full{1024, limit.rlim_max};
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (setup == "disk full") ::setrlimit(RLIMIT_FSIZE, &full);
        // Said when the login is lost, and never with the key in it.
        if (!saved) {
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression(
                    QStringLiteral("^the login is not remembered: (?!.*%1)").arg(key)));
        }
        const bool written = writeSessionFile(user, key);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, oldHandler);
        QFile::setPermissions(home.documents(), QFileDevice::Permissions(0x7700));
        QCOMPARE(written, saved);
        if (!saved) {
            QCOMPARE(readSessionFile(), std::optional<Session>());
            QVERIFY(!QFileInfo::exists(home.sessionFile()));
            QCOMPARE(QFileInfo::exists(home.documents()), setup != "no documents");
            return;
        }
        QCOMPARE(readSessionFile(), std::optional<Session>(Session{user, key}));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), user.toUtf8() + "," + key.toUtf8());
        struct stat st {};
        QCOMPARE(::fstat(file.handle(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
        QCOMPARE(QFileInfo(home.sessionFile()).isSymLink(), setup == "symbolic link");
        QCOMPARE(
            QDir(home.documents())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList{"ferrodock.data"});
    }

    // A write killed halfway leaves the old file whole and no copy of the new key; logout then
    // removes the session file only, never a file of the user's that looks like one.
    void interruptedWriteAndLogout() {
        TestHome home;
        QVERIFY(writeSessionFile("ann", "old key"));
        QDir documents(home.documents());
        for (const char* name :
             {"ferrodock.data.backup", "ferrodock.data.old123", "ferrodock.data.Ab12Cd"})
            QVERIFY(QFile::copy(home.sessionFile(), documents.filePath(name)));
        const QString linked = home.path() + "/precious";
        QVERIFY(QFile::copy(home.sessionFile(), linked));
        QVERIFY(QFile::link(linked, documents.filePath("ferrodock.data.XyZ987")));
        QStringList before = documents.entryList(QDir::AllEntries | QDir::Hidden | QDir::System);

        const pid_t child = ::fork();
        if (child == 0) {
            const rlimit none{0, 0}, tiny{4, 4};
            ::setrlimit(RLIMIT_CORE, &none);
            ::setrlimit(RLIMIT_FSIZE, &tiny);  // the write dies of SIGXFSZ
            std::signal(SIGXFSZ, SIG_DFL);
            writeSessionFile("bob", "0123456789abcdef0123456789abcdef");
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        QCOMPARE(documents.entryList(QDir::AllEntries | QDir::Hidden | QDir::System), before);
        QCOMPARE(readSessionFile(), std::optional<Session>(Session{"ann", "old key"}));

        clearSessionFile();
        before.removeOne("ferrodock.data");
        QCOMPARE(documents.entryList(QDir::AllEntries | QDir::Hidden | QDir::System), before);
        QVERIFY(QFileInfo::exists(linked));
        clearSessionFile();  // nothing there: nothing happens
        QCOMPARE(documents.entryList(QDir::AllEntries | QDir::Hidden | QDir::System), before);
    }
};

QTEST_GUILESS_MAIN(SessionFileTest)
#include "tst_sessionfile.moc"
