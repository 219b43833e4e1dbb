#include "support/AppHarness.h"

#include "platform/Toolkit.h"

#include <QApplication>
#include <QFile>
#include <QTest>

namespace ferrodock::test {

TestHome::TestHome() : oldHome_(qgetenv("HOME")) {
    Q_ASSERT(dir_.isValid());
    qputenv("HOME", dir_.path().toUtf8());
    qunsetenv("XDG_CONFIG_HOME");
    QDir(dir_.path()).mkdir(QStringLiteral("Documents"));
}

TestHome::~TestHome() {
    qputenv("HOME", oldHome_);
}

void TestHome::writeSession(const QByteArray& bytes) const {
    QFile file(sessionFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(sessionFile()));
}

namespace {
std::unique_ptr<ConnectedInterface> connectOrDie() {
    configureApplication(*qApp);
    QString problem;
    auto connected = ConnectedInterface::build(&problem);
    if (!connected) qFatal("interface does not connect: %s", qPrintable(problem));
    return connected;
}
}  // namespace

AppHarness::AppHarness()
    : connected_(connectOrDie()),
      notices_(makeBusNotices(QGuiApplication::desktopFileName())),
      delegate(connected_->delegate),
      interface(connected_->interface) {
    delegate.openPanel = panel;
    delegate.notices = notices_.get();
}

AppHarness::~AppHarness() = default;

void AppHarness::start() {
    connected_->launch();
    QVERIFY(QTest::qWaitForWindowExposed(interface.mainWindow.get()));
}

void AppHarness::press(QAbstractButton* button) {
    if (!button) qFatal("no such button");
    button->click();
}

void AppHarness::choose(const QString& path, bool forImage) {
    panel->answers.append({true, {QUrl::fromLocalFile(path)}});
    press(widget<QPushButton>(forImage ? "selectButton" : "selectButton2"));
}

FakeApp::FakeApp(const QByteArray& session) {
    delegate.transport = net.get();
    if (!session.isEmpty()) home.writeSession(session);
    start();
}

QString titleOf(const QAbstractButton* button) {
    return toolkit::title(button);
}

}  // namespace ferrodock::test
