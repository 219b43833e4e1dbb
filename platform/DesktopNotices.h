#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace ferrodock {

// What the desktop shows outside the window: notifications, and the overall progress on the
// application's taskbar or dock entry. Without a desktop to show them, calls do nothing.
class DesktopNotices {
public:
    virtual ~DesktopNotices() = default;
    // With `copyText`, the notification offers "Copy Address", which puts that text on the
    // clipboard.
    virtual void notify(const QString& summary, const QString& body, const QString& copyText) = 0;
    // `fraction` in [0, 1], or none to hide the progress.
    virtual void showProgress(std::optional<double> fraction) = 0;
};

// Over the session bus: org.freedesktop.Notifications, and the launcher-entry signal that
// docks and taskbars read, for the desktop entry `desktopFileName` (without ".desktop"), whose
// icon has the same name; notifications come from `appName`, and "Copy Address" hands its
// text to `copy`. Never blocks; with no session bus, nothing is sent. May be made before the
// application object: the bus is first used with the first notice.
std::unique_ptr<DesktopNotices> makeBusNotices(const QString& desktopFileName,
                                               const QString& appName,
                                               std::function<void(const QString&)> copy);

}  // namespace ferrodock
