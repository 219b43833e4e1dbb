// The upload history: the store in a temporary folder, the command and the pages through the
// fake transport.
#include "cli/CommandLine.h"
#include "core/HistoryStore.h"
#include "platform/ThumbnailHelper.h"
#include "support/AppHarness.h"
#include "support/DataRows.h"
#include "support/Files.h"
#include "window/HistoryModel.h"
#include "window/HistoryWindow.h"
#include "window/ImagePage.h"
#include "window/Preview.h"

#include <QtSql>

#include <sys/stat.h>

#include <thread>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

const QByteArray kKey = "0123456789abcdef0123456789ABCDEF";

HistoryEntry entryNamed(const QString& name) {
    HistoryEntry e;
    e.kind = "file", e.name = name, e.address = "https://ferrodock.net/" + name;
    return e;
}

// A child of this program that adds `count` entries named TAG0, TAG1... (0: until killed),
// printing how many are committed after each.
QProcess* startWriter(const QString& path, int count, const QString& tag) {
    auto* process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HISTORY_WRITER", path + "|" + QString::number(count) + "|" + tag);
    process->setProcessEnvironment(env);
    process->start(QCoreApplication::applicationFilePath(), {});
    return process;
}

int runWriter() {
    const QStringList args = qEnvironmentVariable("HISTORY_WRITER").split('|');
    HistoryStore store(args[0]);
    for (int i = 0; args[1].toInt() == 0 || i < args[1].toInt(); ++i) {
        if (!store.add(entryNamed(args[2] + QString::number(i)))) return 1;
        std::printf("%d\n", i + 1), std::fflush(stdout);
    }
    return 0;
}

QStringList names(const QList<HistoryEntry>& entries) {
    QStringList list;
    for (const HistoryEntry& e : entries) list << e.name;
    return list;
}

QByteArray logged;
void keepLog(QtMsgType, const QMessageLogContext&, const QString& message) {
    logged += message.toUtf8() + '\n';
}

}  // namespace

class HistoryTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // How long ago, in words, at each unit's edges; from 30 days on, the date.
    void relativeTimes_data() {
        columns<qint64, QString>("secondsAgo", "said");
        const qint64 day = 86400;
        const std::pair<qint64, const char*> rows[] = {
            {0, "just now"},         {59, "just now"},          {60, "1 minute ago"},
            {119, "1 minute ago"},   {120, "2 minutes ago"},    {3599, "59 minutes ago"},
            {3600, "1 hour ago"},    {day - 1, "23 hours ago"}, {day, "yesterday"},
            {2 * day, "2 days ago"}, {29 * day, "29 days ago"}, {30 * day, "5/16/26"}};
        for (const auto& [ago, said] : rows) QTest::addRow("%lld s", ago) << ago << QString(said);
    }
    void relativeTimes() {
        QFETCH(qint64, secondsAgo);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QDateTime now(QDate(2026, 6, 15), QTime(12, 0));
        QTEST(relativeTime(now.addSecs(-secondsAgo), now), "said");
        QLocale::setDefault(QLocale::c());
    }
    // Read a page at a time, as a view asks; several entries picked in any order go, and only
    // they, from the list and the file.
    void removingSeveral() {
        TestHome home;
        HistoryStore store;
        const int count = HistoryModel::kPageRows + 2;
        for (int i = 0; i < count; ++i) QVERIFY(store.add(entryNamed(QString::number(i))));
        HistoryModel rows(store);
        rows.reload();
        QVERIFY(rows.rowCount() == count - 2 && rows.canFetchMore({}));
        QAbstractItemModelTester tester(&rows);  // which fetches the last two, as a view would
        rows.fetchMore({});                      // then nothing
        // Then two go, newest first: 201 and 199.
        QVERIFY(rows.rowCount() == count && !rows.canFetchMore({}) && rows.removeEntries({0, 2}));
        // The list's rows, then the file's.
        QCOMPARE(
            names({rows.entry(0), rows.entry(1), rows.entry(count - 3)}) + names(store.entries(2)),
            QStringList({"200", "198", "0", "200", "198"}));
        QSignalSpy told(&store, &HistoryStore::changed);  // a removal elsewhere tells the window
        QVERIFY(store.remove({rows.entry(0).id}) && told.count() == 1 &&
                names(store.entries(1)) == QStringList({"198"}));
    }
    // Nothing on disk until the first use; then owner-only whatever the umask, the -wal and
    // -shm files too.
    void modes() {
        TestHome home;
        const QString path = home.path() + "/.local/share/ferrodock/history.sqlite";
        const mode_t old = ::umask(0);
        std::optional<HistoryStore> store(std::in_place);
        QVERIFY(!QFile::exists(QFileInfo(path).path()) && store->add(entryNamed("a")));
        ::umask(old);
        QCOMPARE((QList<int>{fileMode(QFileInfo(path).path()), fileMode(path),
                             fileMode(path + "-wal"), fileMode(path + "-shm")}),
                 (QList<int>{0700, 0600, 0600, 0600}));
        store.reset();  // the file is closed, its log folded in
        QVERIFY(!QFile::exists(path + "-wal") && QFile::exists(path));
    }

    void migratesVersion1() {
        QTemporaryDir dir;
        const QString path = dir.filePath("h.sqlite");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "v1");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            for (const char* sql :
                 {"CREATE TABLE uploads (id INTEGER PRIMARY KEY, time INTEGER NOT NULL, kind TEXT "
                  "NOT NULL, name TEXT NOT NULL, language TEXT, size INTEGER, private INTEGER, "
                  "anonymous INTEGER, nsfw INTEGER, address TEXT NOT NULL)",
                  "INSERT INTO uploads VALUES (7, 1700000000000, 'paste', 'int main()', 'cpp', "
                  "12, 1, 0, 0, 'https://ferrodock.net/Old1')",
                  "PRAGMA user_version=1"})
                QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase("v1");
        HistoryStore store(path);
        HistoryEntry added = entryNamed("new");
        added.user = "al", added.thumbnail = "\x89PNG";
        QVERIFY(store.add(added));
        const QList<HistoryEntry> all = store.entries(10, 0, {}, true);
        QCOMPARE(all.size(), 2);
        const HistoryEntry& old = all[1];
        QCOMPARE((QStringList{QString::number(old.id), old.when.toString(Qt::ISODate), old.kind,
                              old.name, old.language, QString::number(old.size),
                              QString::number(old.isPrivate), old.address, old.user}),
                 (QStringList{"7", "2023-11-14T22:13:20Z", "paste", "int main()", "cpp", "12", "1",
                              "https://ferrodock.net/Old1", ""}));
        QCOMPARE((QList<QByteArray>{all[0].user.toUtf8(), all[0].thumbnail,
                                    QByteArray::number(all[0].size)}),
                 (QList<QByteArray>{"al", "\x89PNG", "-1"}));  // its size unknown
    }

    // Two processes at once, 200 rows each; a writer killed mid-way leaves every commit.
    void writers_data() {
        columns<int, bool>("writers", "kill");
        row("two at once", 2, false), row("killed", 1, true);
    }
    void writers() {
        auto [writers, kill] = fetch<int, bool>("writers", "kill");
        QTemporaryDir dir;
        const QString path = dir.filePath("h.sqlite");
        QList<QProcess*> children;
        for (int i = 0; i < writers; ++i)
            children << startWriter(path, kill ? 0 : 200, QString(QChar('a' + i)));
        int committed = 0;
        for (QProcess* child : children) {
            if (kill) {
                while (committed < 150 && child->waitForReadyRead(10000))
                    while (child->canReadLine()) committed = child->readLine().trimmed().toInt();
                child->kill();  // never kill(0): a writer that already ended has no id
            }
            QVERIFY(child->waitForFinished(60000));
            if (!kill) QCOMPARE(child->exitCode(), 0);
            for (const QByteArray& line : child->readAllStandardOutput().split('\n'))
                committed = qMax(committed, line.toInt());
            delete child;
        }
        HistoryStore store(path);
        const QStringList found = names(store.entries(100000));
        QStringList expected;
        for (int w = 0; w < writers; ++w)
            for (int i = 0; i < (kill ? committed : 200); ++i)
                expected << QChar('a' + w) + QString::number(i);
        for (const QString& name : expected) QVERIFY2(found.contains(name), qPrintable(name));
        QVERIFY(found.size() >= expected.size() && found.size() <= expected.size() + kill);
        QVERIFY(QDir(dir.path()).entryList({"*.corrupt-*"}).isEmpty());
    }

    // Another connection in the middle of a write when the store first opens the file: SQLite
    // answers "busy" at once, and the store tries again until the write is over.
    void waitsForAnotherWriter() {
        QTemporaryDir dir;
        const QString path = dir.filePath("h.sqlite");
        QSemaphore writing;
        std::thread other([&] {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "writing");
                db.setDatabaseName(path);
                QSqlQuery q(db);
                if (!db.open() || !q.exec("CREATE TABLE t (x)") || !q.exec("BEGIN IMMEDIATE") ||
                    !q.exec("INSERT INTO t VALUES (1)"))
                    qFatal("no write to wait for");
                writing.release(), std::this_thread::sleep_for(std::chrono::milliseconds(300));
                q.exec("COMMIT");
            }
            QSqlDatabase::removeDatabase("writing");
        });
        writing.acquire();
        HistoryStore store(path);
        const bool added = store.add(entryNamed("a"));
        other.join();
        QVERIFY(added && names(store.entries(100000)) == QStringList{"a"});
    }

    // Garbage is moved aside with one line and a new history started; a failed write says
    // so once and returns.
    void faults() {
        QTemporaryDir dir;
        const QString path = dir.filePath("h.sqlite");
        makeFile(dir.path(), "h.sqlite", patternBytes(8192));
        const QtMessageHandler testlib = qInstallMessageHandler(keepLog);
        {
            HistoryStore store(path);
            QVERIFY(store.add(entryNamed("fresh")));
            QCOMPARE(names(store.entries(100000)), QStringList{"fresh"});
            const QStringList aside = QDir(dir.path()).entryList({"h.sqlite.corrupt-*"});
            QVERIFY(aside.size() == 1 && readFile(dir.filePath(aside[0])) == patternBytes(8192));
            QVERIFY(logged.count('\n') == 1 && logged.contains("moved to"));  // one line, no more
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setDatabaseName(path);
            QVERIFY(other.open() && QSqlQuery(other).exec("ALTER TABLE uploads RENAME TO x"));
            QVERIFY(store.clear() == -1 && logged.contains("cannot clear " + path.toUtf8()));
            QVERIFY(!store.add(entryNamed("lost")) && !store.remove({1}));
            // Made a first version that cannot be brought up to date: it fails, not passes.
            QVERIFY(QSqlQuery(other).exec("CREATE TABLE uploads (user)") &&
                    QSqlQuery(other).exec("PRAGMA user_version=1"));
        }
        QSqlDatabase::removeDatabase("other");
        // A history that cannot be opened keeps nothing, and says why once.
        // (Its folder is narrowed to the owner: a folder of this test's, never /tmp itself.)
        for (const QString& bad :
             {QString("/dev/null/h"), (QDir(dir.path()).mkdir("sub"), dir.filePath("sub")), path}) {
            HistoryStore broken(bad);
            QVERIFY(!broken.remove({1}) && !broken.add(entryNamed("x")) && broken.clear() == -1);
        }
        qInstallMessageHandler(testlib);
        QVERIFY(logged.contains("folder /dev/null: File exists; uploads go on") &&
                logged.contains("open " + dir.path().toUtf8() + "/sub: Is a directory; uploads") &&
                logged.contains("h.sqlite: duplicate column name: user"));
        QCOMPARE(logged.count("not kept in the history"), 4);
        logged.clear();
    }

    void command() {
        TestHome home("al," + kKey);
        QTemporaryDir dir;
        const QString picture = "the cat on the sofa, in the evenings.png";  // 40 characters
        FakeTransport net("ferrodock.net/AbC123");
        Session session;
        HistoryStore history;
        QByteArray said;
        const auto run = [&](const QStringList& args, QByteArray* out = nullptr) {
            CommandStreams io = CommandStreams::standard();
            io.in = tempStream(), io.out = tempStream(), io.err = tempStream();
            io.transport = &net, io.session = &session, io.history = &history;
            io.thumbnail = [](const QString& path) {
                return thumbnailByHelper(FERRODOCK_WINDOW_BINARY, path);
            };
            std::fputs("\n  int  main() { return sizeof(char) - 1UL; }\n second line\n", io.in),
                std::rewind(io.in);
            const int status = runCommand(args, io);
            if (const QByteArray printed = contents(io.out); out) *out = printed;
            said = contents(io.err), std::fclose(io.in);
            return status;
        };
        QCOMPARE(run({"upload", "-p", makeFile(dir.path(), "a b.txt")}), 0);
        QCOMPARE(run({"image", "--nsfw", makeImage(dir.path(), picture, {640, 320})}), 0);
        QCOMPARE(run({"paste", "-l", "C++", "-a"}), 0);
        net.reply = TransportResult{true, "not an address", {}};
        QCOMPARE(run({"upload", dir.filePath("a b.txt")}), 1);
        QByteArray out;
        QCOMPARE(run({"history", "-n", "2"}, &out), 0);
        const QList<QByteArray> lines = out.split('\n');
        QCOMPARE(lines.size(), 3);
        // Names over 40 characters cut to 39 and "…"; after the time, each column two spaces apart.
        QCOMPARE(
            lines[0].mid(16) + lines[1].mid(16),
            "  paste  -a-  int main() { return sizeof(char) - 1UL;…  https://ferrodock.net/AbC123"
            "  image  --n  the cat on the sofa, in the evenings.png  https://ferrodock.net/AbC123");
        QCOMPARE(run({"history", "--json"}, &out), 0);
        QStringList json;
        for (const QByteArray& line : out.trimmed().split('\n')) {
            QJsonObject o = QJsonDocument::fromJson(line).object();
            QVERIFY(QDateTime::fromString(o.take("time").toString(), Qt::ISODateWithMs)
                        .secsTo(QDateTime::currentDateTimeUtc()) < 60);
            json << QJsonDocument(o).toJson(QJsonDocument::Compact);
        }
        const QString size = QString::number(QFileInfo(dir.filePath(picture)).size());
        QStringList expected{
            R"(true,"kind":"paste","language":"cpp","name":"int main() { return sizeof(char) - 1UL; }","nsfw":false,"private":false,"size":59)",
            QString(
                R"(false,"kind":"image","language":null,"name":"%1","nsfw":true,"private":false,"size":%2)")
                .arg(picture, size),
            R"(false,"kind":"file","language":null,"name":"a b.txt","nsfw":false,"private":true,"size":0)"};
        for (QString& e : expected)
            e = R"({"address":"https://ferrodock.net/AbC123","anonymous":)" + e +
                R"(,"user":"al"})";
        QCOMPARE(json, expected);
        const QByteArray png = history.entries(2, 0, {}, true).at(1).thumbnail;
        QVERIFY(png.size() < 8192 && png.endsWith("\xff\xd9") &&
                QImage::fromData(png).size() == QSize(160, 80));
        // The window program's thumbnail mode takes one file; anything else is a usage error,
        // and a thumbnail not all written a failure.
        const QString mode = kThumbnailMode + QString("=1"), start = "env " + mode + " \"$0\"";
        for (const auto& [more, status] : {std::pair{"", 2}, {" \"$1\" >/dev/full", 1}})
            QCOMPARE(QProcess::execute("sh", {"-c", start + more, FERRODOCK_WINDOW_BINARY,
                                              dir.filePath(picture)}),
                     status);
        // Started with standard error closed, it has /dev/null there: seen while it waits to open
        // a pipe, and by root only, as the program is undumpable.
        if (const QString fifo = dir.filePath("fifo"); ::geteuid() == 0) {
            QVERIFY(::mkfifo(QFile::encodeName(fifo), 0600) == 0);
            QProcess helper;
            helper.setChildProcessModifier([] { ::close(2); });
            helper.start("env", {mode, FERRODOCK_WINDOW_BINARY, fifo});
            const QString err2 = QString("/proc/%1/fd/2").arg(helper.processId());
            QTRY_COMPARE(QFile::symLinkTarget(err2), "/dev/null");
            QVERIFY(QFile::symLinkTarget(err2.chopped(1) + '3') != "/dev/null");  // that one only
            QVERIFY(QFile(fifo).open(QIODevice::WriteOnly));  // and closed: nothing to read
            QVERIFY(helper.waitForFinished());
        }
        QByteArray bytes;
        for (const char* suffix : {"", "-wal"})
            bytes += readFile(HistoryStore::defaultPath() + suffix);
        QVERIFY(bytes.contains("int main() { return") &&
                bytes.contains("https://ferrodock.net/AbC123"));
        QVERIFY(!bytes.contains(kKey) && !bytes.contains("second line"));
        QCOMPARE((QList<int>{run({"history", "-n", "0"}), run({"history", "-n", "x"}),
                             run({"history", "--clear"})}),
                 (QList<int>{2, 2, 0}));
        QCOMPARE(said, "Removed 3 entries from the history.\n");
        QCOMPARE(run({"history"}, &out) + out.size(), 0);  // nothing left to list
    }

    // Only an answered address is kept, with what the page sent; the window lists it newest
    // first, copies it as the link does, and Clear History asks first.
    void window() {
        TestApp app("al," + kKey);
        app.choose(makeImage(app.home.path(), "pic.png"), true);
        app.find<QCheckBox>("privImage")->setChecked(true);
        QTRY_VERIFY(!app.window->imagePage()->preview().decoded().isNull());
        app.upload("image")->click();
        app.net->finish({false, {}, "refused", TransportError::Unreachable, {}});
        app.upload("image")->click(), app.net->answer("ferrodock.net/i/abcdefghij");
        app.button("pastePageButton2")->click();
        app.find<QPlainTextEdit>("pasteData")->setPlainText("\n  typed   text \nsecond line");
        app.find<QComboBox>("language")->setCurrentText("Python");
        app.upload("paste")->click();
        QTRY_COMPARE(app.net->requests.size(), 3);
        app.net->answer("ferrodock.net/p/abcdefghi");

        app.find<QAction>("goHistory")->trigger();
        HistoryWindow* shown = app.window->historyWindow();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        auto* filter = shown->findChild<QLineEdit*>("historyFilter");
        QTRY_COMPARE(QApplication::focusWidget(), filter);
        const HistoryModel& rows = *shown->model();
        QCOMPARE(rows.rowCount(), 2);
        QStringList seen;
        for (int row = 0; row < 2; ++row) {
            const HistoryEntry& e = rows.entry(row);
            QStringList fields{e.kind, e.name, e.language, QString::number(e.size), e.user};
            for (const int column : {HistoryModel::Flags, HistoryModel::Address})
                fields << rows.index(row, column).data().toString();
            seen << fields.join('|');
        }
        QCOMPARE(seen,
                 (QStringList{"paste|typed text|python|28|al||https://ferrodock.net/p/abcdefghi",
                              "image|pic.png||" +
                                  QString::number(QFileInfo(app.home.path() + "/pic.png").size()) +
                                  "|al|Private|https://ferrodock.net/i/abcdefghij"}));
        QCOMPARE(QImage::fromData(rows.entry(1).thumbnail).size(), QSize(64, 48));
        // A screen reader hears what is shown, but the time in full, as its tool tip tells it.
        for (const QModelIndex& at : {rows.index(1, 0), rows.index(1, 2), rows.index(1, 3)})
            QCOMPARE(at.data(Qt::AccessibleTextRole), at.data());
        const QModelIndex when = rows.index(1, 1);
        QVERIFY(
            when.data(Qt::AccessibleTextRole) == when.data(Qt::ToolTipRole) &&
            when.data(Qt::ToolTipRole).toString().contains(rows.entry(1).when.toString("yyyy")));
        // Icons: a paste's is its kind's; the picture's, its thumbnail centred on a clear square.
        QVERIFY(rows.index(0, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(32).toImage() ==
                QIcon(":/PasteIcon.png").pixmap(32).toImage());
        auto icon = rows.index(1, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(80).toImage();
        QCOMPARE((QList<int>{icon.width(), qAlpha(icon.pixel(40, 9)), qAlpha(icon.pixel(40, 10)),
                             qAlpha(icon.pixel(40, 69)), qAlpha(icon.pixel(40, 70))}),
                 (QList<int>{80, 0, 255, 255, 0}));

        auto* table = shown->findChild<QTableView*>("historyTable");
        // Sizes fixed, not measured row by row: the widths as designed, every row one height.
        QCOMPARE((QList<int>{table->columnWidth(0), table->columnWidth(1), table->columnWidth(2),
                             table->verticalHeader()->sectionResizeMode(0)}),
                 (QList<int>{300, 130, 150, QHeaderView::Fixed}));
        QTest::keyClick(filter, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), table);
        for (const auto key : {Qt::Key_End, Qt::Key_Home, Qt::Key_End}) QTest::keyClick(table, key);
        const auto status = [shown] { return shown->findChild<QLabel*>("historyStatus")->text(); };
        QTest::keyClick(table, Qt::Key_Return);  // the last row, the image
        QCOMPARE(QGuiApplication::clipboard()->text() + " " + status(),
                 "https://ferrodock.net/i/abcdefghij Copied to clipboard.");
        // With nothing selected, Delete removes the current row: the first (Right moves along it).
        for (const auto key : {Qt::Key_Home, Qt::Key_Right}) QTest::keyClick(table, key);
        table->clearSelection(), QTest::keyClick(table, Qt::Key_Delete);
        QCOMPARE(status() + " " + rows.entry(0).kind, "Removed 1 entry from the history. image");
        // Matches nothing (Return there copies nothing); without the X, the image.
        QTest::keyClicks(filter, "I/ABCX"), QTest::keyClick(table, Qt::Key_Return);
        QCOMPARE(status() + QString::number(rows.rowCount()), "Removed 1 entry from the history.0");
        QTest::keyClick(filter, Qt::Key_Backspace);
        QString headers = QString::number(rows.rowCount()) + '|';  // and the column titles alone
        for (const int section : {0, 1, 4})
            headers += rows.headerData(section, Qt::Horizontal).toString() + '|';
        QCOMPARE(headers + rows.headerData(1, Qt::Vertical).toString() +
                     rows.headerData(1, Qt::Horizontal, Qt::ToolTipRole).toString(),
                 "1|Name|When||");
        // A row's menu opens its address in the browser (a stand-in here), and says nothing.
        QTextBrowser browser;  // which has no document for it
        QTest::ignoreMessage(QtWarningMsg,
                             "QTextBrowser: No document for https://ferrodock.net/i/abcdefghij");
        QDesktopServices::setUrlHandler("https", &browser, "setSource");
        QTimer::singleShot(0, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            menu->actions().value(1)->trigger(), menu->close();
            QVERIFY(menu->actions().size() == 4 && menu->actions()[3]->text() == "Remove");
        });
        table->customContextMenuRequested(table->visualRect(rows.index(0, 2)).center());
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(browser.source().toString() + status(),
                 "https://ferrodock.net/i/abcdefghijRemoved 1 entry from the history.");
        for (const int kept : {1, 0}) {
            QTimer::singleShot(0, [kept] {  // the answer to the question
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == (kept ? "Cancel" : "Clear History")) return b->click();
            });
            app.find<QAction>("clearHistory")->trigger();
            QCOMPARE(rows.rowCount(), kept);
        }
        QVERIFY(app.history.entries(10).isEmpty());
        // A filter typed far down the list shows its first match, not what was scrolled to.
        for (int i = 0; i < 60; ++i) QVERIFY(app.history.add(entryNamed(QString::number(i))));
        filter->clear(), table->scrollToBottom(), QTest::keyClicks(filter, "1");
        QCOMPARE(QList({rows.rowCount(), table->verticalScrollBar()->value()}), QList({15, 0}));
        // Open again, it starts in the filter, wherever the focus was when it closed, and the
        // last visit's message (the removal's) is gone.
        table->setFocus(), shown->close();
        app.find<QAction>("goHistory")->trigger();
        QTRY_VERIFY(QApplication::focusWidget() == filter && status().isEmpty());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("HISTORY_WRITER")) {
        QCoreApplication app(argc, argv);
        return runWriter();
    }
    QApplication app(argc, argv);
    HistoryTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_history.moc"
