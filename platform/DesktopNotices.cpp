#include "platform/DesktopNotices.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

#include <utility>

namespace ferrodock {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kCopyAction = QStringLiteral("copy");

// What each shown notification copies when its action is invoked, by the server's id.
class NoticeActions final : public QObject {
    Q_OBJECT
public:
    NoticeActions(std::function<void(const QString&)> copy, QObject* parent)
        : QObject(parent), copy_(std::move(copy)) {}
    QHash<uint, QString> copyTexts;

public Q_SLOTS:
    void invoked(uint id, const QString& action) {
        if (action == kCopyAction && copyTexts.contains(id)) copy_(copyTexts.value(id));
    }
    void closed(uint id, uint) { copyTexts.remove(id); }

private:
    std::function<void(const QString&)> copy_;
};

class BusNotices final : public DesktopNotices {
public:
    BusNotices(const QString& desktopFileName, const QString& appName,
               std::function<void(const QString&)> copy)
        : entry_(desktopFileName),
          appName_(appName),
          appUri_(QStringLiteral("application://") + desktopFileName + QStringLiteral(".desktop")),
          copy_(std::move(copy)) {}

    void notify(const QString& summary, const QString& body, const QString& copyText) override {
        QDBusConnection bus = connectedBus();
        if (!bus.isConnected()) return;
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), entry_);
        const bool copies = !copyText.isEmpty() && actions_;
        const QStringList actions =
            copies ? QStringList{kCopyAction, QStringLiteral("Copy Address")} : QStringList();
        call << appName_ << 0u << entry_ << summary << body << actions << hints << -1;
        if (!copies) {
            bus.send(call);  // nothing waits for the notification's id
            return;
        }
        // The id names the notification in ActionInvoked; it comes back without blocking.
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), actions_);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, actions_,
                         [actions = actions_, copyText](QDBusPendingCallWatcher* finished) {
                             const QDBusPendingReply<uint> reply = *finished;
                             if (!reply.isError())
                                 actions->copyTexts.insert(reply.value(), copyText);
                             finished->deleteLater();
                         });
    }

    void showProgress(std::optional<double> fraction) override {
        QDBusConnection bus = connectedBus();
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
    // The session bus; the first time, it also listens for the notifications' actions.
    QDBusConnection connectedBus() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (std::exchange(listening_, true) || !bus.isConnected() || !QCoreApplication::instance())
            return bus;
        actions_ = new NoticeActions(copy_, QCoreApplication::instance());
        bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), actions_,
                    SLOT(invoked(uint, QString)));
        bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), actions_,
                    SLOT(closed(uint, uint)));
        return bus;
    }

    QString entry_;
    QString appName_;
    QString appUri_;
    std::function<void(const QString&)> copy_;
    QPointer<NoticeActions> actions_;
    bool listening_ = false;
};

}  // namespace

std::unique_ptr<DesktopNotices> makeBusNotices(const QString& desktopFileName,
                                               const QString& appName,
                                               std::function<void(const QString&)> copy) {
    return std::make_unique<BusNotices>(desktopFileName, appName, std::move(copy));
}

}  // namespace ferrodock

#include "DesktopNotices.moc"
