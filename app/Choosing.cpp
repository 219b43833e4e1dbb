#include "app/AppDelegate.h"
#include "app/Preview.h"
#include "app/Theme.h"
#include "core/Characters.h"
#include "core/ImageTypes.h"
#include "platform/OpenPanel.h"
#include "platform/Toolkit.h"

#include <QFileInfo>

namespace ferrodock {

namespace {
// Each choose button remembers the full path it shows, so that a page uploads only its own.
const char* const kChosenPath = "chosenPath";
// A link showing a refused choice remembers what it showed before: the refusal and that title.
const char* const kRefused = "refusedOver";

void refuse(QPushButton* output, const QString& why) {
    if (!output) return;
    const QStringList refused = output->property(kRefused).toStringList();
    const QString before =
        refused.value(0) == toolkit::title(output) ? refused.value(1) : toolkit::title(output);
    theme::showTitle(output, why);
    output->setProperty(kRefused, QStringList{toolkit::title(output), before});
}

// A good choice puts back what a refusal covered, unless the link has changed since.
void withdrawRefusal(QPushButton* output) {
    if (!output) return;
    const QStringList refused = output->property(kRefused).toStringList();
    if (refused.size() == 2 && refused[0] == toolkit::title(output))
        toolkit::setTitle(output, refused[1]);
    output->setProperty(kRefused, QVariant());
}
}  // namespace

void AppDelegate::chooseFile(bool forImage) {
    OpenPanelSettings settings;
    settings.title = forImage ? QStringLiteral("Select Image") : QStringLiteral("Select File");
    settings.prompt = QStringLiteral("Select");
    if (forImage) settings.allowedFileTypes = imageFileTypes();
    const OpenPanelAnswer answer = openPanel->runModal(settings, window());
    if (!answer.confirmed) return;
    for (const QUrl& url : answer.urls) {
        if (!url.isLocalFile()) continue;
        choosePath(url.toLocalFile(), forImage);
    }
}

void AppDelegate::choosePath(const QString& path, bool forImage) {
    if (path.isEmpty()) return;
    QPushButton* output = forImage ? imageOutput() : fileOutput();
    // Refused choices leave the earlier one as it was.
    if (!pathKeepsItsBytes(path)) {
        refuse(output,
               QStringLiteral("This file's name is not valid UTF-8; rename it to upload it."));
        return;
    }
    if (forImage && !imageFileTypes().contains(QFileInfo(path).suffix(), Qt::CaseInsensitive)) {
        refuse(output, QStringLiteral("Only jpg, jpeg, gif and png images can be chosen here."));
        return;
    }
    withdrawRefusal(output);
    if (savedpath()) toolkit::setTitle(savedpath(), path);
    QPushButton* chooser = forImage ? selectButton() : selectButton2();
    if (chooser) {
        toolkit::setTitle(chooser, displayName(path));
        theme::showTitle(chooser, toolkit::title(chooser));
        chooser->setProperty(kChosenPath, path);
    }
    if (!forImage) return;
    if (bgImage()) showPreviewLater(bgImage(), path);
    if (imageSelectButton()) toolkit::setImage(imageSelectButton(), QPixmap());
}

QString AppDelegate::chosenPath(bool forImage) const {
    // The link resets empty the shared path, and with it the choice of both pages.
    if (!savedpath() || toolkit::title(savedpath()).isEmpty()) return {};
    const QPushButton* chooser = forImage ? selectButton() : selectButton2();
    return chooser ? chooser->property(kChosenPath).toString() : QString();
}

void AppDelegate::resetChooser(bool forImage) {
    QPushButton* chooser = forImage ? selectButton() : selectButton2();
    theme::showTitle(
        chooser, forImage ? QStringLiteral("Choose an image.") : QStringLiteral("Choose a file."));
    if (chooser) chooser->setProperty(kChosenPath, QVariant());
    if (forImage && bgImage()) {
        clearPreview(bgImage());
        toolkit::setImage(bgImage(), toolkit::imageNamed(QStringLiteral("ImageIcon")));
    }
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
