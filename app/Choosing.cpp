#include "app/AppDelegate.h"
#include "app/Preview.h"
#include "app/Text.h"
#include "app/Theme.h"
#include "platform/OpenPanel.h"
#include "platform/Toolkit.h"

namespace ferrodock {

void AppDelegate::chooseFile(bool forImage) {
    OpenPanelSettings settings;
    settings.title = forImage ? QStringLiteral("Select Image") : QStringLiteral("Select File");
    settings.prompt = QStringLiteral("Select");
    settings.canChooseDirectories = false;
    settings.allowsMultipleSelection = false;
    if (forImage) {
        settings.allowedFileTypes = QStringList{QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                                QStringLiteral("gif"), QStringLiteral("png")};
    }
    const OpenPanelAnswer answer = sharedOpenPanel().runModal(settings, window());
    if (!answer.confirmed) return;
    for (const QUrl& url : answer.urls) {
        if (!url.isLocalFile()) continue;
        choosePath(url.toLocalFile(), forImage);
    }
}

void AppDelegate::choosePath(const QString& path, bool forImage) {
    if (path.isEmpty()) return;
    if (savedpath()) toolkit::setTitle(savedpath(), path);
    QPushButton* chooser = forImage ? selectButton() : selectButton2();
    if (chooser) {
        toolkit::setTitle(chooser, displayName(path));
        theme::showTitle(chooser, toolkit::title(chooser));
    }
    if (!forImage) return;
    if (QLabel* preview = bgImage()) {
        toolkit::setImage(preview, loadPreview(path, preview->contentsRect().size(),
                                               preview->devicePixelRatioF()));
    }
    if (imageSelectButton()) toolkit::setImage(imageSelectButton(), QPixmap());
}

void AppDelegate::selectImages(QObject*) {
    chooseFile(true);
}
void AppDelegate::selectImages2(QObject*) {
    chooseFile(false);
}

void AppDelegate::imageDropped(const QString& path) {
    choosePath(path, true);
}
void AppDelegate::fileDropped(const QString& path) {
    choosePath(path, false);
}

}  // namespace ferrodock
