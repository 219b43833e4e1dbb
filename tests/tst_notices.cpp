// The desktop's notices over a private session bus, as a notification server and a dock see them.
#include "platform/DesktopNotices.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>

using namespace ferrodock;

// Stands in for the desktop: the notification server, and a dock that listens for its entry.
class Desktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QVariantList notified, updated;
public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        notified = {app, summary, body, hints.value("desktop-entry")};
        return 1;
    }
    void Update(const QString& uri, const QVariantMap& properties) {
        updated = {uri, properties.value("progress-visible"), properties.value("progress")};
    }
};

class NoticesTest : public QObject {
    Q_OBJECT
    QProcess daemon_;
private Q_SLOTS:
    void initTestCase() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        QVERIFY(daemon_.waitForReadyRead(20000));
        qputenv("DBUS_SESSION_BUS_ADDRESS", daemon_.readLine().trimmed());
    }
    void cleanupTestCase() {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    void noticesReachTheDesktop() {
        Desktop desktop;
        QDBusConnection bus =
            QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "dt");
        QVERIFY(bus.registerService("org.freedesktop.Notifications"));
        QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &desktop,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.connect({}, "/net/ferrodock/Ferrodock", "com.canonical.Unity.LauncherEntry",
                            "Update", &desktop, SLOT(Update(QString, QVariantMap))));
        QGuiApplication::setApplicationDisplayName("Ferrodock");
        const auto notices = makeBusNotices("net.ferrodock.Ferrodock");
        notices->notify("Upload finished", "ferrodock.net/abc");
        notices->showProgress(0.25);
        QTRY_COMPARE(desktop.notified,
                     (QVariantList{"Ferrodock", "Upload finished", "ferrodock.net/abc",
                                   "net.ferrodock.Ferrodock"}));
        const QString uri = "application://net.ferrodock.Ferrodock.desktop";
        QTRY_COMPARE(desktop.updated, (QVariantList{uri, true, 0.25}));
        notices->showProgress(std::nullopt);
        QTRY_COMPARE(desktop.updated, (QVariantList{uri, false, 0.0}));
    }
};

QTEST_MAIN(NoticesTest)
#include "tst_notices.moc"
