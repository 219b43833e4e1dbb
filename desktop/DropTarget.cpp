#include "desktop/DropTarget.h"

#include <QBuffer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QWidget>

#include <sys/stat.h>

namespace ferrodock {

namespace {

class DropFilter final : public QObject {
public:
    DropFilter(QWidget* view, std::function<bool(const QMimeData*)> wanted,
               std::function<void(const QMimeData*)> onDrop)
        : QObject(view), wanted_(std::move(wanted)), onDrop_(std::move(onDrop)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                if (!drop->mimeData() || !wanted_(drop->mimeData())) {
                    drop->ignore();
                    return true;
                }
                drop->acceptProposedAction();
                if (event->type() == QEvent::Drop) onDrop_(drop->mimeData());
                return true;
            }
            default:
                return false;
        }
    }

private:
    std::function<bool(const QMimeData*)> wanted_;
    std::function<void(const QMimeData*)> onDrop_;
};

const QString kPngType = QStringLiteral("image/png");

// The picture types of `data` that can be decoded, PNG first.
QStringList pictureTypes(const QMimeData* data) {
    QStringList types;
    const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
    for (const QString& type : data->formats()) {
        if (!readable.contains(type.toLatin1())) continue;
        type == kPngType ? types.prepend(type) : types.append(type);
    }
    return types;
}

}  // namespace

void takeDrops(QWidget* view, std::function<bool(const QMimeData*)> wanted,
               std::function<void(const QMimeData*)> onDrop) {
    view->setAcceptDrops(true);
    view->installEventFilter(new DropFilter(view, std::move(wanted), std::move(onDrop)));
}

bool isWebAddress(const QUrl& url) {
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

QList<QUrl> offeredUrls(const QMimeData* data) {
    if (data->hasUrls()) return data->urls();
    // A browser's link: UTF-16, the address on the first line, its title on the second.
    const QByteArray link = data->data(QStringLiteral("text/x-moz-url"));
    const QString text =
        !link.isEmpty() ? QString::fromUtf16(reinterpret_cast<const char16_t*>(link.constData()),
                                             link.size() / 2)
                              .section(QLatin1Char('\n'), 0, 0)
                        : data->text();
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (isWebAddress(url) && !text.trimmed().contains(QLatin1Char(' '))) return {url};
    return {};
}

QStringList localFiles(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        // The URL keeps the name's own bytes, also when they are not UTF-8; the text path
        // does not, and the receiver is told by pathKeepsItsBytes().
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        struct stat info {};
        if (::stat(bytes.constData(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
        paths << url.toLocalFile();
    }
    return paths;
}

bool offersPicture(const QMimeData* data) {
    return data->hasImage() || !pictureTypes(data).isEmpty();
}

QByteArray offeredPng(const QMimeData* data) {
    const QStringList types = pictureTypes(data);
    QImage image;
    if (!types.isEmpty()) {
        const QByteArray bytes = data->data(types[0]);
        if (types[0] == kPngType && bytes.startsWith("\x89PNG\r\n\x1a\n")) return bytes;
        image = QImage::fromData(bytes);
    }
    if (image.isNull() && data->hasImage()) image = qvariant_cast<QImage>(data->imageData());
    QByteArray png;
    QBuffer out(&png);
    // Written on the main thread: this level takes a third of the default's time (a second
    // for a 4K photograph) and gives no larger a file.
    QImageWriter writer(&out, "png");
    writer.setQuality(50);
    if (image.isNull() || !out.open(QIODevice::WriteOnly) || !writer.write(image)) return {};
    return png;
}

}  // namespace ferrodock
