#include "app/Application.h"

#include "core/HistoryStore.h"
#include "core/ScratchFolder.h"
#include "core/Session.h"
#include "desktop/Clipboard.h"
#include "desktop/Display.h"
#include "desktop/OpenPanel.h"
#include "desktop/ScreenCapture.h"
#include "platform/DesktopNotices.h"
#include "platform/Printable.h"
#include "window/MainWindow.h"
#include "window/OpenFiles.h"
#include "window/Theme.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace ferrodock {

std::unique_ptr<DesktopNotices> desktopNotices() {
    return makeBusNotices(QStringLiteral(FERRODOCK_APP_ID), QStringLiteral("ferrodock"),
                          clipboard::put);
}

std::unique_ptr<AppInstance> sessionInstance() {
    return std::make_unique<AppInstance>([] { return QDBusConnection::sessionBus(); },
                                         QStringLiteral(FERRODOCK_APP_ID),
                                         QStringLiteral("/net/ferrodock/Ferrodock"));
}

int runApplication(int argc, char** argv, const WindowParts& parts) {
    if (!displayAvailable(argc, argv)) {
        std::fputs(
            "ferrodock: no display to open the window on; see ferrodock --help for the command "
            "line\n",
            stderr);
        return 1;
    }
    // Qt takes the X11 startup id from the environment as it starts.
    const QVariantMap platformData = AppInstance::platformDataFromEnvironment();
    QApplication app(argc, argv);
    releaseDisplayCheck();
    // Qt took its own options; anything left but "open" and its files is not the window's.
    QStringList files = QApplication::arguments().mid(1);
    if (!files.isEmpty() && files.first() != u"open") {
        std::fprintf(stderr,
                     "ferrodock: unknown option '%s'\nTry 'ferrodock --help' for more "
                     "information.\n",
                     qUtf8Printable(printable(files.first())));
        return 2;
    }
    const QStringList uris = AppInstance::fileUris(files.mid(1), QDir::currentPath());
    if (parts.instance && !parts.instance->claim() && parts.instance->handOver(uris, platformData))
        return 0;
    configureApplication(app);

    Session session;
    HistoryStore history;
    // Pasted, dropped and captured pictures wait here for their upload; what a crashed run
    // left goes.
    ScratchFolder scratch;
    scratch.sweep();
    ScreenCapture capture(scratch);
    int status = 0;
    {  // the window goes before what it works with; closing it ends the run
        MainWindow window({*parts.transport, *parts.openPanel, *parts.notices, session, history,
                           scratch, capture});
        if (parts.instance) serveLaterStarts(window, *parts.instance);
        setApplicationIconOncePainted(window);
        window.show();
        if (!uris.isEmpty()) openFiles(window, uris);
        status = QApplication::exec();
        // An address copied just before quitting stays pasteable once the window is gone.
        clipboard::keepClipboardAfterQuit();
    }
    return status;
}

}  // namespace ferrodock
