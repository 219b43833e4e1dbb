#include "core/SessionFile.h"

#include "core/Answers.h"
#include "core/Feedback.h"

#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace ferrodock {

namespace {

std::optional<QByteArray> sessionFilePath() {
    const std::optional<QString> dir = documentsDirectory();
    if (!dir) return std::nullopt;
    return QFile::encodeName(*dir + QLatin1Char('/') + QLatin1String(kSessionFileName));
}

// The session in the regular file open as `fd`, read from where the file offset stands.
std::optional<SavedLogin> readSession(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kSessionFileLimit)
        return std::nullopt;
    // Read one byte past the limit so a file that grew since fstat is still refused.
    QByteArray content(kSessionFileLimit + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < content.size()) {
        const ssize_t n =
            TEMP_FAILURE_RETRY(::read(fd, content.data() + got, size_t(content.size() - got)));
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        got += n;
    }
    if (got > kSessionFileLimit) return std::nullopt;
    content.truncate(got);
    return parseSessionText(content);
}

// A login written through a symbolic link lies in the link's target, a file of the user's:
// ferrodock did not make that name, so it empties the file and never removes it. Only a
// regular file of the user's that holds a session is touched; a FIFO or a device is never
// opened, so nothing blocks.
void emptyLinkTarget(const QByteArray& link) {
    struct stat target {};
    if (::stat(link.constData(), &target) != 0 || !S_ISREG(target.st_mode) ||
        target.st_uid != ::geteuid())
        return;
    int fd = ::open(link.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    const bool writable = fd >= 0;
    if (!writable) fd = ::open(link.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return;  // unreadable: it cannot have been read as a session either
    struct stat opened {};
    // The file stat looked at, not one put in its place since.
    const bool same = ::fstat(fd, &opened) == 0 && opened.st_dev == target.st_dev &&
                      opened.st_ino == target.st_ino;
    if (same && readSession(fd) && !(writable && ::ftruncate(fd, 0) == 0)) {
        qCWarning(lcSession, "logged out, but the file %s points to still holds the key: %s",
                  link.constData(), writable ? std::strerror(errno) : "it is read-only");
    }
    ::close(fd);
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

std::optional<SavedLogin> parseSessionText(QByteArrayView text) {
    const std::optional<QString> decoded = decodeUtf8(text);
    if (!decoded) return std::nullopt;
    const qsizetype comma = decoded->indexOf(QLatin1Char(','));
    // The writer always puts a comma after the user name; without one there is no key, and a
    // name without a key is not a login.
    if (comma < 0) return std::nullopt;
    SavedLogin session;
    session.userName = decoded->left(comma);
    session.apiKey = decoded->section(QLatin1Char(','), 1, 1);  // up to a second comma
    return session;
}

std::optional<SavedLogin> readSessionFile() {
    const std::optional<QByteArray> path = sessionFilePath();
    if (!path) return std::nullopt;
    const int fd = ::open(path->constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    std::optional<SavedLogin> session = readSession(fd);
    ::close(fd);
    return session;
}

bool writeSessionFile(const QString& userName, const QString& apiKey) {
    const std::optional<QByteArray> path = sessionFilePath();
    if (!path) return false;
    // QSaveFile writes through a symbolic link to its target and replaces the file atomically;
    // when the folder takes no new file it rewrites the existing one in place. On Linux its
    // temporary copy has no name (O_TMPFILE) until the moment it replaces the file.
    QSaveFile file(QFile::decodeName(*path));
    const QByteArray text = sessionText(userName, apiKey);
    file.setDirectWriteFallback(true);
    // commit() does not notice when its own flush of buffered data comes up short (a full
    // disk); it would put a cut-off key in place. The explicit flush does notice.
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                       file.write(text) == text.size() && file.flush() && file.commit();
    if (saved) return true;
    const QString reason = file.errorString();
    file.cancelWriting();
    // The previous login must not come back at the next start, nor stay behind a link.
    clearSessionFile();
    qCWarning(lcSession, "the login is not remembered: %s", qUtf8Printable(reason));
    return false;
}

// The file itself, or the link and what it holds of a login: a name beside it may be the user's
// own (a backup, say).
void clearSessionFile() {
    const std::optional<QByteArray> path = sessionFilePath();
    struct stat st {};
    if (!path || ::lstat(path->constData(), &st) != 0) return;
    if (S_ISLNK(st.st_mode)) emptyLinkTarget(*path);
    ::unlink(path->constData());
}

}  // namespace ferrodock
