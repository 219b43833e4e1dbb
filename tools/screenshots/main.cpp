// Renders the main window on each page, and the login window, to PNG files, the way a person
// sees them after start-up. Used for the README and for looking at the layout at 100% and
// 200% scale: `ferrodock-screenshots OUTDIR` (set QT_SCALE_FACTOR=2 for 200%).
#include "core/Session.h"
#include "platform/DesktopNotices.h"
#include "platform/HttpsTransport.h"
#include "platform/OpenPanel.h"
#include "window/LoginDialog.h"
#include "window/MainWindow.h"
#include "window/Theme.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace ferrodock;

int main(int argc, char** argv) {
    // Start-up reads the session file: give it an empty home so nobody's login shows.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    configureApplication(app);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    HttpsTransport transport({});
    FileDialogPanel openPanel;
    const std::unique_ptr<DesktopNotices> notices = makeBusNotices(QString());
    Session session;
    session.load();
    MainWindow window({transport, openPanel, *notices, session});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) std::fprintf(stderr, "window not exposed\n");

    auto shoot = [&](QWidget* w, const QString& name) {
        QTest::qWait(50);
        const QString path = out + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!w->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    };
    window.findChild<QPlainTextEdit*>(QStringLiteral("pasteData"))
        ->setPlainText(QStringLiteral("def greet(name):\n    return f\"Hello, {name}!\"\n"));
    window.findChild<QComboBox*>(QStringLiteral("language"))
        ->setCurrentText(QStringLiteral("Python"));
    shoot(&window, QStringLiteral("image-page"));
    window.switchFile();
    shoot(&window, QStringLiteral("file-page"));
    window.switchPaste();
    shoot(&window, QStringLiteral("paste-page"));
    window.showLoginDialog();
    if (!QTest::qWaitForWindowExposed(window.loginDialog()))
        std::fprintf(stderr, "window not exposed\n");
    shoot(window.loginDialog(), QStringLiteral("login-window"));
    return 0;
}
