#pragma once

#include <QStringList>

namespace ferrodock {

// The file name extensions the image endpoint takes, lower case; compared in any case.
const QStringList& imageFileTypes();

}  // namespace ferrodock
