#pragma once

#include <QImage>
#include <QSize>
#include <QString>

class QLabel;

namespace ferrodock {

// A picture decoded for the preview: `image` fits the box it was decoded for (null when the
// file is not a readable image, not a regular file, or too large to decode); `fullSize` is
// the picture's own size, turned as its orientation says (invalid when unknown).
struct PreviewPicture {
    QImage image;
    QSize fullSize;
};

// Pictures that declare more pixels than this are not decoded at all.
constexpr qint64 kMaxPreviewPixels = 100'000'000;

// Decodes the picture at `path` to fit `box` (device pixels), aspect kept, never enlarged.
// Only regular files are read, opened without blocking. JPEG is reduced in the decoder, which
// does it exactly; other formats are decoded whole and scaled smoothly. Blocks: run it off the
// main thread.
PreviewPicture decodePreview(const QString& path, QSize box);

// Shows the picture at `path` in `view`, decoded on a worker thread and put in place when
// ready. A newer request, or clearPreview(), drops an older one's result; a result for a
// destroyed view goes nowhere. The picture then follows the view's size, decoded again once
// the view has stopped growing when the picture shown has too few pixels for it.
void showPreviewLater(QLabel* view, const QString& path);
// Drops any decode in flight and forgets the picture, leaving what `view` shows.
void clearPreview(QLabel* view);

// Decodes still running, including those whose result will be dropped.
int previewDecodesRunning();

}  // namespace ferrodock
