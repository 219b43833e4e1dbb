#include "app/ImageTypes.h"

namespace ferrodock {

const QStringList& imageFileTypes() {
    static const QStringList types{QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                   QStringLiteral("gif"), QStringLiteral("png")};
    return types;
}

}  // namespace ferrodock
