#include "window/OpenFiles.h"

#include "core/ImageTypes.h"
#include "platform/AppInstance.h"
#include "window/FilePage.h"
#include "window/ImagePage.h"
#include "window/MainWindow.h"

#include <QUrl>

namespace ferrodock {

void openFiles(MainWindow& window, const QStringList& uris) {
    QList<QUrl> urls;
    for (const QString& uri : uris) {
        const QUrl url(uri);
        if (url.isLocalFile()) urls << url;
    }
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.raise();
    window.activateWindow();
    if (urls.isEmpty()) return;
    ChoosingPage* page = nullptr;
    if (isImageFileName(urls.first().path())) {
        window.switchImage();
        page = window.imagePage();
    } else {
        window.switchFile();
        page = window.filePage();
    }
    page->choosePaths(urls);
}

void serveLaterStarts(MainWindow& window, AppInstance& instance) {
    QObject::connect(&instance, &AppInstance::opened, &window,
                     [&window](const QStringList& uris, const QVariantMap& platformData) {
                         // Qt's Wayland activation reads the token from there.
                         const QString token =
                             platformData.value(QStringLiteral("activation-token")).toString();
                         if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
                         openFiles(window, uris);
                     });
}

}  // namespace ferrodock
