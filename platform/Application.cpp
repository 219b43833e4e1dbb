#include "platform/Application.h"

#include "app/AppDelegate.h"
#include "platform/HttpsTransport.h"
#include "platform/InterfaceLoader.h"
#include "platform/OpenPanel.h"

#include <QApplication>
#include <QIcon>
#include <QPalette>
#include <QStyleFactory>

#include <cstdio>

namespace ferrodock {

void applyToolkitStyle(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    QPalette p;
    const QColor window(23, 31, 40), base(17, 23, 30), button(34, 47, 61), text(230, 236, 242);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Link, QColor(97, 164, 255));
    p.setColor(QPalette::Highlight, QColor(61, 139, 253));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(120, 134, 150));
    const QColor disabled(110, 122, 136);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabled);
    }
    app.setPalette(p);
}

int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ferrodock"));
    QApplication::setApplicationVersion(QStringLiteral(FERRODOCK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(FERRODOCK_APP_ID));
    applyToolkitStyle(app);

    HttpsTransport::Options options;
    options.origin = QStringLiteral(FERRODOCK_SERVICE_ORIGIN);
    installSharedTransport(std::make_unique<HttpsTransport>(options));
    installSharedOpenPanel(std::make_unique<FileDialogPanel>());

    int status = 1;
    {
        AppDelegate delegate;
        Interface interface = buildInterface();
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/AppIcon.png")));
        const QString problem = connectInterface(delegate, interface);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "ferrodock: cannot start: %s\n", problem.toUtf8().constData());
        } else {
            QApplication::setQuitOnLastWindowClosed(
                delegate.applicationShouldTerminateAfterLastWindowClosed());
            delegate.applicationDidFinishLaunching();
            interface.mainWindow->show();
            status = QApplication::exec();
        }
    }
    // Requests still in flight end here, before the application object goes.
    installSharedTransport(nullptr);
    return status;
}

}  // namespace ferrodock
