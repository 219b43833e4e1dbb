#pragma once

#include <QStringList>

namespace ferrodock {

// The file name extensions the image endpoint takes, lower case; compared in any case.
inline const QStringList& imageFileTypes() {
    static const QStringList types{QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                   QStringLiteral("gif"), QStringLiteral("png")};
    return types;
}

}  // namespace ferrodock
