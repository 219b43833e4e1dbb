// Renders the main window on each page, and the login window, to PNG files, the way a person
// sees them after start-up. Used for the README and for looking at the layout at 100% and
// 200% scale: `ferrodock-screenshots OUTDIR` (set QT_SCALE_FACTOR=2 for 200%).
#include "app/Application.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv) {
    // Start-up reads the session file: give it an empty home so nobody's login shows.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    ferrodock::configureApplication(app);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    QString problem;
    const auto connected = ferrodock::ConnectedInterface::build(&problem);
    if (!connected) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    connected->launch();
    ferrodock::AppDelegate& delegate = connected->delegate;
    const ferrodock::Interface& ui = connected->interface;
    if (!QTest::qWaitForWindowExposed(ui.mainWindow.get()))
        std::fprintf(stderr, "window not exposed\n");

    auto shoot = [&](QWidget* w, const QString& name) {
        QTest::qWait(50);
        const QString path = out + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!w->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    };
    delegate.pasteData()->setPlainText(
        QStringLiteral("def greet(name):\n    return f\"Hello, {name}!\"\n"));
    delegate.language()->setCurrentText(QStringLiteral("Python"));
    shoot(ui.mainWindow.get(), QStringLiteral("image-page"));
    delegate.switchFile(nullptr);
    shoot(ui.mainWindow.get(), QStringLiteral("file-page"));
    delegate.switchPaste(nullptr);
    shoot(ui.mainWindow.get(), QStringLiteral("paste-page"));
    delegate.loginWindow()->show();
    if (!QTest::qWaitForWindowExposed(delegate.loginWindow()))
        std::fprintf(stderr, "window not exposed\n");
    shoot(delegate.loginWindow(), QStringLiteral("login-window"));
    return 0;
}
