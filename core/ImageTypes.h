#pragma once

#include <QByteArrayView>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace ferrodock {

// The file name extensions the image endpoint takes, lower case; compared in any case.
inline const QStringList& imageFileTypes() {
    static const QStringList types{QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                   QStringLiteral("gif"), QStringLiteral("png")};
    return types;
}

// Whether the image endpoint takes a file of this name (or path), by its extension.
inline bool isImageFileName(const QString& name) {
    return imageFileTypes().contains(QFileInfo(name).suffix(), Qt::CaseInsensitive);
}

// The extension of the picture type that `head`, the first bytes of a file, begins with: "png",
// "jpg" or "gif"; empty for anything else. Only the signature is read: what follows it may
// still be broken, as the service finds out.
inline QString pictureTypeOf(QByteArrayView head) {
    if (head.startsWith(QByteArrayView("\x89PNG\r\n\x1a\n", 8))) return QStringLiteral("png");
    if (head.startsWith(QByteArrayView("\xff\xd8\xff", 3))) return QStringLiteral("jpg");
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) return QStringLiteral("gif");
    return {};
}

}  // namespace ferrodock
