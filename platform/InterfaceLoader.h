#pragma once

#include <QString>

#include <memory>

class QDialog;
class QMainWindow;
class QObject;

namespace ferrodock {

// The windows built from the interface description. The main window owns the page views
// (parked while not shown) and the login window, so they all live as long as it does.
struct Interface {
    std::unique_ptr<QMainWindow> mainWindow;
    QDialog* loginWindow = nullptr;
};

// Builds the windows from resources/ (the main window, the three page views, the login window).
Interface buildInterface();

// Connects every outlet property of `delegate` to the one object of the interface whose name
// is the outlet's, and every widget marked with a "sends" property to the delegate's slot of
// that name. Returns an empty string on success, otherwise what is wrong, naming the widget;
// then the interface must not be used.
QString connectInterface(QObject& delegate, const Interface& interface);

}  // namespace ferrodock
