#include "core/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <atomic>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ferrodock {

Q_LOGGING_CATEGORY(lcHistory, "ferrodock.history")

namespace {

// SQLite's primary result codes for a file that is not a database or is damaged.
constexpr int kSqliteBusy = 5, kSqliteLocked = 6, kSqliteCorrupt = 11, kSqliteNotADatabase = 26;

bool damaged(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == kSqliteCorrupt || code == kSqliteNotADatabase;
}

// Runs each statement in turn; the first error, or none.
QSqlError run(const QSqlDatabase& db, std::initializer_list<const char*> statements) {
    for (const char* statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(QLatin1String(statement))) return query.lastError();
    }
    return {};
}

const char kColumns[] =
    "uploads.id, time, kind, name, language, size, private, anonymous, nsfw, address, user";
// Thumbnails live apart, so that a search reads small rows only.
const char kThumbnails[] =
    "CREATE TABLE thumbnails (id INTEGER PRIMARY KEY, picture BLOB NOT NULL)";
const char kDropThumbnail[] =
    "CREATE TRIGGER drop_thumbnail AFTER DELETE ON uploads "
    "BEGIN DELETE FROM thumbnails WHERE id = old.id; END";

}  // namespace

QString HistoryStore::defaultPath() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(data)) data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/ferrodock/history.sqlite");
}

HistoryStore::HistoryStore(const QString& path) : path_(path) {
    static std::atomic<int> stores{0};
    connection_ = QStringLiteral("ferrodock-history-%1").arg(++stores);
}

// No handle of the connection outlives a call, so removeDatabase() drops the last one, which
// closes the file.
HistoryStore::~HistoryStore() {
    if (state_ != Closed) QSqlDatabase::removeDatabase(connection_);
}

bool HistoryStore::open() {
    if (state_ == Closed) state_ = openFile() ? Open : Broken;
    return state_ == Open;
}

bool HistoryStore::openFile() {
    // Owner-only from the first byte, whatever the umask: the folder, then an empty file that
    // SQLite's -wal and -shm files take their mode from.
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder) || ::chmod(QFile::encodeName(folder).constData(), 0700) != 0) {
        complainOnce(QStringLiteral("cannot make the folder ") + folder, qt_error_string(errno));
        return false;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd =
            ::open(QFile::encodeName(path_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || ::fchmod(fd, 0600) != 0) {
            const int why = errno;
            if (fd >= 0) ::close(fd);
            complainOnce(QStringLiteral("cannot open ") + path_, qt_error_string(why));
            return false;
        }
        ::close(fd);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
            db.setDatabaseName(path_);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
            if (!db.open()) {
                complainOnce(QStringLiteral("cannot open ") + path_, db.lastError().text());
                return false;
            }
        }
        Schema schema = prepareSchema();
        for (int tries = 0; schema == Busy && tries < 250; ++tries) {
            QThread::msleep(20);
            schema = prepareSchema();
        }
        if (schema == Busy)
            complainOnce(QStringLiteral("cannot open ") + path_,
                         QStringLiteral("it stayed locked"));
        if (schema == Ready) return true;
        if (schema == Failed || schema == Busy) return false;
        if (attempt > 0) {
            complainOnce(QStringLiteral("cannot start a new history at ") + path_, {});
            return false;
        }
        // Unreadable: kept aside for whoever wants to look, and a new history started.
        QSqlDatabase::removeDatabase(connection_);  // closes the file
        const QString aside =
            path_ + QStringLiteral(".corrupt-") +
            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmss"));
        QFile::remove(path_ + QStringLiteral("-wal"));
        QFile::remove(path_ + QStringLiteral("-shm"));
        if (!QFile::rename(path_, aside)) {
            complainOnce(QStringLiteral("cannot move the unreadable history aside"), aside);
            return false;
        }
        qCWarning(lcHistory,
                  "the history could not be read; it was moved to %s and a new one "
                  "started",
                  qUtf8Printable(aside));
    }
    return false;
}

HistoryStore::Schema HistoryStore::prepareSchema() {
    const QSqlDatabase db = QSqlDatabase::database(connection_);
    // WAL: readers never wait for the writer, and a killed writer leaves every commit whole.
    // secure_delete: removed entries are overwritten, not left in free pages.
    QSqlError error = run(db, {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
                               "PRAGMA secure_delete=ON", "BEGIN IMMEDIATE"});
    if (!error.isValid()) {
        QSqlQuery version(db);
        int found = -1;
        if (version.exec(QStringLiteral("PRAGMA user_version")) && version.next())
            found = version.value(0).toInt();
        else
            error = version.lastError();
        if (found == 0) {
            error = run(db, {"CREATE TABLE IF NOT EXISTS uploads (id INTEGER PRIMARY KEY, "
                             "time INTEGER NOT NULL, kind TEXT NOT NULL, name TEXT NOT NULL, "
                             "language TEXT, size INTEGER, private INTEGER, anonymous INTEGER, "
                             "nsfw INTEGER, address TEXT NOT NULL, user TEXT)",
                             kThumbnails, kDropThumbnail, "PRAGMA user_version=2"});
        } else if (found == 1) {
            // The first version had no user and no thumbnails.
            error = run(db, {"ALTER TABLE uploads ADD COLUMN user TEXT", kThumbnails,
                             kDropThumbnail, "PRAGMA user_version=2"});
        }
        // A newer version only ever adds columns: this one's are all there.
        const QSqlError end = run(db, {error.isValid() ? "ROLLBACK" : "COMMIT"});
        if (!error.isValid()) error = end;
    }
    if (!error.isValid()) return Ready;
    if (damaged(error)) return Damaged;
    // Another process making the same new file: SQLite answers at once rather than waiting.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    if (code == kSqliteBusy || code == kSqliteLocked) return Busy;
    complainOnce(QStringLiteral("cannot open ") + path_, error.text());
    return Failed;
}

