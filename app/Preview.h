#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

namespace ferrodock {

// The image at `path` decoded to fit `box` (logical pixels) at `devicePixelRatio`, aspect
// kept and never enlarged; a null pixmap when the file is not a readable image. Decoding at
// the shown size keeps a 50-megapixel photo from being decoded whole.
QPixmap loadPreview(const QString& path, QSize box, qreal devicePixelRatio);

}  // namespace ferrodock
