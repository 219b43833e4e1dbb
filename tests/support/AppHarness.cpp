#include "support/AppHarness.h"

#include "window/FittedText.h"
#include "window/Theme.h"

#include <QApplication>
#include <QFile>
#include <QTest>

namespace ferrodock::test {

TestHome::TestHome() : oldHome_(qgetenv("HOME")) {
    Q_ASSERT(dir_.isValid());
    qputenv("HOME", dir_.path().toUtf8());
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
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

AppHarness::AppHarness(std::unique_ptr<Transport> transport_) : transport(std::move(transport_)) {
    configureApplication(*qApp);
}

// The window goes first: nothing it started may reach it once the transport is gone.
AppHarness::~AppHarness() {
    window.reset();
}

void AppHarness::start() {
    session.load();
    window = std::make_unique<MainWindow>(Services{*transport, panel, notices, session, history});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void AppHarness::press(QAbstractButton* button) {
    if (!button) qFatal("no such button");
    button->click();
}

void AppHarness::choose(const QString& path, bool forImage) {
    panel.answers.append({true, {QUrl::fromLocalFile(path)}});
    press(find<QPushButton>(forImage ? "selectButton" : "selectButton2"));
}

FakeApp::FakeApp(const QByteArray& saved)
    : AppHarness(std::make_unique<FakeTransport>()),
      net(static_cast<FakeTransport*>(transport.get())) {
    if (!saved.isEmpty()) home.writeSession(saved);
    start();
}

QString titleOf(const QAbstractButton* button) {
    return literalText(button);
}

}  // namespace ferrodock::test
