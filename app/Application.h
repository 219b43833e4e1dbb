#pragma once

// The window's composition root: the application object, the Session, and the window put
// together with what the program hands it. The program starts the window here, and so do the
// benchmarks; the tests' harness puts the same pieces together around its fakes.

#include "core/Transport.h"
#include "desktop/OpenPanel.h"
#include "platform/AppInstance.h"
#include "platform/DesktopNotices.h"

#include <memory>

namespace ferrodock {

// What the program hands the window: the transport to the service, the chooser, the
// desktop's notices and, when there is to be one window a session, the instance on the bus.
// They outlive the window, which goes first.
struct WindowParts {
    std::unique_ptr<Transport> transport;
    std::unique_ptr<OpenPanel> openPanel;
    std::unique_ptr<DesktopNotices> notices;
    std::unique_ptr<AppInstance> instance;
};

// The desktop's notices as the program shows them: from "ferrodock", for its desktop entry,
// "Copy Address" putting the address on the clipboard.
std::unique_ptr<DesktopNotices> desktopNotices();

// The instance on the session bus under the application id.
std::unique_ptr<AppInstance> sessionInstance();

// Runs ferrodock's window and its event loop; returns the exit code. Without a display to open
// the window on it says so on standard error and returns 1. After "open", the arguments are
// files to choose; when another instance holds the bus name, they are handed to it instead
// and the run ends with 0.
int runApplication(int argc, char** argv, const WindowParts& parts);

}  // namespace ferrodock
