#include "app/Preview.h"

#include <QEvent>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace ferrodock {

namespace {

std::atomic<int> running{0};

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

// Where a worker hands its result. It lives on the main thread as a child of the view; once
// it is gone (a newer request, a reset, the view destroyed) the worker's result is dropped.
struct Mailbox {
    std::mutex mutex;
    QObject* receiver = nullptr;
};

class Delivery final : public QObject {
public:
    Delivery(QLabel* view, std::shared_ptr<Mailbox> mailbox)
        : QObject(view), mailbox_(std::move(mailbox)) {
        setObjectName(kDeliveryName);
        mailbox_->receiver = this;
    }
    ~Delivery() override {
        const std::lock_guard<std::mutex> lock(mailbox_->mutex);
        mailbox_->receiver = nullptr;
    }

private:
    std::shared_ptr<Mailbox> mailbox_;
};

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

void request(QLabel* view, const QString& path) {
    clearPreview(view);
    view->setProperty(kPath, path);
    if (!view->findChild<QObject*>(kFollowerName, Qt::FindDirectChildrenOnly)) new Follower(view);

    auto mailbox = std::make_shared<Mailbox>();
    new Delivery(view, mailbox);
    const QSize box = deviceBox(view);
    running.fetch_add(1);
    std::thread([mailbox, path, box] {
        const PreviewPicture picture = decodePreview(path, box);
        {
            const std::lock_guard<std::mutex> lock(mailbox->mutex);
            if (QObject* receiver = mailbox->receiver) {
                QMetaObject::invokeMethod(
                    receiver,
                    [receiver, path, picture] {
                        auto* target = static_cast<QLabel*>(receiver->parent());
                        receiver->deleteLater();
                        target->setProperty(kImage, picture.image);
                        target->setProperty(kFullSize, picture.fullSize);
                        if (picture.image.isNull()) {
                            target->clear();
                        } else {
                            show(target);
                        }
                    },
                    Qt::QueuedConnection);
            }
        }
        running.fetch_sub(1);
    }).detach();
}

}  // namespace

PreviewPicture decodePreview(const QString& path, QSize box) {
    PreviewPicture picture;
    // A FIFO or a device could block a plain open() or read() for good.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return picture;
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return picture;
    }
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(1024);  // MiB: a 100-megapixel picture at 8 bytes a pixel
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxPreviewPixels) {
        return picture;
    }
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    picture.fullSize = turned ? size.transposed() : size;
    const QSize target = fitted(picture.fullSize, box);
    // Other decoders' reduced decoding is not exact (Qt 6.4 turns palette PNGs into noise).
    if (reader.format() == "jpeg" && target != picture.fullSize) {
        reader.setScaledSize(turned ? target.transposed() : target);
    }
    QImage image = reader.read();
    if (image.isNull()) return picture;
    if (image.size() != target) {
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    picture.image = image;
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

}  // namespace ferrodock
