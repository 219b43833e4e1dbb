#include "app/SessionFile.h"

#include "app/Text.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

namespace ferrodock {

namespace {

std::optional<QByteArray> sessionFilePath() {
    const std::optional<QString> dir = documentsDirectory();
    if (!dir) return std::nullopt;
    return QFile::encodeName(*dir + QLatin1Char('/') + QLatin1String(kSessionFileName));
}

bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= n;
    }
    return true;
}

}  // namespace

std::optional<QString> documentsDirectory() {
    const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    if (dirs.isEmpty() || dirs.first().isEmpty()) return std::nullopt;
    return dirs.first();
}

QByteArray sessionText(const QString& userName, const QString& apiKey) {
    return (userName + QLatin1Char(',') + apiKey).toUtf8();
}

std::optional<Session> parseSessionText(QByteArrayView text) {
    const std::optional<QString> decoded = decodeAnswer(text);
    if (!decoded) return std::nullopt;
    const qsizetype comma = decoded->indexOf(QLatin1Char(','));
    // The writer always puts a comma after the user name; without one there is no key, and a
    // name without a key is not a login.
    if (comma < 0) return std::nullopt;
    const qsizetype next = decoded->indexOf(QLatin1Char(','), comma + 1);
    Session session;
    session.userName = decoded->left(comma);
    session.apiKey = decoded->mid(comma + 1, next < 0 ? -1 : next - comma - 1);
    return session;
}

std::optional<Session> readSessionFile() {
    const std::optional<QByteArray> path = sessionFilePath();
    if (!path) return std::nullopt;
    const int fd = ::open(path->constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    QByteArray content;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kSessionFileLimit;
    if (ok) {
        // Read one byte past the limit so a file that grew since fstat is still refused.
        content.resize(kSessionFileLimit + 1);
        qsizetype got = 0;
        while (got < content.size()) {
            const ssize_t n = ::read(fd, content.data() + got, size_t(content.size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            got += n;
        }
        content.truncate(got);
        ok = ok && got <= kSessionFileLimit;
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    return parseSessionText(content);
}

bool writeSessionFile(const QString& userName, const QString& apiKey) {
    const std::optional<QByteArray> path = sessionFilePath();
    if (!path) return false;
    // A temporary file in the same folder, made owner-only by mkstemp, then renamed over the
    // old one: a crash or a full disk never leaves a half-written session behind.
    QByteArray temp = *path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    const bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 &&
                         writeAll(fd, sessionText(userName, apiKey)) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.constData(), path->constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

void clearSessionFile() {
    const std::optional<QByteArray> path = sessionFilePath();
    if (!path) return;
    ::unlink(path->constData());
    // A write cut short between writing and renaming leaves its temporary copy behind; it holds
    // the key too, so it goes with the file.
    const std::optional<QString> dir = documentsDirectory();
    const QString pattern = QLatin1String(kSessionFileName) + QStringLiteral(".??????");
    for (const QFileInfo& stray :
         QDir(*dir).entryInfoList({pattern}, QDir::Files | QDir::Hidden | QDir::System)) {
        if (!stray.isSymLink()) ::unlink(QFile::encodeName(stray.filePath()).constData());
    }
}

}  // namespace ferrodock
