#pragma once

// The small picture the history keeps of an uploaded image.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace ferrodock {

// The longest side of a history thumbnail, in pixels.
constexpr int kThumbnailSide = 160;

// `image` at most kThumbnailSide pixels a side, as JPEG (PNG when it has transparency): a few
// KiB. Empty for a null image.
QByteArray thumbnailBytes(const QImage& image);

// The thumbnail of the picture file at `path`, decoded reduced where the format allows; empty
// when it is not a picture or would take too much memory to decode.
QByteArray thumbnailOfFile(const QString& path);

}  // namespace ferrodock
