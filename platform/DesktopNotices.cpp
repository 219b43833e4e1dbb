#include "platform/DesktopNotices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

namespace ferrodock {

namespace {

class BusNotices final : public DesktopNotices {
public:
    explicit BusNotices(const QString& desktopFileName)
        : entry_(desktopFileName),
          appUri_(QStringLiteral("application://") + desktopFileName + QStringLiteral(".desktop")) {
    }

    void notify(const QString& summary, const QString& body) override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), entry_);
        call << QGuiApplication::applicationDisplayName() << 0u << QString() << summary << body
             << QStringList() << hints << -1;
        // The answer (the notification's id) is not needed; nothing waits for it.
        call.setAutoStartService(true);
        bus.send(call);
    }

    void showProgress(std::optional<double> fraction) override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return;
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/net/ferrodock/Ferrodock"),
            QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
        QVariantMap properties;
        properties.insert(QStringLiteral("progress-visible"), fraction.has_value());
        properties.insert(QStringLiteral("progress"), fraction.value_or(0.0));
        signal << appUri_ << properties;
        bus.send(signal);
    }

private:
    QString entry_;
    QString appUri_;
};

std::unique_ptr<DesktopNotices>& slot() {
    static std::unique_ptr<DesktopNotices> notices;
    return notices;
}

}  // namespace

std::unique_ptr<DesktopNotices> makeBusNotices(const QString& desktopFileName) {
    return std::make_unique<BusNotices>(desktopFileName);
}

DesktopNotices& sharedNotices() {
    if (!slot()) slot() = makeBusNotices(QGuiApplication::desktopFileName());
    return *slot();
}

void installSharedNotices(std::unique_ptr<DesktopNotices> notices) {
    slot() = std::move(notices);
}

}  // namespace ferrodock