void HistoryStore::complainOnce(const QString& what, const QString& error) {
    if (std::exchange(complained_, true)) return;
    qCWarning(lcHistory, "%s: %s; uploads go on, but are not kept in the history",
              qUtf8Printable(what), qUtf8Printable(error));
}

bool HistoryStore::add(HistoryEntry entry) {
    if (!open()) return false;
    QSqlDatabase db = QSqlDatabase::database(connection_);
    const bool withThumbnail = !entry.thumbnail.isEmpty();
    QSqlQuery query(db);
    // The entry and its thumbnail together, or neither.
    bool done = !withThumbnail || db.transaction();
    done = done && query.prepare(QStringLiteral(
                       "INSERT INTO uploads (time, kind, name, language, size, private, "
                       "anonymous, nsfw, address, user) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDateTime when = entry.when.isValid() ? entry.when : QDateTime::currentDateTimeUtc();
    for (const QVariant& value :
         {QVariant(when.toMSecsSinceEpoch()), QVariant(entry.kind), QVariant(entry.name),
          entry.language.isEmpty() ? QVariant() : QVariant(entry.language),
          entry.size < 0 ? QVariant() : QVariant(entry.size), QVariant(int(entry.isPrivate)),
          QVariant(int(entry.anonymous)), QVariant(int(entry.nsfw)), QVariant(entry.address),
          entry.user.isEmpty() ? QVariant() : QVariant(entry.user)})
        query.addBindValue(value);
    done = done && query.exec();
    if (done && withThumbnail) {
        const QVariant id = query.lastInsertId();
        done =
            query.prepare(QStringLiteral("INSERT INTO thumbnails (id, picture) VALUES (?, ?)")) &&
            (query.addBindValue(id), query.addBindValue(entry.thumbnail), query.exec()) &&
            db.commit();
    }
    if (done) {
        Q_EMIT changed();
        return true;
    }
    const QString why =
        query.lastError().isValid() ? query.lastError().text() : db.lastError().text();
    if (withThumbnail) db.rollback();
    complainOnce(QStringLiteral("cannot add to ") + path_, why);
    return false;
}

QList<HistoryEntry> HistoryStore::entries(int limit, qint64 beforeId, const QString& filter,
                                          bool thumbnails) {
    QList<HistoryEntry> found;
    if (!open()) return found;
    QString sql = QStringLiteral("SELECT ") + QLatin1String(kColumns) +
                  (thumbnails ? QStringLiteral(", picture") : QString()) +
                  QStringLiteral(" FROM uploads") +
                  (thumbnails ? QStringLiteral(" LEFT JOIN thumbnails USING (id)") : QString()) +
                  QStringLiteral(" WHERE 1");
    if (beforeId > 0) sql += QStringLiteral(" AND uploads.id < ?");
    if (!filter.isEmpty())
        sql += QStringLiteral(" AND (name LIKE ? ESCAPE '\\' OR address LIKE ? ESCAPE '\\')");
    sql += QStringLiteral(" ORDER BY uploads.id DESC LIMIT ?");
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.setForwardOnly(true);
    query.prepare(sql);
    if (beforeId > 0) query.addBindValue(beforeId);
    if (!filter.isEmpty()) {
        QString pattern = filter;
        pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        pattern = QLatin1Char('%') + pattern + QLatin1Char('%');
        query.addBindValue(pattern);
        query.addBindValue(pattern);
    }
    query.addBindValue(limit);
    if (!query.exec()) {
        complainOnce(QStringLiteral("cannot read ") + path_, query.lastError().text());
        return found;
    }
    while (query.next()) {
        HistoryEntry e;
        e.id = query.value(0).toLongLong();
        e.when = QDateTime::fromMSecsSinceEpoch(query.value(1).toLongLong(), Qt::UTC);
        e.kind = query.value(2).toString();
        e.name = query.value(3).toString();
        e.language = query.value(4).toString();
        e.size = query.value(5).isNull() ? -1 : query.value(5).toLongLong();
        e.isPrivate = query.value(6).toBool();
        e.anonymous = query.value(7).toBool();
        e.nsfw = query.value(8).toBool();
        e.address = query.value(9).toString();
        e.user = query.value(10).toString();
        if (thumbnails) e.thumbnail = query.value(11).toByteArray();
        found.append(e);
    }
    return found;
}

bool HistoryStore::remove(const QList<qint64>& ids) {
    if (!open()) return false;
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("DELETE FROM uploads WHERE id = ?"));
    QVariantList values;
    for (qint64 id : ids) values.append(id);
    query.addBindValue(values);
    if (!query.execBatch()) {
        complainOnce(QStringLiteral("cannot remove from ") + path_, query.lastError().text());
        return false;
    }
    Q_EMIT changed();
    return true;
}

int HistoryStore::clear() {
    if (!open()) return -1;
    const QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("DELETE FROM uploads"))) {
        complainOnce(QStringLiteral("cannot clear ") + path_, query.lastError().text());
        return -1;
    }
    const int removed = query.numRowsAffected();
    // Nothing of the old entries stays in the write-ahead log either (when no reader holds it).
    run(db, {"PRAGMA wal_checkpoint(TRUNCATE)"});
    Q_EMIT changed();
    return removed;
}

}  // namespace ferrodock
