#pragma once

// The upload history: every address the service gave, kept in one SQLite file in the person's
// data folder. The window and any number of commands may write at once; a write that fails
// never fails an upload. Qt Core and Qt Sql only.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

namespace ferrodock {

Q_DECLARE_LOGGING_CATEGORY(lcHistory)

// One successful upload. Never a key, a password or a paste's text.
struct HistoryEntry {
    qint64 id = 0;
    QDateTime when;    // UTC
    QString kind;      // "file", "image" or "paste"
    QString name;      // the file's name, or a paste's first line, shortened
    QString language;  // a paste's language identifier; empty otherwise
    qint64 size = -1;  // bytes; -1 when unknown
    bool isPrivate = false, anonymous = false, nsfw = false;
    QString user;          // empty when sent logged out
    QString address;       // "https://..."
    QByteArray thumbnail;  // PNG or JPEG, at most 160 px a side; images only
};

class HistoryStore final : public QObject {
    Q_OBJECT
public:
    static constexpr int kSchemaVersion = 2;

    // The database at `path`, opened (or made) at the first use, so that a run that keeps
    // nothing leaves no file.
    explicit HistoryStore(const QString& path = defaultPath());
    ~HistoryStore() override;

    // $XDG_DATA_HOME/ferrodock/history.sqlite, XDG_DATA_HOME defaulting to ~/.local/share.
    static QString defaultPath();
    QString path() const { return path_; }
    // Opens the file now, if it is not open yet; false (said once) when it cannot be.
    bool open();

    // Each returns false (or -1, or nothing) after saying once why, never throws.
    bool add(HistoryEntry entry);  // stamped now when `when` is not set
    // Newest first: at most `limit` entries older than `beforeId` (0: from the newest) whose
    // name or address holds `filter`, case-insensitively. Thumbnails only when asked.
    QList<HistoryEntry> entries(int limit, qint64 beforeId = 0, const QString& filter = {},
                                bool thumbnails = false);
    bool remove(const QList<qint64>& ids);
    int clear();  // how many were removed, or -1

Q_SIGNALS:
    // Entries were added, removed or cleared through this store.
    void changed();

private:
    bool openFile();
    enum Schema { Ready, Busy, Damaged, Failed };
    Schema prepareSchema();
    void complainOnce(const QString& what, const QString& error);

    QString path_;
    QString connection_;
    enum { Closed, Open, Broken } state_ = Closed;
    bool complained_ = false;
};

}  // namespace ferrodock
