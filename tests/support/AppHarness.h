#pragma once

// Every suite's base: the window's harness and its fakes, with Qt Test and Qt Widgets whole.

#include "core/HistoryStore.h"
#include "core/ScratchFolder.h"
#include "core/Session.h"
#include "desktop/OpenPanel.h"
#include "desktop/ScreenCapture.h"
#include "platform/DesktopNotices.h"
#include "support/FakeTransport.h"
#include "support/Files.h"
#include "window/FittedText.h"
#include "window/LoginDialog.h"
#include "window/MainWindow.h"
#include "window/Theme.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace ferrodock::test {

// A private home folder for one test: HOME points at a fresh temporary folder with an empty
// Documents folder in it, so the session file never touches the real one; `saved` is what the
// session file holds, when anything.
class TestHome {
public:
    explicit TestHome(const QByteArray& saved = {}) : oldHome_(qgetenv("HOME")) {
        qputenv("HOME", dir_.path().toUtf8());
        qunsetenv("XDG_CONFIG_HOME"), qunsetenv("XDG_DATA_HOME");
        if (!QDir(dir_.path()).mkdir(QStringLiteral("Documents"))) qFatal("no temporary home");
        if (!saved.isEmpty()) makeFile(documents(), QStringLiteral("ferrodock.data"), saved);
    }
    ~TestHome() { qputenv("HOME", oldHome_); }
    QString path() const { return dir_.path(); }
    QString documents() const { return dir_.path() + QStringLiteral("/Documents"); }
    QString sessionFile() const { return documents() + QStringLiteral("/ferrodock.data"); }

private:
    QTemporaryDir dir_;
    QByteArray oldHome_;
};

// A chooser that answers from a script instead of asking a person.
struct ScriptedPanel final : OpenPanel {
    OpenPanelAnswer runModal(const OpenPanelSettings& s, QWidget*) override {
        asked =
            s.title + '|' + s.prompt + '|' + s.allowedFileTypes.value_or(QStringList()).join(' ');
        return answers.isEmpty() ? OpenPanelAnswer{} : answers.takeFirst();
    }
    QList<OpenPanelAnswer> answers;
    QString asked;  // what the last run showed: title, prompt and types
};

// What the window tells the desktop, kept.
struct Notices final : DesktopNotices {
    void notify(const QString& head, const QString& body, const QString& copy) override {
        shown << head + QStringLiteral(": ") + body +
                     (copy.isEmpty() ? QString() : QStringLiteral(" [") + copy + u']');
    }
    void showProgress(std::optional<double> fraction) override { progress = fraction; }
    QStringList shown;
    std::optional<double> progress = 0.5;
};

// The real window over `transport`, a fake one by default, with a scripted chooser, in a home of
// its own; `saved` is what the session file holds at start.
class TestApp {
public:
    explicit TestApp(const QByteArray& saved = {},
                     std::unique_ptr<Transport> over = std::make_unique<FakeTransport>())
        : home(saved),
          transport(std::move(over)),
          net(dynamic_cast<FakeTransport*>(transport.get())) {
        configureApplication(*qApp);
        window = std::make_unique<MainWindow>(
            Services{*transport, panel, notices, session, history, scratch, capture});
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) qFatal("the window did not show");
    }
    // The window goes first: nothing it started may reach it once the transport is gone.
    virtual ~TestApp() { window.reset(); }

    // A widget, menu item or action of the window or the login window, made if need be.
    template <typename T>
    T* find(const QString& name) const {
        T* found = window->findChild<T*>(name);
        if (!found) window->filePage(), window->pastePage(), found = window->findChild<T*>(name);
        return found ? found : window->loginDialog()->findChild<T*>(name);
    }
    // A page's buttons, the page named "file", "image" or "paste".
    QPushButton* link(const QString& page) const { return button(page + "Output"); }
    QPushButton* upload(const QString& page) const { return button(page + "UploadButton"); }
    QPushButton* button(const QString& name) const { return find<QPushButton>(name); }
    // Chooses `path` through the scripted chooser and the page's choose button.
    void choose(const QString& path, bool forImage) {
        panel.answers.append({true, {QUrl::fromLocalFile(path)}});
        button(forImage ? "selectButton" : "selectButton2")->click();
    }

    TestHome home;
    std::unique_ptr<Transport> transport;
    FakeTransport* net;  // when the transport is the fake
    ScriptedPanel panel;
    Notices notices;
    Session session;
    HistoryStore history;  // in the home above
    ScratchFolder scratch{home.path() + QStringLiteral("/scratch")};
    ScreenCapture capture{scratch};
    std::unique_ptr<MainWindow> window;
};

}  // namespace ferrodock::test
