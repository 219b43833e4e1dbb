#include "window/HistoryModel.h"

#include <QLocale>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace ferrodock {

QString relativeTime(const QDateTime& when, const QDateTime& now) {
    const qint64 seconds = when.secsTo(now);
    if (seconds < 60) return QStringLiteral("just now");
    const auto ago = [](qint64 n, const char* unit) {
        return QStringLiteral("%1 %2%3 ago")
            .arg(n)
            .arg(QLatin1String(unit), n == 1 ? QString() : QStringLiteral("s"));
    };
    if (seconds < 3600) return ago(seconds / 60, "minute");
    if (seconds < 86400) return ago(seconds / 3600, "hour");
    const qint64 days = when.toLocalTime().date().daysTo(now.toLocalTime().date());
    if (days <= 1) return QStringLiteral("yesterday");
    if (days < 30) return ago(days, "day");
    return QLocale().toString(when.toLocalTime().date(), QLocale::ShortFormat);
}

HistoryModel::HistoryModel(HistoryStore& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store) {}

void HistoryModel::setFilter(const QString& text) {
    if (text == filter_) return;
    filter_ = text;
    reload();
}

void HistoryModel::reload() {
    beginResetModel();
    rows_.clear();
    thumbnails_.clear();
    more_ = true;
    endResetModel();
    // The first page at once: the view asks only once it is shown.
    fetchMore({});
}

bool HistoryModel::removeEntries(QList<int> rows) {
    QList<qint64> ids;
    for (int row : rows) ids.append(rows_.at(row).id);
    const QSignalBlocker quiet(&store_);  // the rows go here, without a reload
    if (!store_.remove(ids)) return false;
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (int row : rows) {
        beginRemoveRows({}, row, row);
        rows_.removeAt(row);
        endRemoveRows();
    }
    return true;
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

bool HistoryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && more_;
}

void HistoryModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    const QList<HistoryEntry> page =
        store_.entries(kPageRows, rows_.isEmpty() ? 0 : rows_.last().id, filter_, true);
    more_ = page.size() == kPageRows;
    if (page.isEmpty()) return;
    beginInsertRows({}, int(rows_.size()), int(rows_.size() + page.size() - 1));
    rows_.append(page);
    endInsertRows();
}

QIcon HistoryModel::iconFor(const HistoryEntry& entry) const {
    if (!entry.thumbnail.isEmpty()) {
        auto found = thumbnails_.constFind(entry.id);
        if (found != thumbnails_.constEnd()) return *found;
        QImage picture;
        if (picture.loadFromData(entry.thumbnail)) {
            // Centred on a square, so that every name starts at the same place.
            constexpr int kSide = 80;
            QImage square(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
            square.fill(Qt::transparent);
            const QImage fitted =
                picture.scaled(kSide, kSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            QPainter(&square).drawImage((kSide - fitted.width()) / 2, (kSide - fitted.height()) / 2,
                                        fitted);
            return thumbnails_[entry.id] = QIcon(QPixmap::fromImage(square));
        }
    }
    if (entry.kind == u"image") return QIcon(QStringLiteral(":/ImageIcon.png"));
    if (entry.kind == u"file") return QIcon(QStringLiteral(":/FileIcon.png"));
    return QIcon(QStringLiteral(":/PasteIcon.png"));
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    const HistoryEntry& e = rows_.at(index.row());
    switch (index.column()) {
        case Name:
            if (role == Qt::DecorationRole) return iconFor(e);
            if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return e.name;
            if (role == Qt::ToolTipRole) {
                QStringList about{e.kind};
                if (!e.language.isEmpty()) about << e.language;
                if (e.size >= 0) about << QLocale().formattedDataSize(e.size);
                if (!e.user.isEmpty()) about << QStringLiteral("sent as ") + e.user;
                return e.name + QStringLiteral("\n") + about.join(QStringLiteral(", "));
            }
            break;
        case When:
            if (role == Qt::DisplayRole)
                return relativeTime(e.when, QDateTime::currentDateTimeUtc());
            if (role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
                return QLocale().toString(e.when.toLocalTime(), QLocale::LongFormat);
            break;
        case Flags:
            if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
                QStringList flags;
                if (e.isPrivate) flags << QStringLiteral("Private");
                if (e.anonymous) flags << QStringLiteral("Anonymous");
                if (e.nsfw) flags << QStringLiteral("NSFW");
                return flags.join(QStringLiteral(", "));
            }
            break;
        case Address:
            if (role == Qt::DisplayRole || role == Qt::ToolTipRole ||
                role == Qt::AccessibleTextRole)
                return e.address;
            break;
        default:
            break;
    }
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[] = {"Name", "When", "Flags", "Address"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kTitles[section])
                                                 : QVariant();
}

}  // namespace ferrodock
