#include "window/HistoryWindow.h"

#include "desktop/Clipboard.h"
#include "window/HistoryModel.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace ferrodock {

HistoryWindow::HistoryWindow(HistoryStore& store, QWidget* parent)
    : QDialog(parent), model_(new HistoryModel(store, this)) {
    ui_.setupUi(this);
    connect(ui_.historyFilter, &QLineEdit::textChanged, model_, &HistoryModel::setFilter);
    // A narrowed list starts at its first match, wherever the whole list was scrolled to.
    connect(ui_.historyFilter, &QLineEdit::textChanged, ui_.historyTable, &QTableView::scrollToTop);
    ui_.historyTable->setModel(model_);
    // Fixed row heights and column widths: nothing is measured row by row, so a long history
    // opens as fast as a short one.
    ui_.historyTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* columns = ui_.historyTable->horizontalHeader();
    columns->resizeSection(HistoryModel::Name, 300);
    columns->resizeSection(HistoryModel::When, 130);
    columns->resizeSection(HistoryModel::Flags, 150);
    ui_.historyTable->installEventFilter(this);
    connect(ui_.historyTable, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { copyRow(index.row()); });
    connect(ui_.historyTable, &QTableView::customContextMenuRequested, this,
            &HistoryWindow::showMenu);
    // An upload that ends while the window is open shows at once.
    connect(&store, &HistoryStore::changed, this, [this] {
        if (isVisible()) model_->reload();
    });
}

int HistoryWindow::currentRow() const {
    const QModelIndex current = ui_.historyTable->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void HistoryWindow::copyRow(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    clipboard::put(model_->entry(row).address);
    ui_.historyStatus->setText(QStringLiteral("Copied to clipboard."));
}

void HistoryWindow::openRow(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    if (!QDesktopServices::openUrl(QUrl(model_->entry(row).address)))
        ui_.historyStatus->setText(QStringLiteral("No browser could open the address."));
}

void HistoryWindow::removeSelected() {
    QList<int> rows;
    for (const QModelIndex& index : ui_.historyTable->selectionModel()->selectedRows())
        rows << index.row();
    if (rows.isEmpty() && currentRow() >= 0) rows << currentRow();
    if (rows.isEmpty()) return;
    const QString removed = rows.size() == 1 ? QStringLiteral("1 entry")
                                             : QStringLiteral("%1 entries").arg(rows.size());
    ui_.historyStatus->setText(model_->removeEntries(rows)
                                   ? QStringLiteral("Removed %1 from the history.").arg(removed)
                                   : QStringLiteral("The history could not be changed."));
}

void HistoryWindow::showMenu(const QPoint& where) {
    const int row = ui_.historyTable->indexAt(where).row();
    if (row < 0) return;
    QMenu menu(this);
    menu.addAction(QStringLiteral("Copy Address"), this, [this, row] { copyRow(row); });
    menu.addAction(QStringLiteral("Open in Browser"), this, [this, row] { openRow(row); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Remove"), this, &HistoryWindow::removeSelected);
    menu.exec(ui_.historyTable->viewport()->mapToGlobal(where));
}

void HistoryWindow::showEvent(QShowEvent* event) {
    // What was uploaded since it was last open, newest on top.
    model_->reload();
    ui_.historyStatus->clear();
    ui_.historyFilter->setFocus();
    QDialog::showEvent(event);
}

bool HistoryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_.historyTable && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            copyRow(currentRow());
            return true;
        }
        if (key == Qt::Key_Delete) {
            removeSelected();
            return true;
        }
        // Rows, not columns: a row is one entry (End reaches the last one read so far, and
        // reading goes on from there as the view reaches it).
        if ((key == Qt::Key_Home || key == Qt::Key_End) && model_->rowCount() > 0) {
            ui_.historyTable->selectRow(key == Qt::Key_Home ? 0 : model_->rowCount() - 1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void clearHistoryAsking(HistoryStore& store, QWidget* parent) {
    QMessageBox ask(QMessageBox::Question, QStringLiteral("Clear History"),
                    QStringLiteral("Remove every upload from the history?"), QMessageBox::NoButton,
                    parent);
    ask.setObjectName(QStringLiteral("clearHistoryQuestion"));
    ask.setInformativeText(QStringLiteral(
        "The uploads stay on the service; only this computer's list of their addresses goes."));
    QPushButton* remove =
        ask.addButton(QStringLiteral("Clear History"), QMessageBox::DestructiveRole);
    // Keeping them is the default: Enter or Esc loses nothing.
    ask.setDefaultButton(ask.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
    ask.exec();
    if (ask.clickedButton() == remove) store.clear();
}

}  // namespace ferrodock
