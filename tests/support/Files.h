#pragma once

#include <QtGui>

#include <linux/capability.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>

namespace ferrodock::test {

// Writes `bytes` to `name` in `dir` and gives its path; a test cannot go on without it.
inline QString makeFile(const QDir& dir, const QString& name, const QByteArray& bytes = {}) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// What the file at `path` holds, or `otherwise` when it cannot be read.
inline QByteArray readFile(const QString& path, const QByteArray& otherwise = "") {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : otherwise;
}

// The permission bits of `path` itself, not of what a link points to; -1 when it is missing.
inline int fileMode(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A nameless read-write stream, as std::tmpfile() gives, but in the temporary folder the
// environment names ($TMPDIR), not in /tmp, which an unprivileged run may not write to.
inline std::FILE* tempStream() {
    QByteArray name = QFile::encodeName(QDir::tempPath()) + "/stream-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) qFatal("cannot make a file in %s", qPrintable(QDir::tempPath()));
    ::unlink(name.constData());
    return ::fdopen(fd, "w+");
}

// What was written to a temporary stream; closes it.
inline QByteArray contents(std::FILE* file) {
    std::rewind(file);
    QFile read;
    return read.open(file, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) ? read.readAll() : "";
}

// A plain PNG of `size` under `name` in `dir`.
inline QString makeImage(const QDir& dir, const QString& name, QSize size = QSize(64, 48)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 80, 40));
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG")) qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Root passes every permission check; without that power this thread sees folders and files
// refused as a user does (access() too, which asks what the thread could take back). A
// program it starts gets the power back.
inline void dropRootsFilePowers() {
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    if (::syscall(SYS_capget, &head, caps) != 0) qFatal("cannot read this thread's powers");
    const __u32 keep = ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
    caps[0].effective &= keep, caps[0].permitted &= keep;
    if (::syscall(SYS_capset, &head, caps) != 0) qFatal("cannot drop this thread's powers");
}

// Bytes with no short period, so a shifted or repeated piece shows.
inline QByteArray patternBytes(qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i) bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

}  // namespace ferrodock::test
