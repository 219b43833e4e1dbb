#include "app/Application.h"

#include "core/HistoryStore.h"
#include "core/Session.h"
#include "desktop/Clipboard.h"
#include "desktop/Display.h"
#include "desktop/OpenPanel.h"
#include "platform/DesktopNotices.h"
#include "platform/Printable.h"
#include "window/MainWindow.h"
#include "window/Theme.h"

#include <QApplication>

#include <cstdio>

namespace ferrodock {

std::unique_ptr<DesktopNotices> desktopNotices() {
    return makeBusNotices(QStringLiteral(FERRODOCK_APP_ID), QStringLiteral("ferrodock"),
                          clipboard::put);
}

int runApplication(int argc, char** argv, const WindowParts& parts) {
    if (!displayAvailable(argc, argv)) {
        std::fputs(
            "ferrodock: no display to open the window on; see ferrodock --help for the command "
            "line\n",
            stderr);
        return 1;
    }
    QApplication app(argc, argv);
    // Qt took its own options; anything left is not the window's.
    if (QApplication::arguments().size() > 1) {
        std::fprintf(stderr,
                     "ferrodock: unknown option '%s'\nTry 'ferrodock --help' for more "
                     "information.\n",
                     qUtf8Printable(printable(QApplication::arguments().at(1))));
        return 2;
    }
    configureApplication(app);

    Session session;
    session.load();
    HistoryStore history;
    int status = 0;
    {  // the window goes before what it works with; closing it ends the run
        MainWindow window({*parts.transport, *parts.openPanel, *parts.notices, session, history});
        window.show();
        status = QApplication::exec();
        // An address copied just before quitting stays pasteable once the window is gone.
        clipboard::keepClipboardAfterQuit();
    }
    return status;
}

}  // namespace ferrodock
