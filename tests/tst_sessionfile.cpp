// The remembered login on disk: what is read back, what is written, and how.
#include "app/SessionFile.h"
#include "support/AppHarness.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace ferrodock;
using ferrodock::test::TestHome;

Q_DECLARE_METATYPE(std::optional<Session>)

class SessionFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reading_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<std::optional<Session>>("expected");
        const QString key = "0123456789abcdef0123456789abcdef";
        QTest::newRow("pair") << QByteArray("ann,0123456789abcdef0123456789abcdef")
                              << std::optional<Session>(Session{"ann", key});
        QTest::newRow("leading comma") << QByteArray(",0123456789abcdef0123456789abcdef")
                                       << std::optional<Session>(Session{"", key});
        QTest::newRow("three fields") << QByteArray("ann,0123456789abcdef0123456789abcdef,x")
                                      << std::optional<Session>(Session{"ann", key});
        QTest::newRow("trailing line feed") << QByteArray("ann,0123456789abcdef0123456789abcdef\n")
                                            << std::optional<Session>(Session{"ann", key + "\n"});
        QTest::newRow("utf-8 name")
            << QString("zoë,k").toUtf8() << std::optional<Session>(Session{"zoë", "k"});
        QTest::newRow("empty key")
            << QByteArray("ann,") << std::optional<Session>(Session{"ann", ""});
        QTest::newRow("no comma") << QByteArray("ann") << std::optional<Session>();
        QTest::newRow("empty file") << QByteArray() << std::optional<Session>();
        QTest::newRow("not utf-8") << QByteArray("ann\xff,key") << std::optional<Session>();
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

    void writing_data() {
        QTest::addColumn<QString>("user");
        QTest::newRow("ascii") << "ann";
        QTest::newRow("empty") << "";
        QTest::newRow("multi-byte") << "zoë 日本";
    }
    void writing() {
        QFETCH(QString, user);
        TestHome home;
        const QString key = "0123456789abcdef0123456789abcdef";
        QVERIFY(writeSessionFile(user, key));
        QFile file(home.sessionFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), user.toUtf8().size() + 33);
        QCOMPARE(bytes, user.toUtf8() + "," + key.toUtf8());
        QCOMPARE(readSessionFile(), std::optional<Session>(Session{user, key}));
    }

    void writingIsOwnerOnlyAndReplaces() {
        TestHome home;
        home.writeSession("old user,old key that was readable by everybody");
        QVERIFY(QFile::setPermissions(home.sessionFile(), QFileDevice::Permissions(0x6644)));
        QVERIFY(writeSessionFile("bob", "k2"));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(home.sessionFile()), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
        QFile file(home.sessionFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("bob,k2"));
        // No temporary copy is left beside it.
        QCOMPARE(QDir(home.documents()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"ferrodock.data"});
    }

    void writingWithoutDocumentsCreatesNothing() {
        TestHome home;
        QVERIFY(QDir(home.documents()).removeRecursively());
        QVERIFY(!writeSessionFile("ann", "key"));
        QVERIFY(!QFileInfo::exists(home.documents()));
    }

    // A write cut short before its rename leaves the old file whole; logout removes both.
    void interruptedWrite() {
        TestHome home;
        QVERIFY(writeSessionFile("ann", "old key"));
        QFile stray(home.sessionFile() + ".Ab12Cd");
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.write("bob,new k");  // the rename never happened
        stray.close();
        QCOMPARE(readSessionFile(), std::optional<Session>(Session{"ann", "old key"}));
        clearSessionFile();
        QVERIFY(
            QDir(home.documents())
                .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }

    void clearing() {
        TestHome home;
        QVERIFY(writeSessionFile("ann", "key"));
        clearSessionFile();
        QVERIFY(!QFileInfo::exists(home.sessionFile()));
        clearSessionFile();  // nothing there: nothing happens
        QVERIFY(
            QDir(home.documents()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
};

QTEST_GUILESS_MAIN(SessionFileTest)
#include "tst_sessionfile.moc"
