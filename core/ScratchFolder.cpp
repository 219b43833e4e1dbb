#include "core/ScratchFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

namespace ferrodock {

namespace {

constexpr char kLockName[] = ".lock";
// A process folder with no lock yet is being made; one older than this was left half made.
constexpr time_t kHalfMadeAge = 60;

QString systemError(const QString& what, const QString& path) {
    return QStringLiteral("%1 %2: %3")
        .arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}

// A folder of the user's alone: made 0700 where missing; refused when it is anything but a
// directory owned by the user (a link, someone else's), narrowed to 0700 when it is wider.
bool ensurePrivateFolder(const QString& path, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        *error = systemError(QStringLiteral("cannot make the folder"), path);
        return false;
    }
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        *error = QStringLiteral("%1 is not a folder of yours; remove it and try again").arg(path);
        return false;
    }
    if ((st.st_mode & 0777) != 0700 && ::chmod(name.constData(), 0700) != 0) {
        *error = systemError(QStringLiteral("cannot make private the folder"), path);
        return false;
    }
    return true;
}

// Whether the process that made `folder` is gone: its lock can be taken, or it never got
// one and is older than a half-made folder can be.
bool abandoned(const QByteArray& folder) {
    const int fd = ::open((folder + '/' + kLockName).constData(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
    if (fd < 0) {
        struct stat st {};
        return errno == ENOENT && ::lstat(folder.constData(), &st) == 0 &&
               std::time(nullptr) - st.st_mtime > kHalfMadeAge;
    }
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

// Every file lies in a folder of its own, which goes with it.
void removeWithFolder(const QString& path) {
    ::unlink(QFile::encodeName(path).constData());
    ::rmdir(QFile::encodeName(QFileInfo(path).path()).constData());
}

}  // namespace

ScratchFile::ScratchFile(ScratchFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::exchange(other.path_, {})),
      error_(std::move(other.error_)) {}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
    if (this != &other) {
        discard();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::exchange(other.path_, {});
        error_ = std::move(other.error_);
    }
    return *this;
}

ScratchFile::~ScratchFile() {
    discard();
}

// Closes and removes a file not finished, with its folder.
void ScratchFile::discard() {
    if (fd_ < 0) return;
    ::close(std::exchange(fd_, -1));
    removeWithFolder(std::exchange(path_, {}));
}

bool ScratchFile::write(QByteArrayView bytes) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = TEMP_FAILURE_RETRY(::write(fd_, data, size_t(left)));
        if (n <= 0) {
            error_ = systemError(QStringLiteral("cannot write"), path_);
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

std::optional<QString> ScratchFile::finish() {
    if (fd_ < 0) return std::nullopt;
    // A file system that writes back late may report a full disk only here.
    if (::close(std::exchange(fd_, -1)) != 0) {
        error_ = systemError(QStringLiteral("cannot write"), path_);
        removeWithFolder(std::exchange(path_, {}));
        return std::nullopt;
    }
    return path_;
}

ScratchFolder::~ScratchFolder() {
    if (!own_.isEmpty()) QDir(own_).removeRecursively();
    if (lock_ >= 0) ::close(lock_);
}

QString ScratchFolder::defaultRoot() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/'))) return runtime + QStringLiteral("/ferrodock");
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!cache.startsWith(QLatin1Char('/'))) cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/ferrodock/scratch");
}

void ScratchFolder::sweep() {
    if (root_.isEmpty()) root_ = defaultRoot();
    const QByteArray root = QFile::encodeName(root_);
    DIR* dir = ::opendir(root.constData());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith("run-")) continue;
        const QByteArray folder = root + '/' + name;
        if (QFile::encodeName(own_) != folder && abandoned(folder))
            QDir(QFile::decodeName(folder)).removeRecursively();
    }
    ::closedir(dir);
}

bool ScratchFolder::prepare(QString* error) {
    if (!own_.isEmpty()) return true;
    if (root_.isEmpty()) root_ = defaultRoot();
    // The cache folder's parents are ordinary ones; only the last is ferrodock's private one.
    QDir().mkpath(QFileInfo(root_).path());
    if (!ensurePrivateFolder(root_, error)) return false;
    sweep();
    QByteArray folder = QFile::encodeName(root_) + "/run-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        *error = systemError(QStringLiteral("cannot make a folder in"), root_);
        return false;
    }
    const int lock = ::open((folder + '/' + kLockName).constData(),
                            O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        *error = systemError(QStringLiteral("cannot lock a folder in"), root_);
        if (lock >= 0) ::close(lock);
        QDir(QFile::decodeName(folder)).removeRecursively();
        return false;
    }
    lock_ = lock;
    own_ = QFile::decodeName(folder);
    return true;
}

ScratchFile ScratchFolder::create(const QString& fileName) {
    ScratchFile file;
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) ||
        fileName == QLatin1String(".") || fileName == QLatin1String("..") ||
        fileName.contains(QChar(0))) {
        file.error_ = QStringLiteral("'%1' is not a file name").arg(fileName);
        return file;
    }
    if (!prepare(&file.error_)) return file;
    const QString folder = own_ + QLatin1Char('/') + QString::number(++next_);
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
        file.error_ = systemError(QStringLiteral("cannot make the folder"), folder);
        return file;
    }
    const QString path = folder + QLatin1Char('/') + fileName;
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0) {
        file.error_ = systemError(QStringLiteral("cannot make"), path);
        ::rmdir(QFile::encodeName(folder).constData());
        return file;
    }
    return ScratchFile(fd, path);
}

std::optional<QString> ScratchFolder::write(const QString& fileName, QByteArrayView bytes,
                                            QString* error) {
    ScratchFile file = create(fileName);
    std::optional<QString> path = file.isOpen() && file.write(bytes) ? file.finish() : std::nullopt;
    if (!path && error) *error = file.error();
    return path;
}

bool ScratchFolder::holds(const QString& path) const {
    if (own_.isEmpty()) return false;
    const QFileInfo info(QDir::cleanPath(path));
    return QFileInfo(info.path()).path() == own_ && info.fileName() != QLatin1String(kLockName);
}

void ScratchFolder::release(const QString& path) {
    if (holds(path)) removeWithFolder(QDir::cleanPath(path));
}

}  // namespace ferrodock
