#include "desktop/Thumbnail.h"

#include <QBuffer>
#include <QImageReader>

namespace ferrodock {

namespace {
// Larger pictures get no thumbnail from the command line: it would mean decoding them whole.
constexpr qint64 kMostPixels = 64'000'000;
}  // namespace

QByteArray thumbnailBytes(const QImage& image) {
    if (image.isNull()) return {};
    const QImage small = image.width() > kThumbnailSide || image.height() > kThumbnailSide
                             ? image.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio,
                                            Qt::SmoothTransformation)
                             : image;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (small.hasAlphaChannel())
        small.save(&buffer, "PNG");
    else
        small.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 75);
    return bytes;
}

QByteArray thumbnailOfFile(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMostPixels) return {};
    // JPEG is reduced in the decoder; twice the thumbnail, so the smooth scaling has pixels.
    if (size.width() > 2 * kThumbnailSide || size.height() > 2 * kThumbnailSide)
        reader.setScaledSize(
            size.scaled(2 * kThumbnailSide, 2 * kThumbnailSide, Qt::KeepAspectRatio));
    return thumbnailBytes(reader.read());
}

}  // namespace ferrodock
