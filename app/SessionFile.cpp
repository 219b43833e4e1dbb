#include "app/SessionFile.h"

#include "app/Answers.h"
#include "app/Feedback.h"

#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace ferrodock {

namespace {

std::optional<QByteArray> sessionFilePath() {
    const std::optional<QString> dir = documentsDirectory();
    if (!dir) return std::nullopt;
    return QFile::encodeName(*dir + QLatin1Char('/') + QLatin1String(kSessionFileName));
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
    const std::optional<QString> decoded = decodeUtf8(text);
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
    // The previous login must not come back at the next start.
    ::unlink(path->constData());
    qCWarning(lcSession, "the login is not remembered: %s", qUtf8Printable(reason));
    return false;
}

// Only the file itself: a name beside it may be the user's own (a backup, say).
void clearSessionFile() {
    const std::optional<QByteArray> path = sessionFilePath();
    if (path) ::unlink(path->constData());
}

}  // namespace ferrodock
