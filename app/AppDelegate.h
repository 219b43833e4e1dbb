#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

// An outlet: a guarded reference to one widget of the interface description, which owns the
// widget for the whole run. Reading it after the widget is gone yields null.
// clang-format off
#define FERRODOCK_OUTLET(Type, name, setter)        \
public:                                             \
    Type* name() const { return name##_; }          \
    void setter(Type* widget) { name##_ = widget; } \
                                                    \
private:                                            \
    QPointer<Type> name##_;
// clang-format on

namespace ferrodock {

class DesktopNotices;
class OpenPanel;
class Transport;

// The application delegate: all of ferrodock's behaviour, and no state of its own beyond its
// outlets. What the program remembers while it runs lives in the widgets (button titles, texts,
// check states, the page shown); between runs it lives in the session file.
//
// The interface loader connects every outlet by name through the properties below and every
// widget's action to the slot of that name, then calls applicationDidFinishLaunching().
//
// The outlet and action names are the ones the interface description uses, so they stay as
// they are; how to read them:
// - a suffix names the page: none is the File page, "2" the Image page, "3" the Paste page
//   (filePageButton, imagePageButton2, pastePageButton3: the File, Image and Paste buttons of
//   each page's tab strip);
// - `selectButton` is the Image page's chooser and `selectButton2` the File page's, while
//   `selectImages` chooses for the Image page and `selectImages2` for the File page;
// - `imageSelectButton` / `fileSelectButton` are the drop areas around them;
// - `savedusername`, `savedapikey`, `savedpath` are hidden buttons whose titles hold the login
//   and the chosen path;
// - the `logout()` outlet is the menu item; the `logout(QObject*)` action signs out.
class AppDelegate : public QObject {
    Q_OBJECT

    Q_PROPERTY(QMainWindow* window READ window WRITE setWindow)
    Q_PROPERTY(QWidget* mainView READ mainView WRITE setMainView)
    Q_PROPERTY(QWidget* imageView READ imageView WRITE setImageView)
    Q_PROPERTY(QWidget* fileView READ fileView WRITE setFileView)
    Q_PROPERTY(QWidget* pasteView READ pasteView WRITE setPasteView)
    Q_PROPERTY(QDialog* loginWindow READ loginWindow WRITE setLoginWindow)
    Q_PROPERTY(QAction* logout READ logout WRITE setLogout)
    Q_PROPERTY(QAction* login READ login WRITE setLogin)
    Q_PROPERTY(QLabel* bgImage READ bgImage WRITE setBgImage)
    Q_PROPERTY(QPlainTextEdit* pasteData READ pasteData WRITE setPasteData)
    Q_PROPERTY(QPushButton* pasteOutput READ pasteOutput WRITE setPasteOutput)
    Q_PROPERTY(QPushButton* imageOutput READ imageOutput WRITE setImageOutput)
    Q_PROPERTY(QPushButton* fileOutput READ fileOutput WRITE setFileOutput)
    Q_PROPERTY(QComboBox* language READ language WRITE setLanguage)
    Q_PROPERTY(QCheckBox* privImage READ privImage WRITE setPrivImage)
    Q_PROPERTY(QCheckBox* anonImage READ anonImage WRITE setAnonImage)
    Q_PROPERTY(QCheckBox* nsfwImage READ nsfwImage WRITE setNsfwImage)
    Q_PROPERTY(QCheckBox* privFile READ privFile WRITE setPrivFile)
    Q_PROPERTY(QCheckBox* anonFile READ anonFile WRITE setAnonFile)
    Q_PROPERTY(QCheckBox* privPaste READ privPaste WRITE setPrivPaste)
    Q_PROPERTY(QCheckBox* anonPaste READ anonPaste WRITE setAnonPaste)
    Q_PROPERTY(QPushButton* savedusername READ savedusername WRITE setSavedusername)
    Q_PROPERTY(QPushButton* savedapikey READ savedapikey WRITE setSavedapikey)
    Q_PROPERTY(QPushButton* savedpath READ savedpath WRITE setSavedpath)
    Q_PROPERTY(QPushButton* imageUploadButton READ imageUploadButton WRITE setImageUploadButton)
    Q_PROPERTY(QPushButton* fileUploadButton READ fileUploadButton WRITE setFileUploadButton)
    Q_PROPERTY(QPushButton* pasteUploadButton READ pasteUploadButton WRITE setPasteUploadButton)
    Q_PROPERTY(
        QWidget* fileSelectedBackground READ fileSelectedBackground WRITE setFileSelectedBackground)
    Q_PROPERTY(QWidget* fileSelectedBackgroundCorner1 READ fileSelectedBackgroundCorner1 WRITE
                   setFileSelectedBackgroundCorner1)
    Q_PROPERTY(QWidget* fileSelectedBackgroundCorner2 READ fileSelectedBackgroundCorner2 WRITE
                   setFileSelectedBackgroundCorner2)
    Q_PROPERTY(QWidget* fileSelectedBackgroundCorner3 READ fileSelectedBackgroundCorner3 WRITE
                   setFileSelectedBackgroundCorner3)
    Q_PROPERTY(QWidget* imageSelectedBackground READ imageSelectedBackground WRITE
                   setImageSelectedBackground)
    Q_PROPERTY(QWidget* pasteSelectedBackground READ pasteSelectedBackground WRITE
                   setPasteSelectedBackground)
    Q_PROPERTY(QWidget* pasteSelectedBackgroundCorner1 READ pasteSelectedBackgroundCorner1 WRITE
                   setPasteSelectedBackgroundCorner1)
    Q_PROPERTY(QWidget* pasteSelectedBackgroundCorner2 READ pasteSelectedBackgroundCorner2 WRITE
                   setPasteSelectedBackgroundCorner2)
    Q_PROPERTY(QWidget* pasteSelectedBackgroundCorner3 READ pasteSelectedBackgroundCorner3 WRITE
                   setPasteSelectedBackgroundCorner3)
    Q_PROPERTY(QPushButton* filePageButton READ filePageButton WRITE setFilePageButton)
    Q_PROPERTY(QPushButton* imagePageButton READ imagePageButton WRITE setImagePageButton)
    Q_PROPERTY(QPushButton* pastePageButton READ pastePageButton WRITE setPastePageButton)
    Q_PROPERTY(QPushButton* filePageButton2 READ filePageButton2 WRITE setFilePageButton2)
    Q_PROPERTY(QPushButton* imagePageButton2 READ imagePageButton2 WRITE setImagePageButton2)
    Q_PROPERTY(QPushButton* pastePageButton2 READ pastePageButton2 WRITE setPastePageButton2)
    Q_PROPERTY(QPushButton* filePageButton3 READ filePageButton3 WRITE setFilePageButton3)
    Q_PROPERTY(QPushButton* imagePageButton3 READ imagePageButton3 WRITE setImagePageButton3)
    Q_PROPERTY(QPushButton* pastePageButton3 READ pastePageButton3 WRITE setPastePageButton3)
    Q_PROPERTY(QPushButton* fileSelectButton READ fileSelectButton WRITE setFileSelectButton)
    Q_PROPERTY(QPushButton* imageSelectButton READ imageSelectButton WRITE setImageSelectButton)
    Q_PROPERTY(QWidget* pasteBorder READ pasteBorder WRITE setPasteBorder)
    Q_PROPERTY(QWidget* languageBorder READ languageBorder WRITE setLanguageBorder)
    Q_PROPERTY(QWidget* languageBackground READ languageBackground WRITE setLanguageBackground)
    Q_PROPERTY(QLineEdit* username READ username WRITE setUsername)
    Q_PROPERTY(QLineEdit* password READ password WRITE setPassword)
    Q_PROPERTY(QLabel* loginResponse READ loginResponse WRITE setLoginResponse)
    Q_PROPERTY(QMenu* loginEnabled READ loginEnabled WRITE setLoginEnabled)
    Q_PROPERTY(QPushButton* selectButton READ selectButton WRITE setSelectButton)
    Q_PROPERTY(QPushButton* imageIcon READ imageIcon WRITE setImageIcon)
    Q_PROPERTY(QPushButton* selectButton2 READ selectButton2 WRITE setSelectButton2)

    FERRODOCK_OUTLET(QMainWindow, window, setWindow)
    FERRODOCK_OUTLET(QWidget, mainView, setMainView)
    FERRODOCK_OUTLET(QWidget, imageView, setImageView)
    FERRODOCK_OUTLET(QWidget, fileView, setFileView)
    FERRODOCK_OUTLET(QWidget, pasteView, setPasteView)
    FERRODOCK_OUTLET(QDialog, loginWindow, setLoginWindow)
    FERRODOCK_OUTLET(QAction, logout, setLogout)
    FERRODOCK_OUTLET(QAction, login, setLogin)
    FERRODOCK_OUTLET(QLabel, bgImage, setBgImage)
    FERRODOCK_OUTLET(QPlainTextEdit, pasteData, setPasteData)
    FERRODOCK_OUTLET(QPushButton, pasteOutput, setPasteOutput)
    FERRODOCK_OUTLET(QPushButton, imageOutput, setImageOutput)
    FERRODOCK_OUTLET(QPushButton, fileOutput, setFileOutput)
    FERRODOCK_OUTLET(QComboBox, language, setLanguage)
    FERRODOCK_OUTLET(QCheckBox, privImage, setPrivImage)
    FERRODOCK_OUTLET(QCheckBox, anonImage, setAnonImage)
    FERRODOCK_OUTLET(QCheckBox, nsfwImage, setNsfwImage)
    FERRODOCK_OUTLET(QCheckBox, privFile, setPrivFile)
    FERRODOCK_OUTLET(QCheckBox, anonFile, setAnonFile)
    FERRODOCK_OUTLET(QCheckBox, privPaste, setPrivPaste)
    FERRODOCK_OUTLET(QCheckBox, anonPaste, setAnonPaste)
    FERRODOCK_OUTLET(QPushButton, savedusername, setSavedusername)
    FERRODOCK_OUTLET(QPushButton, savedapikey, setSavedapikey)
    FERRODOCK_OUTLET(QPushButton, savedpath, setSavedpath)
    FERRODOCK_OUTLET(QPushButton, imageUploadButton, setImageUploadButton)
    FERRODOCK_OUTLET(QPushButton, fileUploadButton, setFileUploadButton)
    FERRODOCK_OUTLET(QPushButton, pasteUploadButton, setPasteUploadButton)
    FERRODOCK_OUTLET(QWidget, fileSelectedBackground, setFileSelectedBackground)
    FERRODOCK_OUTLET(QWidget, fileSelectedBackgroundCorner1, setFileSelectedBackgroundCorner1)
    FERRODOCK_OUTLET(QWidget, fileSelectedBackgroundCorner2, setFileSelectedBackgroundCorner2)
    FERRODOCK_OUTLET(QWidget, fileSelectedBackgroundCorner3, setFileSelectedBackgroundCorner3)
    FERRODOCK_OUTLET(QWidget, imageSelectedBackground, setImageSelectedBackground)
    FERRODOCK_OUTLET(QWidget, pasteSelectedBackground, setPasteSelectedBackground)
    FERRODOCK_OUTLET(QWidget, pasteSelectedBackgroundCorner1, setPasteSelectedBackgroundCorner1)
    FERRODOCK_OUTLET(QWidget, pasteSelectedBackgroundCorner2, setPasteSelectedBackgroundCorner2)
    FERRODOCK_OUTLET(QWidget, pasteSelectedBackgroundCorner3, setPasteSelectedBackgroundCorner3)
    FERRODOCK_OUTLET(QPushButton, filePageButton, setFilePageButton)
    FERRODOCK_OUTLET(QPushButton, imagePageButton, setImagePageButton)
    FERRODOCK_OUTLET(QPushButton, pastePageButton, setPastePageButton)
    FERRODOCK_OUTLET(QPushButton, filePageButton2, setFilePageButton2)
    FERRODOCK_OUTLET(QPushButton, imagePageButton2, setImagePageButton2)
    FERRODOCK_OUTLET(QPushButton, pastePageButton2, setPastePageButton2)
    FERRODOCK_OUTLET(QPushButton, filePageButton3, setFilePageButton3)
    FERRODOCK_OUTLET(QPushButton, imagePageButton3, setImagePageButton3)
    FERRODOCK_OUTLET(QPushButton, pastePageButton3, setPastePageButton3)
    FERRODOCK_OUTLET(QPushButton, fileSelectButton, setFileSelectButton)
    FERRODOCK_OUTLET(QPushButton, imageSelectButton, setImageSelectButton)
    FERRODOCK_OUTLET(QWidget, pasteBorder, setPasteBorder)
    FERRODOCK_OUTLET(QWidget, languageBorder, setLanguageBorder)
    FERRODOCK_OUTLET(QWidget, languageBackground, setLanguageBackground)
    FERRODOCK_OUTLET(QLineEdit, username, setUsername)
    FERRODOCK_OUTLET(QLineEdit, password, setPassword)
    FERRODOCK_OUTLET(QLabel, loginResponse, setLoginResponse)
    FERRODOCK_OUTLET(QMenu, loginEnabled, setLoginEnabled)
    FERRODOCK_OUTLET(QPushButton, selectButton, setSelectButton)
    FERRODOCK_OUTLET(QPushButton, imageIcon, setImageIcon)
    FERRODOCK_OUTLET(QPushButton, selectButton2, setSelectButton2)
public:
    AppDelegate() = default;
    ~AppDelegate() override = default;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Toolkit callbacks.
    void applicationDidFinishLaunching();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    // Handed in by whoever builds the window, for the delegate's lifetime.
    Transport* transport = nullptr;
    OpenPanel* openPanel = nullptr;
    DesktopNotices* notices = nullptr;

    // Chooses `path` for the next image (`forImage`) or file upload, as a confirmed open panel
    // or a drop does.
    void choosePath(const QString& path, bool forImage);

public Q_SLOTS:
    // Actions. Each takes the widget that sent it, which none of them reads.
    void loginPushed(QObject* sender);
    void switchFile(QObject* sender);
    void switchImage(QObject* sender);
    void switchPaste(QObject* sender);
    void logout(QObject* sender);
    void pastePushed(QObject* sender);
    void selectImages(QObject* sender);
    void imagePushed(QObject* sender);
    void selectImages2(QObject* sender);
    void filePushed(QObject* sender);
    void fileLinkPushed(QObject* sender);
    void imageLinkPushed(QObject* sender);
    void pasteLinkPushed(QObject* sender);

    // A file dropped on the Image or File page, chosen as the open panel would choose it.
    void imageDropped(const QString& path);
    void fileDropped(const QString& path);

private:
    void showPage(QWidget* page);
    void applyTheme();
    void chooseFile(bool forImage);
    void uploadChosenFile(bool forImage);
    QString chosenPath(bool forImage) const;  // what the page shows as chosen, or ""
    void resetChooser(bool forImage);         // back to the hint, nothing chosen on that page
    bool copyLink(QPushButton* linkButton, qsizetype addressLength);
    void prepareLoginWindow();
};

}  // namespace ferrodock
