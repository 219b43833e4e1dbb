#pragma once

// Go > History: every upload kept, newest first, searchable, each address one key from the
// clipboard again.

#include "ui_HistoryWindow.h"

#include <QDialog>

namespace ferrodock {

class HistoryModel;
class HistoryStore;

class HistoryWindow final : public QDialog {
    Q_OBJECT
public:
    explicit HistoryWindow(HistoryStore& store, QWidget* parent = nullptr);

    HistoryModel* model() const { return model_; }

    // Copies the address of `row` as the link buttons do, and says so.
    void copyRow(int row);
    void openRow(int row);
    void removeSelected();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showMenu(const QPoint& where);
    int currentRow() const;

    Ui::HistoryWindow ui_;
    HistoryModel* model_;
};

// Asks, then removes every entry (the store logs a failure; its changed() refreshes the views).
void clearHistoryAsking(HistoryStore& store, QWidget* parent);

}  // namespace ferrodock
