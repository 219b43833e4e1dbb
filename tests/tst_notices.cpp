// The desktop's notices over a private session bus, as a notification server and a dock see them.
#include "platform/DesktopNotices.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
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
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int) {
        notified = {app, icon, summary, body, actions, hints.value("desktop-entry")};
        return 7;
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
        const QString entry = "net.ferrodock.Ferrodock", address = "https://ferrodock.net/abc";
        notices->notify("Upload failed", "no address", {});
        QTRY_COMPARE(desktop.notified, (QVariantList{"Ferrodock", entry, "Upload failed",
                                                     "no address", QStringList(), entry}));
        notices->notify("Uploaded", address, address);
        notices->showProgress(0.25);
        QTRY_COMPARE(desktop.notified, (QVariantList{"Ferrodock", entry, "Uploaded", address,
                                                     QStringList{"copy", "Copy Address"}, entry}));
        // The action of another notification copies nothing; this one's copies the address.
        QGuiApplication::clipboard()->setText("before");
        for (const uint id : {8u, 7u}) {
            QDBusMessage invoked = QDBusMessage::createSignal(
                "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
            bus.send(invoked << id << QString("copy"));
            if (id == 8) QTest::qWait(100);
            QTRY_COMPARE(QGuiApplication::clipboard()->text(), id == 7 ? address : "before");
        }
        const QString uri = "application://net.ferrodock.Ferrodock.desktop";
        QTRY_COMPARE(desktop.updated, (QVariantList{uri, true, 0.25}));
        notices->showProgress(std::nullopt);
        QTRY_COMPARE(desktop.updated, (QVariantList{uri, false, 0.0}));
    }
};

QTEST_MAIN(NoticesTest)
#include "tst_notices.moc"
