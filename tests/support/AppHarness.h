#pragma once

#include "core/HistoryStore.h"
#include "core/Session.h"
#include "platform/DesktopNotices.h"
#include "support/FakeTransport.h"
#include "support/ScriptedPanel.h"
#include "window/LoginDialog.h"
#include "window/MainWindow.h"

#include <QAbstractButton>
#include <QList>
#include <QTemporaryDir>

#include <memory>

namespace ferrodock::test {

// A private home folder for one test: HOME points at a fresh temporary folder with an empty
// Documents folder in it, so the session file never touches the real one.
class TestHome {
public:
    TestHome();
    ~TestHome();
    QString path() const { return dir_.path(); }
    QString documents() const { return dir_.path() + QStringLiteral("/Documents"); }
    QString sessionFile() const { return documents() + QStringLiteral("/ferrodock.data"); }
    void writeSession(const QByteArray& bytes) const;

private:
    QTemporaryDir dir_;
    QByteArray oldHome_;
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

// The real window over `transport`, with a scripted chooser, in a home of its own.
class AppHarness {
public:
    explicit AppHarness(std::unique_ptr<Transport> transport);
    virtual ~AppHarness();

    // Loads the session as the program does, makes the window and shows it.
    void start();

    // A widget, menu item or action of the window or the login window.
    template <typename T>
    T* find(const QString& name) const {
        T* found = window->findChild<T*>(name);
        return found ? found : window->loginDialog()->findChild<T*>(name);
    }
    // Presses a button the way a person does.
    void press(QAbstractButton* button);
    // Chooses `path` through the scripted chooser and the page's choose button.
    void choose(const QString& path, bool forImage);

    TestHome home;
    std::unique_ptr<Transport> transport;
    ScriptedPanel panel;
    Notices notices;
    Session session;
    HistoryStore history;  // in the home above
    std::unique_ptr<MainWindow> window;
};

// The window over a fake transport; `saved` is what the session file holds at start.
class FakeApp : public AppHarness {
public:
    explicit FakeApp(const QByteArray& saved = {});
    // A page's buttons, the page named "file", "image" or "paste".
    QPushButton* link(const QString& page) const { return button(page + QLatin1String("Output")); }
    QPushButton* upload(const QString& page) const {
        return button(page + QLatin1String("UploadButton"));
    }
    QPushButton* button(const QString& name) const { return find<QPushButton>(name); }

    FakeTransport* net;
};

// A button's text as the program reads it.
QString titleOf(const QAbstractButton* button);

}  // namespace ferrodock::test
