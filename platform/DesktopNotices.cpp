#include "platform/DesktopNotices.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

namespace ferrodock {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kCopyAction = QStringLiteral("copy");

// What each shown notification copies when its action is invoked, by the server's id.
class NoticeActions final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    QHash<uint, QString> copyTexts;

public Q_SLOTS:
    void invoked(uint id, const QString& action) {
        if (action == kCopyAction && copyTexts.contains(id)) {
            QGuiApplication::clipboard()->clear();
            QGuiApplication::clipboard()->setText(copyTexts.value(id));
        }
    }
    void closed(uint id, uint) { copyTexts.remove(id); }
};

class BusNotices final : public DesktopNotices {
public:
    explicit BusNotices(const QString& desktopFileName)
        : entry_(desktopFileName),
          appUri_(QStringLiteral("application://") + desktopFileName + QStringLiteral(".desktop")) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || !QCoreApplication::instance()) return;
        actions_ = new NoticeActions(QCoreApplication::instance());
        bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), actions_,
                    SLOT(invoked(uint, QString)));
        bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), actions_,
                    SLOT(closed(uint, uint)));
    }

    void notify(const QString& summary, const QString& body, const QString& copyText) override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return;
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), entry_);
        const bool copies = !copyText.isEmpty() && actions_;
        const QStringList actions =
            copies ? QStringList{kCopyAction, QStringLiteral("Copy Address")} : QStringList();
        call << QGuiApplication::applicationDisplayName() << 0u << entry_ << summary << body
             << actions << hints << -1;
        call.setAutoStartService(true);
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
    QPointer<NoticeActions> actions_;
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

#include "DesktopNotices.moc"
