#include "platform/FileNames.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

namespace ferrodock {

bool pathKeepsItsBytes(const QString& path) {
    if (!path.contains(QChar::ReplacementCharacter)) return true;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return false;
    // Each piece holding U+FFFD, the first of a relative path too, must have no sibling that
    // decodes to the same text. Pieces are listed where they were written (".." included), so
    // the folder listed is the one the kernel walks through.
    QString parent = path.startsWith(QLatin1Char('/')) ? QString() : QStringLiteral(".");
    for (const QString& piece : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (piece.contains(QChar::ReplacementCharacter)) {
            const QByteArray exact = QFile::encodeName(piece);
            DIR* dir = ::opendir(parent.isEmpty() ? "/" : QFile::encodeName(parent).constData());
            if (!dir) return false;
            bool twin = false;
            while (const dirent* entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != exact && QFile::decodeName(name) == piece) twin = true;
            }
            ::closedir(dir);
            if (twin) return false;
        }
        parent += QLatin1Char('/') + piece;
    }
    return true;
}

}  // namespace ferrodock
