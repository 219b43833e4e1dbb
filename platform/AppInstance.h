#pragma once

// One window a session, over the session bus: the first window program takes the bus name
// (the application id) and serves org.freedesktop.Application at the object path; a later
// start hands its files to it and ends.

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace ferrodock {

class AppInstance final : public QObject {
    Q_OBJECT
public:
    // `bus` gives the connection once the application object exists; a disconnected one (no
    // session bus) makes every start run alone.
    AppInstance(std::function<QDBusConnection()> bus, const QString& appId,
                const QString& objectPath);
    ~AppInstance() override;

    // Serves the interface and takes the name: true when this start is the one that runs, also
    // when there is no bus; false when another instance holds the name.
    bool claim();
    // Open (with `uris`) or Activate on the instance holding the name, with `platformData`;
    // true once it has answered.
    bool handOver(const QStringList& uris, const QVariantMap& platformData);

    // What a start passes on for the window to take the focus: the Wayland activation token
    // and the X11 startup id, from this process's environment (read before Qt takes them).
    static QVariantMap platformDataFromEnvironment();
    // file: URIs of a program's file arguments, relative paths taken from `workingDir`.
    static QStringList fileUris(const QStringList& arguments, const QString& workingDir);

Q_SIGNALS:
    // A later start asked for the window, with the files to open (none for Activate).
    void opened(const QStringList& uris, const QVariantMap& platformData);

private:
    std::function<QDBusConnection()> bus_;
    QString appId_;
    QString objectPath_;
};

}  // namespace ferrodock
