#pragma once

#include "app/Application.h"
#include "platform/OpenPanel.h"
#include "support/FakeTransport.h"
#include "support/ScriptedPanel.h"

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

// The real interface, connected to a real delegate, with a scripted chooser and the desktop's
// notices handed in.
class AppHarness {
public:
    AppHarness();
    ~AppHarness();

    void start();  // applicationDidFinishLaunching(), then shows the main window

    template <typename T>
    T* widget(const char* name) const {
        return interface.mainWindow->findChild<T*>(QLatin1String(name));
    }
    // Presses a button the way a person does.
    void press(QAbstractButton* button);
    // Chooses `path` through the scripted chooser and the page's choose button.
    void choose(const QString& path, bool forImage);

    TestHome home;

private:
    std::unique_ptr<ConnectedInterface> connected_;
    std::unique_ptr<DesktopNotices> notices_;
    std::unique_ptr<ScriptedPanel> panel_ = std::make_unique<ScriptedPanel>();

public:
    AppDelegate& delegate;
    Interface& interface;
    ScriptedPanel* panel = panel_.get();
};

// The real interface with a fake transport for its lifetime; `session` is what the
// session file holds at start.
class FakeApp : public AppHarness {
public:
    explicit FakeApp(const QByteArray& session = {});
    // A page's buttons, the page named "file", "image" or "paste".
    QPushButton* link(const QString& page) const { return button(page + QLatin1String("Output")); }
    QPushButton* upload(const QString& page) const {
        return button(page + QLatin1String("UploadButton"));
    }
    QPushButton* button(const QString& name) const {
        return interface.mainWindow->findChild<QPushButton*>(name);
    }

    // Handed in before start, gone before the window goes.
    std::unique_ptr<FakeTransport> net = std::make_unique<FakeTransport>();
};

// A button's title as the program reads it.
QString titleOf(const QAbstractButton* button);

}  // namespace ferrodock::test
