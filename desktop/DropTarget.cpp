#include "desktop/DropTarget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <sys/stat.h>

namespace ferrodock {

namespace {

class DropFilter final : public QObject {
public:
    DropFilter(QWidget* view, QStringList types, std::function<void(const QString&)> onFile)
        : QObject(view), types_(std::move(types)), onFile_(std::move(onFile)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDropEvent*>(event);
                if (acceptable(drag->mimeData()).isEmpty()) {
                    drag->ignore();
                } else {
                    drag->acceptProposedAction();
                }
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                const QStringList paths = acceptable(drop->mimeData());
                if (paths.isEmpty()) {
                    drop->ignore();
                    return true;
                }
                drop->acceptProposedAction();
                for (const QString& path : paths) onFile_(path);
                return true;
            }
            default:
                return false;
        }
    }

private:
    QStringList acceptable(const QMimeData* data) const {
        QStringList paths;
        if (!data || !data->hasUrls()) return paths;
        for (const QUrl& url : data->urls()) {
            if (!url.isLocalFile()) continue;
            // The URL keeps the name's own bytes, also when they are not UTF-8; the text
            // path does not, and the receiver is told by pathKeepsItsBytes().
            const QByteArray bytes =
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
            struct stat info {};
            if (::stat(bytes.constData(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
            const QString path = url.toLocalFile();
            if (!types_.isEmpty() &&
                !types_.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive))
                continue;
            paths << path;
        }
        return paths;
    }

    QStringList types_;
    std::function<void(const QString&)> onFile_;
};

}  // namespace

void acceptFileDrops(QWidget* view, const QStringList& types,
                     std::function<void(const QString& path)> onFile) {
    view->setAcceptDrops(true);
    view->installEventFilter(new DropFilter(view, types, std::move(onFile)));
}

}  // namespace ferrodock
