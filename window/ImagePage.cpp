#include "window/ImagePage.h"

#include "desktop/Thumbnail.h"
#include "window/Preview.h"
#include "window/Theme.h"

namespace ferrodock {

ImagePage::ImagePage(const Services& services, LastChoice& lastChoice, QWidget* parent)
    : ChoosingPage(true, services, lastChoice, parent) {
    ui_.setupUi(this);
    // The same picture as the preview's placeholder, decoded once.
    ui_.imageIcon->setIcon(QIcon(ui_.bgImage->pixmap()));
    paintStyledBackground({ui_.filePageButton2, ui_.imagePageButton2, ui_.pastePageButton2,
                           ui_.imageSelectButton, ui_.imageUploadButton});
    setControls({ui_.selectButton, {ui_.privImage, ui_.anonImage, ui_.nsfwImage}, ui_.imageOutput});
    preview_ = new ImagePreview(ui_.bgImage);
    connect(ui_.imageSelectButton, &QPushButton::clicked, this, &ImagePage::chooseFile);
    connect(ui_.imageUploadButton, &QPushButton::clicked, this, &ImagePage::imagePushed);
}

void ImagePage::chosen(const QString& path) {
    preview_->show(path);
}

void ImagePage::reset() {
    preview_->clear();
    ui_.bgImage->setPixmap(QPixmap(QStringLiteral(":/ImageIcon.png")));
}

// From the preview as decoded: the file is not read again on the main thread.
QByteArray ImagePage::thumbnail() const {
    return thumbnailBytes(preview_->decoded());
}

}  // namespace ferrodock
