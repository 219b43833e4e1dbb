// The rules without a window: display names, shortened answers, answer decoding and
// classification, progress lines; and the remembered login on disk: what is read back, what is
// written, and how, and the session that keeps it saying when it changes.
#include "core/Answers.h"
#include "core/Characters.h"
#include "core/ScratchFolder.h"
#include "core/SessionFile.h"
#include "support/AppHarness.h"
#include "support/DataRows.h"
#include "support/Files.h"
#include "window/UploadPanel.h"

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <csignal>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {
const QString kKey = "0123456789abcdef0123456789abcdef",
              kUser = "zoë 日本" + QString(1000, QChar(0x263A));

QStringList entries(const QString& d) {
    return QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Writes a login in a child process that may put at most 1 KiB in a file: the write fails
// (the disk is full) or dies of SIGXFSZ halfway. Gives the wait status.
int writeInChild(bool dies) {
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit none{0, 0}, small{1024, 1024};
        ::setrlimit(RLIMIT_CORE, &none), ::setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, dies ? SIG_DFL : SIG_IGN);
        ::_exit(writeSessionFile(kUser, kKey) ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child ? status : -1;
}
}  // namespace

class SessionFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { dropRootsFilePowers(); }
    // 'n': the display name of a path; 'a': the shown part of an answer; 'k': what a login
    // answer's bytes are; 'p': the progress line for "sent total bytes-per-second" (from
    // "about" on when there is a speed); 'h': a paste's name in the history.
    void textRules_data() {
        columns<char, QByteArray, QString>("rule", "input", "result");
        const QString ka = QString::fromUtf8("\xE0\xA4\x95\xCC\x81");  // consonant and accent
        const QString marked = "e" + QString(29, QChar(0x301));        // one character, 30 units
        const QString edge = "a" + QString(4094, QChar(0x301)) + "b",
                      az = "abcdefghijklmnopqrstuvwxyz";
        const auto row = [](const char* name, char rule, const QString& input, const QString& out) {
            QTest::newRow(name) << rule << input.toUtf8() << out;
        };
        row("exactly 25", 'n', "/x/" + az.left(21) + ".png", az.left(21) + ".png");
        row("26 with é", 'n', "/x/abcdéfghijklmnopqrstuv.png", "abcdéfghijklmnopqrstuv.pn...png");
        row("emoji at the cut", 'n', az.left(24) + "👨‍👩‍👧z.gif",
            az.left(24) + "👨‍👩‍👧...gif");
        row("devanagari", 'n', "/x/" + ka.repeated(26) + ".txt", ka.repeated(25) + "...txt");
        row("8 after the dot", 'n', az + ".backup12", az.left(25) + "...backup12");
        row("9 after the dot", 'n', az + ".backup123", az.left(25) + "...");
        row("space after the dot", 'n', az + ".a b", az.left(25) + "...");
        row("200", 'a', QString(200, 'a'), QString(200, 'a'));
        row("201", 'a', QString(201, 'a'), QString(200, 'a') + "...");
        row("4096 units", 'a', marked.repeated(150), marked.repeated(136) + "...");
        row("one huge character", 'a', "a" + QString(524000, QChar(0x301)), "...");
        // The mark after the budget belongs to the last character inside it.
        row("budget edge", 'a', edge + QChar(0x301), edge.chopped(1) + "...");
        row("budget exact", 'a', edge, edge);
        // 32 bytes but 16 code units is a message; 16 astral characters are 32 units, a key.
        row("32 bytes of é", 'k', QString(16, QChar(0xE9)), "message");
        row("16 astral", 'k', QString::fromUtf8("😀").repeated(16), "key");
        row("byte-order mark", 'k', "\uFEFF" + QString(32, 'k'), "key");
        row("all sent", 'p', "1000 1000 0", "Uploading f: 100%, 1.0 kB of 1.0 kB");
        // Sizes that would read "1000.0 kB" move up a unit.
        row("unit edge", 'p', "999949 999950 0", "Uploading f: 99%, 999.9 kB of 1.0 MB");
        row("past the last unit", 'p', "0 2000000000000000000 0",
            "Uploading f: 0%, 0 bytes of 2000000.0 TB");
        row("59 s", 'p', "0 59 1", "59 s left");
        row("60 s", 'p', "0 60 1", "1 min left");
        row("more sent than said", 'p', "5 4 1", "1 s left");
        row("exactly an hour", 'p', "0 3600 1", "1 h 0 min left");
        row("just under an hour", 'p', "0 3599 1", "60 min left");
        row("an hour and a bit", 'p', "0 3661 1", "1 h 2 min left");
        row("just under two hours", 'p', "1 7200 1", "2 h 0 min left");
        // The name comes from the first 64 KiB alone.
        row("history: late first line", 'h', QString(65535, '\n') + "ab", "a");
        row("history: 61 characters", 'h', " " + QString(61, 'x') + "\ny", QString(59, 'x') + "…");
        row("history: 60 characters", 'h', "\n\t" + QString(60, 'x'), QString(60, 'x'));
        // 'r': the scratch folder's place for XDG_RUNTIME_DIR and XDG_CACHE_HOME, only if absolute.
        row("runtime folder", 'r', "/run/1 /c", "/run/1/ferrodock");
        row("cache folder", 'r', "run /c", "/c/ferrodock/scratch");
        row("neither", 'r', "run c", QDir::homePath() + "/.cache/ferrodock/scratch");
        for (const char* bytes :
             {"caf\xe9", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"})
            QTest::newRow(QByteArray(bytes).toPercentEncoding())
                << 'k' << QByteArray(bytes) << QString("not text");
    }
    void textRules() {
        auto [rule, input] = fetch<char, QByteArray>("rule", "input");
        const std::optional<QString> text = decodeAnswer(input);
        if (rule == 'r') {
            const QByteArrayList dirs = input.split(' ');
            qputenv("XDG_RUNTIME_DIR", dirs[0]), qputenv("XDG_CACHE_HOME", dirs[1]);
            QTEST(ScratchFolder::defaultRoot(), "result");
            return qunsetenv("XDG_RUNTIME_DIR"), void(qunsetenv("XDG_CACHE_HOME"));
        }
        if (rule == 'p') {
            const QList<QByteArray> n = input.split(' ');
            const auto line = progressText("f", n[0].toLongLong(), n[1].toLongLong(), n[2].toInt());
            QTEST(n[2] == "0" ? line : line.section(", about ", 1), "result");
            return;
        }
        const char* kinds[] = {"rejected", "key", "message"};
        QTEST(rule == 'h'   ? pasteHistoryName(input)
              : rule == 'n' ? displayName(*text)
              : rule == 'a' ? shownAnswer(*text)
              : text        ? QString(kinds[int(classifyLoginAnswer(*text))])
                            : "not text",
              "result");
    }

    void reading_data() {
        // content: what the file holds; "directory", "fifo", "unreadable": no such file; "link
        // to " one of those or "dangling": a link there instead. loaded: the name and key read,
        // "," when none.
        columns<QByteArray, QByteArray>("content", "loaded");
        using B = QByteArray;
        const B key(64 * 1024 - 4, 'k'), none(",");  // with "ann," the file is 64 KiB
        QTest::newRow("empty key, a field after") << B("ann,,x") << B("ann,");
        QTest::newRow("64 KiB") << "ann," + key << "ann," + key;
        QTest::newRow("over 64 KiB") << "ann," + key + "k" << none;
        QTest::newRow("no comma") << B("ann") << none;
        QTest::newRow("not UTF-8") << B("ann,\xff") << none;
        // Logout through a link to anything but a session file removes the link alone, and
        // never opens a FIFO.
        for (const char* kind : {"directory", "fifo", "unreadable", "link to not a session",
                                 "link to directory", "link to fifo", "link to dangling"})
            QTest::newRow(kind) << B(kind) << none;
    }
    void reading() {
        QFETCH(QByteArray, content);
        TestHome home;
        const bool link = content.startsWith("link to ");
        const QByteArray kind = content.mid(link ? 8 : 0);
        const QString dir = link ? home.path() : home.documents(),
                      name = link ? "other" : "ferrodock.data", file = dir + '/' + name;
        if (kind == "directory") QVERIFY(QDir().mkdir(file));
        if (kind == "fifo") QVERIFY(::mkfifo(QFile::encodeName(file), 0600) == 0);
        if (kind != "directory" && kind != "fifo" && kind != "dangling") makeFile(dir, name, kind);
        if (kind == "unreadable") QVERIFY(QFile::setPermissions(file, QFile::WriteOwner));
        if (link) QVERIFY(QFile::link(file, home.sessionFile()));
        Session session;
        QTEST((session.userName() + "," + session.apiKey()).toUtf8(), "loaded");
        if (!link) return;
        clearSessionFile();
        QVERIFY(entries(home.documents()).isEmpty());
        const QFileInfo info(file);
        QCOMPARE(info.isDir()     ? "directory"
                 : !info.exists() ? "dangling"
                 : !info.isFile() ? "fifo"
                                  : readFile(file),
                 kind);
    }

    // Never is the key readable by others, no copy of it is left beside the file, and a login
    // that cannot be saved leaves no earlier one behind; a write killed halfway leaves the old
    // file whole. Then logout.
    void writing_data() {
        // after: the file afterwards
        columns<QString, QByteArray>("setup", "after");
        for (const char* setup : {"new", "group-readable", "symbolic link", "read-only folder"})
            QTest::newRow(setup) << setup << (kUser + "," + kKey).toUtf8();
        for (const char* setup : {"read-only file", "disk full", "no documents"})
            QTest::newRow(setup) << setup << QByteArray();
        QTest::newRow("killed halfway") << QString("killed halfway") << QByteArray("old,key");
    }
    void writing() {
        auto [setup, after] = fetch<QString, QByteArray>("setup", "after");
        TestHome home;
        Session session;  // made before any file, so logged out until it remembers
        if (setup != "new") makeFile(home.documents(), "ferrodock.data", "old,key");
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
        QSignalSpy changed(&session, &Session::changed);
        const bool written =
            inChild ? writeInChild(setup == "killed halfway") == 0 : session.remember(kUser, kKey);
        QCOMPARE(session.isLoggedIn(), !inChild);
        ::chmod(home.documents().toUtf8(), 0700);
        QCOMPARE(written, after.contains(kKey.toUtf8()));
        QCOMPARE(QFileInfo(home.sessionFile()).isSymLink(), setup == "symbolic link");
        QCOMPARE(entries(home.documents()),
                 after.isEmpty() ? QStringList() : QStringList{"ferrodock.data"});
        QCOMPARE(readFile(home.sessionFile()), after);
        QVERIFY(!written || (QFileInfo(home.sessionFile()).permissions() & 0x777) == 0x600);
        // Logout removes the session file only, never a file of the user's that looks like one.
        if (setup == "no documents") return;
        QVERIFY(QFile::link(home.path() + "/elsewhere", home.sessionFile() + ".backup"));
        makeFile(home.documents(), "ferrodock.data.old123", "mine");
        session.forget(), session.forget();  // the second finds nothing and says nothing
        QCOMPARE(changed.count(), inChild ? 0 : 2);
        QCOMPARE(entries(home.documents()),
                 (QStringList{"ferrodock.data.backup", "ferrodock.data.old123"}));
        // A link's target is emptied, not removed.
        QCOMPARE(readFile(home.path() + "/elsewhere", "none"),
                 setup == "symbolic link" ? "" : "none");
    }

    // The private folder for pasted, captured and piped bytes: its modes, what it refuses, and
    // what it leaves behind.
    void scratchFolder() {
        const QTemporaryDir home(QDir::tempPath() + "/scratch-XXXXXX");
        const QString root = home.path() + "/ferrodock";
        QVERIFY(QDir().mkdir(root));
        QFile::setPermissions(root, QFileDevice::Permissions(0x7755));  // too wide: narrowed
        // Left by other runs: a dead one's, a live one's (its lock held here), one half made.
        const auto runFolder = [&](const char* name, bool withLock) {
            const QString dir = root + "/" + name;
            QDir().mkdir(dir);
            if (withLock) makeFile(QDir(dir), ".lock");
            makeFile(QDir(dir), "x", "left");
            return dir;
        };
        const QString dead = runFolder("run-dead", true), live = runFolder("run-live", true),
                      young = runFolder("run-young", false), old = runFolder("run-old", false);
        const int held = ::open(QFile::encodeName(live + "/.lock").constData(), O_RDONLY);
        QCOMPARE(::flock(held, LOCK_EX), 0);
        const utimbuf longAgo{std::time(nullptr) - 120, std::time(nullptr) - 120};
        ::utime(QFile::encodeName(old).constData(), &longAgo);
        QString a, b;
        {
            ScratchFolder scratch(root);
            QString error;
            for (const char* bad : {"", "a/b", "..", "."})
                QVERIFY(!scratch.write(bad, "x", &error) && error.contains("not a file name"));
            QVERIFY(::fcntl(0, F_GETFD) != -1);  // a file refused closes no descriptor of ours
            a = scratch.write("Pasted image.png", "first", &error).value_or(QString());
            b = scratch.write("Pasted image.png", "second", &error).value_or(QString());
            QVERIFY(!a.isEmpty() && !b.isEmpty() && a != b);
            QCOMPARE(QFileInfo(a).fileName() + ' ' + readFile(b), "Pasted image.png second");
            const QString in = QFileInfo(a).path(), run = QFileInfo(in).path();
            QCOMPARE(QList({fileMode(root), fileMode(run), fileMode(in), fileMode(a)}),
                     QList({0700, 0700, 0700, 0600}));
            QVERIFY(!QFile::exists(dead) && !QFile::exists(old));
            QVERIFY(QFile::exists(live + "/x") && QFile::exists(young + "/x"));
            QString half;
            {
                ScratchFile unfinished = scratch.create("half.bin");
                QVERIFY(unfinished.write("half") && QFile::exists(half = unfinished.path()));
            }
            QVERIFY(!QFile::exists(half) && !QFile::exists(QFileInfo(half).path()));
            scratch.release(live + "/x");  // not made here: left alone
            scratch.release(a);
            QVERIFY(!QFile::exists(a) && !QFile::exists(QFileInfo(a).path()));
            QVERIFY(QFile::exists(live + "/x"));
            b = scratch.write("kept.txt", "", &error).value_or(QString());
            QVERIFY(QFile::exists(b));
        }
        ::close(held);
        // The end of the run takes the rest.
        QVERIFY(!QFile::exists(b) && entries(root) == QStringList({"run-live", "run-young"}));
        // A folder that is a link, or a file, is never written through.
        QVERIFY(QDir(root).removeRecursively() && QFile::link(home.path(), root));
        ScratchFolder linked(root);
        QString error;
        QVERIFY(!linked.write("x.png", "x", &error));
        QVERIFY2(error.contains("not a folder of yours"), qPrintable(error));
        QVERIFY(!QFile::exists(home.path() + "/run-"));
        QCOMPARE(entries(home.path()), QStringList({"ferrodock"}));
        // One that cannot be made, in a file, says so.
        ScratchFolder inFile(makeFile(home.path(), "file") + "/ferrodock");
        QVERIFY(!inFile.write("x.png", "x", &error) && error.startsWith("cannot make the folder"));
        // One whose run folder's path would be too long for the system is refused as well.
        QString deep = home.path();
        while (deep.size() < 4085) deep += '/' + QString(qMin(200, 4085 - deep.size()), 'd');
        ScratchFolder tooDeep(deep);
        QVERIFY(!tooDeep.write("x.png", "x", &error));
        QVERIFY2(error.startsWith("cannot make a folder in " + deep + ": "), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(SessionFileTest)
#include "tst_sessionfile.moc"
