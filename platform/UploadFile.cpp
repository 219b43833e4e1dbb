#include "platform/Transfer.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// The upload file: its size when the request is queued, its descriptor when the request goes
// out. Nothing here may block the transport thread.
namespace ferrodock::transfer {

namespace {

// Files that report size 0 are pseudo-files (/proc, /sys) of a few KiB; anything past this is
// refused rather than held in memory. It matches the cap on what an answer may take.
constexpr qint64 kMaxUnsizedFileBytes = 1 << 20;

// Notes why the upload file cannot be sent: `kind` for the person, "`doing` the file: " and
// the system's words for the log. Returns false.
bool refuse(UploadBody& u, QString& failure, TransportError kind, const char* doing) {
    const int error = errno;
    u.problem = kind;
    failure =
        QStringLiteral("cannot %1 %2: %3")
            .arg(QLatin1String(doing), u.filePath, QString::fromLocal8Bit(std::strerror(error)));
    return false;
}

// The same for a failed open or stat, which may mean the file is gone.
bool refuseOpen(UploadBody& u, QString& failure) {
    const bool gone = errno == ENOENT || errno == ENOTDIR;
    return refuse(u, failure, gone ? TransportError::FileGone : TransportError::FileUnreadable,
                  "open");
}

bool notRegular(UploadBody& u, QString& failure) {
    u.problem = TransportError::NotRegular;
    failure = QStringLiteral("%1 is not a regular file").arg(u.filePath);
    return false;
}

}  // namespace

bool prepareUpload(UploadBody& u, QString& failure) {
    const QByteArray path = QFile::encodeName(u.filePath);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return refuseOpen(u, failure);
    if (!S_ISREG(st.st_mode)) return notRegular(u, failure);
    u.fileSize = st.st_size;
    if (st.st_size > 0) return true;
    if (!openUpload(u, failure)) return false;
    u.readWhole = true;
    for (;;) {
        char buffer[16384];
        const ssize_t n = TEMP_FAILURE_RETRY(::read(u.fd, buffer, sizeof buffer));
        if (n < 0) return refuse(u, failure, TransportError::FileUnreadable, "read");
        if (n == 0) return true;
        if (u.content.size() + n > kMaxUnsizedFileBytes) {
            u.problem = TransportError::FileUnreadable;
            failure = QStringLiteral("%1 reports no size and holds more than %2 bytes")
                          .arg(u.filePath)
                          .arg(kMaxUnsizedFileBytes);
            return false;
        }
        u.content.append(buffer, n);
    }
}

bool openUpload(UploadBody& u, QString& failure) {
    if (u.fd >= 0) return true;
    const QByteArray path = QFile::encodeName(u.filePath);
    // Non-blocking, so that a pipe or a device put in the file's place cannot hold the
    // transport thread in open(); only the descriptor's own type counts, not the name's.
    u.fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (u.fd < 0) return refuseOpen(u, failure);
    struct stat st {};
    if (::fstat(u.fd, &st) != 0) return refuse(u, failure, TransportError::FileUnreadable, "read");
    if (!S_ISREG(st.st_mode)) return notRegular(u, failure);
    if (st.st_size != u.fileSize) {
        u.problem = TransportError::FileChanged;
        failure = QStringLiteral("%1 changed size before the upload started").arg(u.filePath);
        return false;
    }
    return true;
}

}  // namespace ferrodock::transfer
