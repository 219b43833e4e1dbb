#pragma once

#include <QString>

#include <memory>

class QDialog;
class QMainWindow;
class QObject;

namespace ferrodock {

// The windows built from the interface description. The main window owns the page views,
// parked while not shown. The login window is a window of its own, so that whichever of the
// two is closed last ends the application.
struct Interface {
    std::unique_ptr<QMainWindow> mainWindow;
    std::unique_ptr<QDialog> loginWindow;
};

// Makes the interface's resources (pictures, icons, the style sheet) readable under ":/".
// buildInterface() does it too.
void registerInterfaceResources();

// Builds the windows from resources/ (the main window, the three page views, the login window).
Interface buildInterface();

// Connects every outlet property of `delegate` to the one object of the interface whose name
// is the outlet's, and every widget marked with a "sends" property to the delegate's slot of
// that name. Returns an empty string on success, otherwise what is wrong, naming the widget;
// then the interface must not be used.
QString connectInterface(QObject& delegate, const Interface& interface);

}  // namespace ferrodock
