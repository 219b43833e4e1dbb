#include "app/Preview.h"

#include <QImage>
#include <QImageReader>

namespace ferrodock {

QPixmap loadPreview(const QString& path, QSize box, qreal devicePixelRatio) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && box.isValid() && !box.isEmpty()) {
        if (reader.transformation() & QImageIOHandler::TransformationRotate90) size.transpose();
        const QSize target = (QSizeF(box) * devicePixelRatio).toSize();
        if (size.width() > target.width() || size.height() > target.height()) {
            QSize scaled = size.scaled(target, Qt::KeepAspectRatio);
            if (reader.transformation() & QImageIOHandler::TransformationRotate90) {
                scaled.transpose();
            }
            reader.setScaledSize(scaled.expandedTo(QSize(1, 1)));
        }
    }
    const QImage image = reader.read();
    if (image.isNull()) return {};
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

}  // namespace ferrodock
