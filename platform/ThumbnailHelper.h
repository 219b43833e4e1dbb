#pragma once

// The history's thumbnail of a picture for a program without Qt Gui: the window program,
// started in its thumbnail mode, decodes the picture and writes the thumbnail.

#include <QByteArray>
#include <QString>

namespace ferrodock {

// Asks for the thumbnail mode in the window program's environment; its one argument is the
// picture's path.
inline constexpr char kThumbnailMode[] = "FERRODOCK_THUMBNAIL";

// What `program` in thumbnail mode writes for `path`: empty when it is not a picture or the
// program failed. Its messages go to this process's standard error.
QByteArray thumbnailByHelper(const QByteArray& program, const QString& path);

}  // namespace ferrodock
