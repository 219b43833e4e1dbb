#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <atomic>

class QLabel;

namespace ferrodock {

// A picture decoded for the preview: `image` fits the box it was decoded for (null when the
// file is not a readable image, not a regular file, or too large to decode); `fullSize` is
// the picture's own size, turned as its orientation says (invalid when unknown).
struct PreviewPicture {
    QImage image;
    QSize fullSize;
};

// Pictures that declare more pixels than this, or whose decode would hold more bytes, are not
// decoded at all.
constexpr qint64 kMaxPreviewPixels = 100'000'000;
constexpr qint64 kMaxPreviewBytes = qint64(256) << 20;

// Decodes the picture at `path` to fit `box` (device pixels), aspect kept, never enlarged.
// Only regular files are read, opened without blocking. JPEG is reduced in the decoder, which
// does it exactly; other formats are decoded whole and scaled smoothly. Blocks: run it off the
// main thread. Once `stop` is set it gives up at its next read, with no picture.
PreviewPicture decodePreview(const QString& path, QSize box,
                             const std::atomic<bool>* stop = nullptr);

class PreviewDelivery;

// The picture shown in one view: decoded on a thread of its own and put in place when ready.
// A newer picture, clear() or the preview's going stops an older decode and drops its result.
// The picture then follows the view's size, decoded again once the view has stopped growing
// when the picture shown has too few pixels for it.
class ImagePreview final : public QObject {
public:
    explicit ImagePreview(QLabel* view);
    ~ImagePreview() override;

    void show(const QString& path);
    // Drops any decode in flight and forgets the picture, leaving what the view shows.
    void clear();
    bool decoding() const { return delivery_ != nullptr; }
    // What was decoded for the view; null when nothing is shown.
    QImage decoded() const { return image_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fit();
    void delivered(const PreviewPicture& picture);

    QLabel* view_;
    QString path_;
    QImage image_;
    QSize fullSize_;
    QTimer settle_;
    PreviewDelivery* delivery_ = nullptr;
    // One thread: a decode may need a quarter of a gigabyte, and a newer one waits for the
    // older to notice it was stopped. Its going waits for that, no longer.
    QThreadPool decoder_;
};

// Decodes running now, including those whose result will be dropped, and decodes that ended
// early because they were stopped, since the start.
int previewDecodesRunning();
int previewDecodesStopped();

}  // namespace ferrodock
