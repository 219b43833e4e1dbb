#pragma once

// The composition root: the one place that puts ferrodock together. Everything that starts the
// window (the program itself, the tests, the screenshot tool, the benchmarks) goes through here,
// so they all start it the same way.

#include "app/AppDelegate.h"
#include "core/Transport.h"
#include "platform/DesktopNotices.h"
#include "platform/InterfaceLoader.h"
#include "platform/OpenPanel.h"

#include <QString>

#include <memory>

class QApplication;

namespace ferrodock {

// Names the application, gives it its icon and its look.
void configureApplication(QApplication& app);

// The delegate connected to a freshly built interface.
class ConnectedInterface {
public:
    // Builds and connects; null (with `problem` saying what is wrong) when the interface does
    // not fit the delegate.
    static std::unique_ptr<ConnectedInterface> build(QString* problem);

    // applicationDidFinishLaunching(), then the main window goes on screen.
    void launch();

    // Declared first, so destroyed last: the widgets go while the delegate still exists.
    AppDelegate delegate;
    Interface interface;

private:
    ConnectedInterface() = default;
};

// What the program hands the window: the transport to the service, the chooser and the
// desktop's notices. The window holds them for its run; the transport goes first.
struct WindowParts {
    std::unique_ptr<Transport> transport;
    std::unique_ptr<OpenPanel> openPanel;
    std::unique_ptr<DesktopNotices> notices;
};

// Runs ferrodock's window: builds and connects the interface with `parts`, launches it and
// runs the event loop. Returns the exit code; refuses to start (exit code 1, with a message
// on standard error) when the interface does not fit.
int runApplication(int argc, char** argv, WindowParts parts);

}  // namespace ferrodock
