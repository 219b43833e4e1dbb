#include "app/Application.h"

#include "app/Preview.h"
#include "app/Theme.h"
#include "platform/ClipboardOwner.h"
#include "platform/Printable.h"

#include <QApplication>
#include <QIcon>
#include <QMainWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ferrodock {

namespace {

constexpr char kNoDisplay[] =
    "ferrodock: no display to open the window on; see ferrodock --help for the command line\n";

// Whether a platform named by QT_QPA_PLATFORM or -platform (a list of fallbacks) has a
// display to open the window on; without one Qt would end the program with a core dump.
bool displayAvailable(int argc, char** argv) {
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    for (int i = 1; i + 1 < argc; ++i) {
        const char* option = argv[i] + (std::strncmp(argv[i], "--", 2) == 0 ? 1 : 0);
        if (std::strcmp(option, "-platform") == 0) platforms = argv[i + 1];
        x11 = x11 || std::strcmp(option, "-display") == 0;
    }
    if (platforms.isEmpty()) return x11 || wayland;
    for (const QByteArray& entry : platforms.split(';')) {
        const QByteArray name = entry.split(':').first();
        if (name == "xcb" ? x11 : name.startsWith("wayland") ? wayland : !name.isEmpty())
            return true;
    }
    return false;
}

// While the application object starts, a display that cannot be reached ends the program
// with a line instead of Qt's abort.
QtMessageHandler outerHandler = nullptr;
void startingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) return outerHandler(type, context, message);
    std::fputs(kNoDisplay, stderr);
    std::_Exit(1);
}

}  // namespace

void configureApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("ferrodock"));
    QApplication::setApplicationVersion(QStringLiteral(FERRODOCK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(FERRODOCK_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/AppIcon.png")));
    theme::applyToolkitStyle(app);
}

std::unique_ptr<ConnectedInterface> ConnectedInterface::build(QString* problem) {
    std::unique_ptr<ConnectedInterface> connected(new ConnectedInterface);
    connected->interface = buildInterface();
    const QString fault = connectInterface(connected->delegate, connected->interface);
    if (fault.isEmpty()) return connected;
    if (problem) *problem = fault;
    return nullptr;
}

void ConnectedInterface::launch() {
    QApplication::setQuitOnLastWindowClosed(
        delegate.applicationShouldTerminateAfterLastWindowClosed());
    delegate.applicationDidFinishLaunching();
    interface.mainWindow->show();
}

int runApplication(int argc, char** argv, WindowParts parts) {
    if (!displayAvailable(argc, argv)) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    outerHandler = qInstallMessageHandler(startingHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(outerHandler);
    // Qt took its own options; anything left is not the window's.
    if (QApplication::arguments().size() > 1) {
        std::fprintf(stderr,
                     "ferrodock: unknown option '%s'\nTry 'ferrodock --help' for more "
                     "information.\n",
                     qUtf8Printable(printable(QApplication::arguments().at(1))));
        return 2;
    }
    configureApplication(app);

    QString problem;
    std::unique_ptr<ConnectedInterface> ui = ConnectedInterface::build(&problem);
    int status = 1;
    if (ui) {
        ui->delegate.transport = parts.transport.get();
        ui->delegate.openPanel = parts.openPanel.get();
        ui->delegate.notices = parts.notices.get();
        ui->launch();
        status = QApplication::exec();
        // An address copied just before quitting stays pasteable once the window is gone.
        clipboard::keepClipboardAfterQuit();
    } else {
        std::fprintf(stderr, "ferrodock: cannot start: %s\n", problem.toUtf8().constData());
    }
    // The transport stops first: no completion may reach a delegate that is being destroyed.
    // Requests still in flight end here, before the delegate and the application object go.
    parts.transport.reset();
    ui.reset();
    // The window's going stopped any picture being decoded; it gives up at its next read, and
    // must not meet the teardown of the libraries it runs in.
    waitForPreviewDecodes();
    return status;
}

}  // namespace ferrodock
