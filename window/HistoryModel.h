#pragma once

// The history as a table, newest first, read from the store a page at a time as the view
// scrolls, so that a long history opens at once.

#include "core/HistoryStore.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

namespace ferrodock {

class HistoryModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, When, Flags, Address, ColumnCount };
    static constexpr int kPageRows = 200;

    explicit HistoryModel(HistoryStore& store, QObject* parent = nullptr);

    // Shows only the entries whose name or address holds `text`, case-insensitively.
    void setFilter(const QString& text);
    // Reads the history again from the newest entry.
    void reload();
    const HistoryEntry& entry(int row) const { return rows_.at(row); }
    // Removes these rows from the history; false when the store would not.
    bool removeEntries(QList<int> rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    QIcon iconFor(const HistoryEntry& entry) const;

    HistoryStore& store_;
    QList<HistoryEntry> rows_;
    QString filter_;
    bool more_ = true;
    mutable QHash<qint64, QIcon> thumbnails_;
};

// How long ago `when` was, in words ("just now", "5 minutes ago", "yesterday").
QString relativeTime(const QDateTime& when, const QDateTime& now);

}  // namespace ferrodock
