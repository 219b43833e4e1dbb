#pragma once

#include "ui_MainWindow.h"
#include "window/ChoosingPage.h"
#include "window/Services.h"

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>

#include <array>

#include <memory>

class QPushButton;
class QShortcut;

namespace ferrodock {

class FilePage;
class HistoryWindow;
class ImagePage;
class LoginDialog;
class PastePage;
class UploadPanel;

// ferrodock's window: the File, Image and Paste pages, one shown at a time (the Image page
// first), the Account, Edit and Go menus, and the login window it opens. Its title names the
// user logged in.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const Services& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The File and Paste pages and the login window are made when first asked for: the first
    // frame shows none of them.
    FilePage* filePage();
    ImagePage* imagePage() const { return imagePage_; }
    PastePage* pastePage();
    LoginDialog* loginDialog();
    // The history window, once it has been opened.
    HistoryWindow* historyWindow() const { return historyWindow_; }
    // The path chosen last on either choosing page, "" after a page's address was copied.
    QString lastChosenPath() const { return lastChoice_.path; }

public Q_SLOTS:
    void switchFile();
    void switchImage();
    void switchPaste();
    // Opens the login window over this one, or brings it to the front.
    void showLoginDialog();
    void logout();
    // Opens the history window, or brings it to the front.
    void showHistory();
    // Asks, then forgets every upload in the history.
    void clearHistory();
    // Hands what the clipboard holds to the File or Image page shown.
    void pasteFromClipboard();

protected:
    // Asks first when uploads are still running.
    void closeEvent(QCloseEvent* event) override;

private:
    void showPage(QWidget* page);
    void addPage(QWidget* page, const std::array<QPushButton*, 3>& tabs, UploadPanel* panel);
    ChoosingPage* choosingPage() const;
    void updatePasteItem();
    QList<UploadPanel*> uploadPanels() const;
    void showSession();
    void takeEscape();
    void updateLauncher(bool force);
    void addCaptureItem();

    Ui::MainWindow ui_;
    Services services_;
    LastChoice lastChoice_;
    FilePage* filePage_ = nullptr;
    ImagePage* imagePage_;
    PastePage* pastePage_ = nullptr;
    std::unique_ptr<LoginDialog> loginDialog_;
    HistoryWindow* historyWindow_ = nullptr;
    QElapsedTimer launcherClock_;
    QShortcut* escape_ = nullptr;
};

}  // namespace ferrodock
