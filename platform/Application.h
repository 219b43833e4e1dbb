#pragma once

class QApplication;

namespace ferrodock {

// The toolkit's look for everything the delegate does not paint: Fusion with a dark palette,
// so the application looks the same on every desktop.
void applyToolkitStyle(QApplication& app);

// Runs ferrodock: builds the interface, connects it to the delegate, calls
// applicationDidFinishLaunching and runs the event loop. Returns the exit code; refuses to
// start (exit code 1, with a message on standard error) when the interface does not fit.
int runApplication(int argc, char** argv);

}  // namespace ferrodock
