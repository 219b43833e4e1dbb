#include "desktop/ScreenCapture.h"

#include "core/ScratchFolder.h"

#include <QBuffer>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <optional>
#include <utility>

namespace ferrodock {

namespace {

Q_LOGGING_CATEGORY(lcCapture, "ferrodock.capture", QtInfoMsg)

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenshot = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// Hiding only asks the X server to unmap the window, and a compositor may still fade it out
// after that; neither says when the screen is drawn without it, so the grab waits this long.
constexpr int kHiddenMs = 400;

// How the portal names the window its dialog belongs to.
QString parentHandle(QWidget* window) {
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb")) return {};
    return QStringLiteral("x11:") + QString::number(window->window()->winId(), 16);
}

}  // namespace

ScreenCapture::ScreenCapture(ScratchFolder& scratch, QObject* parent)
    : QObject(parent), scratch_(scratch) {}

ScreenCapture::~ScreenCapture() {
    closeRequest();
}

// Reading the portal's Screenshot version answers all at once whether there is a session bus,
// whether the portal runs or can be started, and whether it captures screens.
void ScreenCapture::probe() {
    if (way_ != Way::Unknown || std::exchange(probing_, true)) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return decide(false);
    QDBusMessage get = QDBusMessage::createMethodCall(
        kPortal, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kScreenshot << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                decide(!finished->isError());
            });
}

void ScreenCapture::decide(bool portal) {
    if (portal)
        way_ = Way::Portal;
    else
        way_ = QGuiApplication::platformName() == QLatin1String("xcb") ? Way::Grab : Way::None;
    Q_EMIT decided();
    if (std::exchange(waiting_, false)) capture(window_);
}

QString ScreenCapture::unavailableReason() const {
    return available() ? QString() : QStringLiteral("No screenshot service on this desktop.");
}

void ScreenCapture::capture(QWidget* window) {
    window_ = window;
    switch (way_) {
        case Way::Unknown:
            waiting_ = true;
            return probe();
        case Way::Portal:
            return askPortal();
        case Way::Grab:
            return grabScreen();
        case Way::None:
            return;
    }
}

// The portal answers on a Request object whose path it makes from the caller's bus name and
// the token: listening there before asking catches an answer sent before the call returns.
void ScreenCapture::askPortal() {
    closeRequest();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = QStringLiteral("ferrodock%1").arg(++tokens_);
    request_ = kPortalPath + QStringLiteral("/request/") +
               bus.baseService().mid(1).replace(u'.', u'_') + u'/' + token;
    listen(request_, true);
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kScreenshot,
                                                       QStringLiteral("Screenshot"));
    call << parentHandle(window_)
         << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("interactive"), true}};
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, asked = request_](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (request_ != asked) return;  // answered already, or replaced
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (reply.isError()) {
                    qCWarning(lcCapture) << "screenshot portal:" << reply.error().message();
                    listen(request_, false);
                    request_.clear();
                    return Q_EMIT failed();
                }
                // A portal older than handle tokens names the request its own way.
                if (reply.value().path() != request_) {
                    listen(request_, false);
                    request_ = reply.value().path();
                    listen(request_, true);
                }
            });
}

void ScreenCapture::listen(const QString& request, bool on) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const char* slot = SLOT(responded(uint, QVariantMap));
    if (on)
        bus.connect(kPortal, request, kRequest, QStringLiteral("Response"), this, slot);
    else
        bus.disconnect(kPortal, request, kRequest, QStringLiteral("Response"), this, slot);
}

// Ends a request the portal has not answered, with any dialog it still shows.
void ScreenCapture::closeRequest() {
    if (request_.isEmpty()) return;
    listen(request_, false);
    QDBusConnection::sessionBus().send(
        QDBusMessage::createMethodCall(kPortal, request_, kRequest, QStringLiteral("Close")));
    request_.clear();
}

// 0: captured, 1: cancelled by the person, anything else: failed.
void ScreenCapture::responded(uint response, const QVariantMap& results) {
    listen(request_, false);
    request_.clear();
    if (response == 1) return;
    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    if (response != 0 || !uri.isLocalFile()) {
        qCWarning(lcCapture) << "screenshot portal answered" << response << uri;
        return Q_EMIT failed();
    }
    Q_EMIT captured(uri.toLocalFile());
}

void ScreenCapture::grabScreen() {
    if (!window_ || std::exchange(grabbing_, true)) return;
    window_->window()->hide();
    QTimer::singleShot(kHiddenMs, this, [this] {
        grabbing_ = false;
        QWidget* window = window_ ? window_->window() : nullptr;
        QScreen* screen = window ? window->screen() : QGuiApplication::primaryScreen();
        const QImage shot = screen ? screen->grabWindow(0).toImage() : QImage();
        if (window) {
            window->show();
            window->raise();
            window->activateWindow();
        }
        QByteArray png;
        QBuffer buffer(&png);
        QString error = QStringLiteral("nothing grabbed");
        std::optional<QString> path;
        if (!shot.isNull() && buffer.open(QIODevice::WriteOnly) && shot.save(&buffer, "PNG"))
            path = scratch_.write(QStringLiteral("Screen capture.png"), png, &error);
        if (!path) {
            qCWarning(lcCapture) << "screen grab:" << error;
            return Q_EMIT failed();
        }
        // The page that chooses it removes it once it is done with it.
        Q_EMIT captured(*path);
    });
}

}  // namespace ferrodock
