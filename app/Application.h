#pragma once

// The window's composition root: the one place that makes what the window works with and puts
// it together. The program starts the window here, and so do the benchmarks.

#include <functional>
#include <memory>

namespace ferrodock {

class OpenPanel;
class Transport;

// What a run may be started with instead of the real transport (HTTPS to the service) and the
// real open panel (Qt's file dialog).
struct WindowParts {
    std::function<std::unique_ptr<Transport>()> transport;
    std::function<std::unique_ptr<OpenPanel>()> openPanel;
};

// Runs ferrodock's window and its event loop; returns the exit code. Without a display to open
// the window on it says so on standard error and returns 1.
int runApplication(int argc, char** argv, const WindowParts& parts = {});

}  // namespace ferrodock
