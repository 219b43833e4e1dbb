#pragma once

#include <QString>

namespace ferrodock {

// Whether the bytes that `path` encodes to (Qt file names are UTF-8) name the file the user
// saw. A name that is not UTF-8 decodes with U+FFFD and encodes back to other bytes, which may
// name a sibling file; such a path names no file, or one of several.
bool pathKeepsItsBytes(const QString& path);

}  // namespace ferrodock
