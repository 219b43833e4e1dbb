#include "app/Application.h"

#include "app/Preview.h"
#include "app/Theme.h"
#include "platform/HttpsTransport.h"
#include "platform/OpenPanel.h"

#include <QApplication>
#include <QIcon>
#include <QMainWindow>

#include <cstdio>

namespace ferrodock {

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

int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    configureApplication(app);

    HttpsTransport::Options options;
    options.origin = QStringLiteral(FERRODOCK_SERVICE_ORIGIN);
    installSharedTransport(std::make_unique<HttpsTransport>(options));
    installSharedOpenPanel(std::make_unique<FileDialogPanel>());

    QString problem;
    std::unique_ptr<ConnectedInterface> ui = ConnectedInterface::build(&problem);
    int status = 1;
    if (ui) {
        ui->launch();
        status = QApplication::exec();
    } else {
        std::fprintf(stderr, "ferrodock: cannot start: %s\n", problem.toUtf8().constData());
    }
    // The transport stops first: no completion may reach a delegate that is being destroyed.
    // Requests still in flight end here, before the delegate and the application object go.
    installSharedTransport(nullptr);
    ui.reset();
    // The window's going stopped any picture being decoded; it gives up at its next read, and
    // must not meet the teardown of the libraries it runs in.
    waitForPreviewDecodes();
    return status;
}

}  // namespace ferrodock
