#include "window/MainWindow.h"

#include "core/Session.h"
#include "core/SessionFile.h"
#include "desktop/ScreenCapture.h"
#include "platform/DesktopNotices.h"
#include "window/FilePage.h"
#include "window/HistoryWindow.h"
#include "window/ImagePage.h"
#include "window/LoginDialog.h"
#include "window/PastePage.h"
#include "window/Theme.h"
#include "window/UploadPanel.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

namespace ferrodock {

namespace {
// How often the desktop hears how far the uploads are, at most.
constexpr qint64 kLauncherIntervalMs = 250;
}  // namespace

MainWindow::MainWindow(const Services& services, QWidget* parent)
    : QMainWindow(parent), services_(services) {
    ui_.setupUi(this);
    imagePage_ = new ImagePage(services, lastChoice_, ui_.mainView);
    addPage(imagePage_, imagePage_->tabs(), imagePage_->uploadPanel());  // shown first
    connect(ui_.goFile, &QAction::triggered, this, &MainWindow::switchFile);
    connect(ui_.goImage, &QAction::triggered, this, &MainWindow::switchImage);
    connect(ui_.goPaste, &QAction::triggered, this, &MainWindow::switchPaste);

    connect(ui_.login, &QAction::triggered, this, &MainWindow::showLoginDialog);
    connect(ui_.logout, &QAction::triggered, this, &MainWindow::logout);
    connect(ui_.goHistory, &QAction::triggered, this, &MainWindow::showHistory);
    connect(ui_.clearHistory, &QAction::triggered, this, &MainWindow::clearHistory);
    connect(ui_.quitAction, &QAction::triggered, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    connect(ui_.pasteImage, &QAction::triggered, this, &MainWindow::pasteFromClipboard);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &MainWindow::updatePasteItem);
    connect(ui_.mainView, &QStackedWidget::currentChanged, this, &MainWindow::updatePasteItem);
    updatePasteItem();
    connect(&services.session, &Session::changed, this, &MainWindow::showSession);
    showSession();
    addCaptureItem();
}

MainWindow::~MainWindow() = default;

FilePage* MainWindow::filePage() {
    if (!filePage_) {
        filePage_ = new FilePage(services_, lastChoice_, ui_.mainView);
        addPage(filePage_, filePage_->tabs(), filePage_->uploadPanel());
    }
    return filePage_;
}

PastePage* MainWindow::pastePage() {
    if (!pastePage_) {
        pastePage_ = new PastePage(services_, ui_.mainView);
        addPage(pastePage_, pastePage_->tabs(), pastePage_->uploadPanel());
    }
    return pastePage_;
}

LoginDialog* MainWindow::loginDialog() {
    if (!loginDialog_)
        loginDialog_ = std::make_unique<LoginDialog>(services_.transport, services_.session);
    return loginDialog_.get();
}

// A page made later joins the end of the window's focus chain; only the page shown takes
// part in Tab, so the order within each page is what the user meets.
void MainWindow::addPage(QWidget* page, const std::array<QPushButton*, 3>& tabs,
                         UploadPanel* panel) {
    ui_.mainView->addWidget(page);
    // Polished now, as the window's showing polished the pages it had.
    page->ensurePolished();
    connect(tabs[0], &QPushButton::clicked, this, &MainWindow::switchFile);
    connect(tabs[1], &QPushButton::clicked, this, &MainWindow::switchImage);
    connect(tabs[2], &QPushButton::clicked, this, &MainWindow::switchPaste);
    connect(panel, &UploadPanel::begun, this, &MainWindow::takeEscape);
    connect(panel, &UploadPanel::figuresChanged, this, &MainWindow::updateLauncher);
}

void MainWindow::switchFile() {
    showPage(filePage());
}
void MainWindow::switchImage() {
    showPage(imagePage_);
}
void MainWindow::switchPaste() {
    showPage(pastePage());
}

// The keyboard focus stays with no page, the one put away included: the next Tab starts at
// the page shown.
void MainWindow::showPage(QWidget* page) {
    if (QWidget* focus = focusWidget(); ui_.mainView->isAncestorOf(focus))  // false for none
        focus->clearFocus();
    ui_.mainView->setCurrentWidget(page);
}

// The page shown, when it is one that chooses a file.
ChoosingPage* MainWindow::choosingPage() const {
    return qobject_cast<ChoosingPage*>(ui_.mainView->currentWidget());
}

// On the Paste page the item is greyed, and Ctrl+V is the text view's own paste.
void MainWindow::updatePasteItem() {
    ChoosingPage* page = choosingPage();
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    ui_.pasteImage->setText(page && page == filePage_ ? QStringLiteral("Paste File")
                                                      : QStringLiteral("Paste Image"));
    ui_.pasteImage->setEnabled(page && offered && page->takes(offered, false));
}

void MainWindow::pasteFromClipboard() {
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    if (ChoosingPage* page = choosingPage(); page && offered) page->take(offered);
}

void MainWindow::showLoginDialog() {
    loginDialog();
    if (!loginDialog_->isVisible())
        loginDialog_->move(geometry().center() - loginDialog_->rect().center());
    loginDialog_->show();
    loginDialog_->raise();
    loginDialog_->activateWindow();
}

void MainWindow::logout() {
    // With no Documents folder there is no session file to forget, and nothing happens.
    if (!documentsDirectory()) return;
    services_.session.forget();
}

void MainWindow::showHistory() {
    // Made at the first use: a run that never looks at the history does not open it.
    if (!historyWindow_) historyWindow_ = new HistoryWindow(services_.history, this);
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

void MainWindow::clearHistory() {
    clearHistoryAsking(services_.history, this);
}

// The remembered key is not checked with the service; uploads send it as it is. The title is
// shown literally: "[*]" in a name is no modification marker.
void MainWindow::showSession() {
    const Session& session = services_.session;
    QString title = QStringLiteral("ferrodock");
    if (session.isLoggedIn() || !session.userName().isEmpty())
        title += QStringLiteral(" - ") + session.userName();
    setWindowTitle(title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

// From the first upload on, Esc cancels the uploads of the page shown.
void MainWindow::takeEscape() {
    if (escape_) return;
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape_, &QShortcut::activated, this, [this] {
        for (UploadPanel* panel : uploadPanels())
            if (panel->parentWidget()->isVisible()) panel->cancelAll();
    });
}

// Those of the pages made so far.
QList<UploadPanel*> MainWindow::uploadPanels() const {
    QList<UploadPanel*> panels{imagePage_->uploadPanel()};
    if (filePage_) panels << filePage_->uploadPanel();
    if (pastePage_) panels << pastePage_->uploadPanel();
    return panels;
}

void MainWindow::updateLauncher(bool force) {
    if (!force && launcherClock_.isValid() && launcherClock_.elapsed() < kLauncherIntervalMs)
        return;
    launcherClock_.start();
    qint64 sent = 0, total = 0;
    bool any = false;
    for (const UploadPanel* panel : uploadPanels()) any = panel->addFigures(sent, total) || any;
    services_.notices.showProgress(
        any ? std::optional<double>(total > 0 ? double(sent) / double(total) : 0.0) : std::nullopt);
}

// Edit > Capture Screen: the picture becomes the Image page's choice. Whether the desktop can
// capture is asked once the window is up; until it answers, the item waits for the answer.
void MainWindow::addCaptureItem() {
    ui_.editMenu->setToolTipsVisible(true);  // why the item is greyed out
    QAction* item = ui_.editMenu->addAction(QStringLiteral("Capture Screen\u2026"));
    item->setObjectName(QStringLiteral("captureScreen"));
    item->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    ScreenCapture& capture = services_.capture;
    connect(item, &QAction::triggered, this, [this, &capture] { capture.capture(this); });
    connect(&capture, &ScreenCapture::decided, item, [item, &capture] {
        item->setEnabled(capture.available());
        item->setToolTip(capture.unavailableReason());
    });
    connect(&capture, &ScreenCapture::captured, this, [this](const QString& path) {
        switchImage();
        imagePage_->choosePath(path);
    });
    connect(&capture, &ScreenCapture::failed, this, [this] {
        switchImage();
        imagePage_->refuse(QStringLiteral("Screen capture failed. Please try again."));
    });
    QTimer::singleShot(0, &capture, &ScreenCapture::probe);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    int running = 0;
    for (const UploadPanel* panel : uploadPanels()) running += panel->running();
    if (running == 0) return QMainWindow::closeEvent(event);
    // Worded for one upload or for several; a child of the window, so the window's style
    // sheet reaches it.
    const bool one = running == 1;
    QMessageBox question(QMessageBox::Question, QStringLiteral("Uploads running"),
                         one ? QStringLiteral("An upload is still running.")
                             : QStringLiteral("%1 uploads are still running.").arg(running),
                         QMessageBox::NoButton, this);
    question.setObjectName(QStringLiteral("cancelUploadsQuestion"));
    question.setInformativeText(one ? QStringLiteral("Cancel it and close the window?")
                                    : QStringLiteral("Cancel them and close the window?"));
    QPushButton* stop =
        question.addButton(one ? QStringLiteral("Cancel Upload") : QStringLiteral("Cancel Uploads"),
                           QMessageBox::AcceptRole);
    question.setDefaultButton(
        question.addButton(QStringLiteral("Keep Uploading"), QMessageBox::RejectRole));
    question.exec();
    if (question.clickedButton() != stop) return event->ignore();
    for (UploadPanel* panel : uploadPanels()) panel->cancelAll();
    QMainWindow::closeEvent(event);
}

}  // namespace ferrodock
