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

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// What a failed open or stat of the upload file means to the person who chose it.
TransportError openProblem(int error) {
    return error == ENOENT || error == ENOTDIR ? TransportError::FileGone
                                               : TransportError::FileUnreadable;
}

}  // namespace

bool prepareUpload(UploadBody& u, QString& failure) {
    const QByteArray path = QFile::encodeName(u.filePath);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        u.problem = openProblem(errno);
        failure = QStringLiteral("cannot open %1: %2").arg(u.filePath, systemError(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        u.problem = TransportError::NotRegular;
        failure = QStringLiteral("%1 is not a regular file").arg(u.filePath);
        return false;
    }
    u.fileSize = st.st_size;
    if (st.st_size > 0) return true;
    if (!openUpload(u, failure)) return false;
    u.readWhole = true;
    for (;;) {
        char buffer[16384];
        const ssize_t n = ::read(u.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            u.problem = TransportError::FileUnreadable;
            failure = QStringLiteral("cannot read %1: %2").arg(u.filePath, systemError(errno));
            return false;
        }
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
    if (u.fd < 0) {
        u.problem = openProblem(errno);
        failure = QStringLiteral("cannot open %1: %2").arg(u.filePath, systemError(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(u.fd, &st) != 0) {
        u.problem = TransportError::FileUnreadable;
        failure = QStringLiteral("cannot read %1: %2").arg(u.filePath, systemError(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        u.problem = TransportError::NotRegular;
        failure = QStringLiteral("%1 is not a regular file").arg(u.filePath);
        return false;
    }
    if (st.st_size != u.fileSize) {
        u.problem = TransportError::FileChanged;
        failure = QStringLiteral("%1 changed size before the upload started").arg(u.filePath);
        return false;
    }
    return true;
}

}  // namespace ferrodock::transfer
