#include "window/Preview.h"

#include <QEvent>
#include <QFile>
#include <QFutureWatcher>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QtConcurrent/QtConcurrentRun>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace ferrodock {

namespace {

std::atomic<int> running{0};
std::atomic<int> stopped{0};

QSize fitted(QSize size, QSize box) {
    if (box.isEmpty() || (size.width() <= box.width() && size.height() <= box.height()))
        return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QSize deviceBox(const QLabel* view) {
    return (QSizeF(view->contentsRect().size()) * view->devicePixelRatioF()).toSize();
}

// A file whose reads fail once the decode is stopped, so that the decoder gives up at its
// next read instead of finishing a picture nobody waits for.
class StoppableFile final : public QFile {
public:
    explicit StoppableFile(const std::atomic<bool>* stop) : stop_(stop) {}

protected:
    qint64 readData(char* data, qint64 size) override {
        return stop_ && stop_->load() ? -1 : QFile::readData(data, size);
    }

private:
    const std::atomic<bool>* stop_;
};

// The format a picture is scaled in: Qt 6.4 scales 1-bit and palette pictures by more than
// half into noise, and copies those that are not premultiplied.
QImage::Format scalingFormat(QImage::Format decoded, bool alpha) {
    if (QImage::toPixelFormat(decoded).bitsPerPixel() > 32 || decoded == QImage::Format_Grayscale16)
        return alpha ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBX64;
    return alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}

// The bytes a decode of `reader` to `target` holds at once: the picture as the decoder gives
// it, and the copy it is scaled in unless that is made in place (same depth).
qint64 decodeBytes(QImageReader& reader, QSize size, QSize target, bool reduced) {
    if (reduced) {
        // The JPEG decoder reduces by eighths, to no less than the target, in 32 bits. The
        // target is never larger than the picture, so `by` is at least 1: one to eight eighths.
        const double by = std::min(double(size.width()) / target.width(),
                                   double(size.height()) / target.height());
        const int eighths = int(std::ceil(8 / by));
        return qint64(std::ceil(size.width() * eighths / 8.0)) *
               qint64(std::ceil(size.height() * eighths / 8.0)) * 4;
    }
    QImage::Format decoded = reader.imageFormat();
    if (decoded == QImage::Format_Invalid) decoded = QImage::Format_ARGB32;
    const int bits = QImage::toPixelFormat(decoded).bitsPerPixel();
    const int work = QImage::toPixelFormat(scalingFormat(decoded, true)).bitsPerPixel();
    const qint64 pixels = qint64(size.width()) * size.height();
    // Turning a picture makes a turned copy of it.
    const int copies = reader.transformation() == QImageIOHandler::TransformationNone ? 1 : 2;
    return pixels * copies * (bits + (bits == work ? 0 : work)) / 8;
}

}  // namespace

PreviewPicture decodePreview(const QString& path, QSize box, const std::atomic<bool>* stop) {
    PreviewPicture picture;
    // A FIFO or a device could block a plain open() or read() for good.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return picture;
    struct stat info {};
    StoppableFile file(stop);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return picture;
    }
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxPreviewPixels) {
        return picture;
    }
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize fullSize = turned ? size.transposed() : size;
    const QSize target = fitted(fullSize, box);
    // Other decoders' reduced decoding is not exact (Qt 6.4 turns palette PNGs into noise).
    const bool reduced = reader.format() == "jpeg" && target != fullSize;
    if (decodeBytes(reader, size, turned ? target.transposed() : target, reduced) >
        kMaxPreviewBytes)
        return picture;
    if (reduced) reader.setScaledSize(turned ? target.transposed() : target);
    QImage image = reader.read();
    if (image.isNull() || (stop && stop->load())) return picture;
    if (image.size() != target) {
        image.convertTo(scalingFormat(image.format(), image.hasAlphaChannel()));
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    picture = {image, fullSize};
    return picture;
}

// One decode for a preview, run on its decoding thread. Its result reaches the preview only
// while this object lives; destroying it stops the decode.
class PreviewDelivery final : public QFutureWatcher<PreviewPicture> {
public:
    PreviewDelivery(QThreadPool& decoder, const QString& path, QSize box) {
        setFuture(QtConcurrent::run(&decoder, [stop = stop_, path, box] {
            if (stop->load()) return PreviewPicture();
            running.fetch_add(1);
            const PreviewPicture picture = decodePreview(path, box, stop.get());
            stopped.fetch_add(stop->load() ? 1 : 0);
            running.fetch_sub(1);
            return picture;
        }));
    }
    ~PreviewDelivery() override { stop_->store(true); }

private:
    const std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
};

ImagePreview::ImagePreview(QLabel* view) : QObject(view), view_(view) {
    // Qt's limit is a plain global, set once, on the main thread, to what decodeBytes() allows.
    static const bool limited = [] {
        QImageReader::setAllocationLimit(int(kMaxPreviewBytes >> 20));
        return true;
    }();
    Q_UNUSED(limited);
    decoder_.setMaxThreadCount(1);
    settle_.setSingleShot(true);
    settle_.setInterval(250);
    connect(&settle_, &QTimer::timeout, this, [this] {
        const QSize target = fitted(fullSize_, deviceBox(view_));
        if (!image_.isNull() &&
            (image_.width() < target.width() || image_.height() < target.height()))
            show(path_);
    });
    view->installEventFilter(this);
}

ImagePreview::~ImagePreview() {
    clear();
}

void ImagePreview::show(const QString& path) {
    clear();
    path_ = path;
    delivery_ = new PreviewDelivery(decoder_, path, deviceBox(view_));
    connect(delivery_, &QFutureWatcherBase::finished, this,
            [this] { delivered(delivery_->result()); });
}

void ImagePreview::clear() {
    delete delivery_;
    delivery_ = nullptr;
    image_ = QImage();
    fullSize_ = QSize();
}

void ImagePreview::delivered(const PreviewPicture& picture) {
    delivery_->deleteLater();
    delivery_ = nullptr;
    image_ = picture.image;
    fullSize_ = picture.fullSize;
    image_.isNull() ? view_->clear() : fit();
}

// Keeps the picture fitted while the view is resized: rescales what was decoded at once, and
// decodes again only after the size has settled, and only when more pixels are needed.
bool ImagePreview::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Resize && !image_.isNull()) {
        fit();
        settle_.start();
    }
    return false;
}

void ImagePreview::fit() {
    const QSize target = fitted(fullSize_, deviceBox(view_));
    QPixmap pixmap =
        QPixmap::fromImage(image_.size() == target ? image_
                                                   : image_.scaled(target, Qt::IgnoreAspectRatio,
                                                                   Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(view_->devicePixelRatioF());
    view_->setPixmap(pixmap);
}

int previewDecodesRunning() {
    return running.load();
}

int previewDecodesStopped() {
    return stopped.load();
}

}  // namespace ferrodock
