#include "platform/AppInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QUrl>

namespace ferrodock {

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Application");
// How long a later start waits for the running window to answer before opening its own.
constexpr int kAnswerLimitMs = 10000;

// org.freedesktop.Application as the bus sees it; the actions are none, so an action only
// brings the window to the front.
class ApplicationInterface final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationInterface(AppInstance* instance) : QObject(instance), instance_(instance) {}

public Q_SLOTS:
    void Activate(const QVariantMap& platformData) { Q_EMIT instance_->opened({}, platformData); }
    void Open(const QStringList& uris, const QVariantMap& platformData) {
        Q_EMIT instance_->opened(uris, platformData);
    }
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap& platformData) {
        Q_EMIT instance_->opened({}, platformData);
    }

private:
    AppInstance* instance_;
};

}  // namespace

AppInstance::AppInstance(std::function<QDBusConnection()> bus, const QString& appId,
                         const QString& objectPath)
    : bus_(std::move(bus)), appId_(appId), objectPath_(objectPath) {}

AppInstance::~AppInstance() = default;

bool AppInstance::claim() {
    QDBusConnection bus = bus_();
    if (!bus.isConnected() || !bus.interface()) return true;
    // Served before the name is taken, so a later start never finds the name without it.
    auto* served = new ApplicationInterface(this);
    if (!bus.registerObject(objectPath_, served, QDBusConnection::ExportAllSlots)) {
        delete served;
        return true;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(appId_, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return true;
    bus.unregisterObject(objectPath_);
    delete served;
    // Not had for another reason than an owner: this start runs alone.
    return !bus.interface()->isServiceRegistered(appId_).value();
}

bool AppInstance::handOver(const QStringList& uris, const QVariantMap& platformData) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        appId_, objectPath_, kInterface,
        uris.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!uris.isEmpty()) call << uris;
    call << platformData;
    return bus_().call(call, QDBus::Block, kAnswerLimitMs).type() == QDBusMessage::ReplyMessage;
}

QVariantMap AppInstance::platformDataFromEnvironment() {
    QVariantMap data;
    if (const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN"); !token.isEmpty())
        data.insert(QStringLiteral("activation-token"), token);
    if (const QString id = qEnvironmentVariable("DESKTOP_STARTUP_ID"); !id.isEmpty())
        data.insert(QStringLiteral("desktop-startup-id"), id);
    return data;
}

QStringList AppInstance::fileUris(const QStringList& arguments, const QString& workingDir) {
    QStringList uris;
    for (const QString& argument : arguments) {
        if (argument.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
            uris << argument;
        } else if (!argument.isEmpty()) {
            // ".." stays for the kernel to walk, as it would for the caller.
            uris << QUrl::fromLocalFile(QDir(workingDir).absoluteFilePath(argument))
                        .toString(QUrl::FullyEncoded);
        }
    }
    return uris;
}

}  // namespace ferrodock

#include "AppInstance.moc"
