#include "app/Preview.h"

#include <QEvent>
#include <QFile>
#include <QFutureWatcher>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QThreadPool>
#include <QTimer>
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

// One thread: a decode may need a quarter of a gigabyte, and a newer one waits for the older
// to notice it was stopped. Made on the main thread, which also sets Qt's limit (a plain
// global) once, to what decodeBytes() allows.
QThreadPool& decoders() {
    static QThreadPool* const pool = [] {
        QImageReader::setAllocationLimit(int(kMaxPreviewBytes >> 20));
        static QThreadPool threads;
        threads.setMaxThreadCount(1);
        return &threads;
    }();
    return *pool;
}

const char* const kPath = "previewPath";
const char* const kImage = "previewImage";
const char* const kFullSize = "previewFullSize";
const QString kDeliveryName = QStringLiteral("previewDelivery");
const QString kFollowerName = QStringLiteral("previewFollower");

QSize fitted(QSize size, QSize box) {
    if (box.isEmpty() || (size.width() <= box.width() && size.height() <= box.height()))
        return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QSize deviceBox(const QLabel* view) {
    return (QSizeF(view->contentsRect().size()) * view->devicePixelRatioF()).toSize();
}

void show(QLabel* view) {
    const QImage image = view->property(kImage).value<QImage>();
    if (image.isNull()) return;
    const QSize target = fitted(view->property(kFullSize).toSize(), deviceBox(view));
    QPixmap pixmap =
        QPixmap::fromImage(image.size() == target ? image
                                                  : image.scaled(target, Qt::IgnoreAspectRatio,
                                                                 Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(view->devicePixelRatioF());
    view->setPixmap(pixmap);
}

void request(QLabel* view, const QString& path);

// Keeps the picture fitted while the view is resized: rescales what was decoded at once, and
// decodes again only after the size has settled, and only when more pixels are needed.
class Follower final : public QObject {
public:
    explicit Follower(QLabel* view) : QObject(view), view_(view) {
        setObjectName(kFollowerName);
        settle_.setSingleShot(true);
        settle_.setInterval(250);
        connect(&settle_, &QTimer::timeout, this, [this] {
            const QImage image = view_->property(kImage).value<QImage>();
            const QSize target = fitted(view_->property(kFullSize).toSize(), deviceBox(view_));
            if (!image.isNull() &&
                (image.width() < target.width() || image.height() < target.height())) {
                request(view_, view_->property(kPath).toString());
            }
        });
        view->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize && !view_->property(kImage).value<QImage>().isNull()) {
            show(view_);
            settle_.start();
        }
        return false;
    }

private:
    QLabel* view_;
    QTimer settle_;
};

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

// One decode for a view, run on the decoding thread. Its result reaches the view only while
// this object lives; destroying it (a newer request, a reset, the view's going) stops the
// decode.
class Delivery final : public QFutureWatcher<PreviewPicture> {
public:
    Delivery(QLabel* view, const QString& path) : QFutureWatcher(view) {
        setObjectName(kDeliveryName);
        connect(this, &QFutureWatcherBase::finished, this, [this, view] {
            const PreviewPicture picture = result();
            deleteLater();
            view->setProperty(kImage, picture.image);
            view->setProperty(kFullSize, picture.fullSize);
            picture.image.isNull() ? view->clear() : show(view);
        });
        setFuture(QtConcurrent::run(&decoders(), [stop = stop_, path, box = deviceBox(view)] {
            if (stop->load()) return PreviewPicture();
            running.fetch_add(1);
            const PreviewPicture picture = decodePreview(path, box, stop.get());
            stopped.fetch_add(stop->load() ? 1 : 0);
            running.fetch_sub(1);
            return picture;
        }));
    }
    ~Delivery() override { stop_->store(true); }

private:
    const std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
};

void request(QLabel* view, const QString& path) {
    clearPreview(view);
    view->setProperty(kPath, path);
    if (!view->findChild<QObject*>(kFollowerName, Qt::FindDirectChildrenOnly)) new Follower(view);
    new Delivery(view, path);
}

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
        // The JPEG decoder reduces by eighths, to no less than the target, in 32 bits.
        const double by = std::min(double(size.width()) / target.width(),
                                   double(size.height()) / target.height());
        const int eighths = std::clamp(int(std::ceil(8 / by)), 1, 8);
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

void showPreviewLater(QLabel* view, const QString& path) {
    request(view, path);
}

void clearPreview(QLabel* view) {
    for (QObject* delivery :
         view->findChildren<QObject*>(kDeliveryName, Qt::FindDirectChildrenOnly))
        delete delivery;
    view->setProperty(kImage, QImage());
    view->setProperty(kFullSize, QSize());
}

int previewDecodesRunning() {
    return running.load();
}

int previewDecodesStopped() {
    return stopped.load();
}

void waitForPreviewDecodes() {
    decoders().waitForDone();
}

}  // namespace ferrodock
