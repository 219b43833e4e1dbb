#include "cli/CommandSupport.h"

#include "core/ImageTypes.h"
#include "core/ScratchFolder.h"

#include <QFile>
#include <QFileInfo>

#include <pthread.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace ferrodock::cli {

namespace {

// Read and written in pieces of this size: a pipe of any length costs no more memory.
constexpr qsizetype kPiece = 64 * 1024;

// What a signal handler removes: plain bytes, as nothing else may be touched there.
char doomedFile[4096];
char doomedFolder[4096];
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void removeAndEnd(int signal) {
    if (doomedFile[0]) {
        ::unlink(doomedFile);
        ::rmdir(doomedFolder);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

bool isFileName(const QString& name) {
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == u'/' ||
            c == QChar::ReplacementCharacter)
            return false;
    }
    return !name.isEmpty() && name != u"." && name != u".." &&
           QFile::encodeName(name).size() <= 255;
}

ScratchRelease::ScratchRelease(ScratchFolder* folder) : folder_(folder) {}

ScratchRelease::~ScratchRelease() {
    if (path_.isEmpty()) return;
    // A file refused half written is gone already; releasing it again does nothing.
    folder_->release(path_);
    doomedFile[0] = '\0';
    for (const auto& [signal, previous] : taken_) ::sigaction(signal, &previous, nullptr);
}

void ScratchRelease::hold(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    if (!path_.isEmpty()) return;
    path_ = path;
    if (file.size() >= qsizetype(sizeof doomedFile)) return;  // left to the next sweep
    qstrncpy(doomedFolder, folder.constData(), sizeof doomedFolder);
    qstrncpy(doomedFile, file.constData(), sizeof doomedFile);
    struct sigaction remove {};
    remove.sa_handler = removeAndEnd;
    for (const int signal : kEndingSignals) {
        // A signal someone else ignores or handles stays theirs.
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL &&
            ::sigaction(signal, &remove, nullptr) == 0)
            taken_.emplace_back(signal, previous);
    }
}

std::optional<QString> readIntoScratch(const CommandStreams& io, const QString& name, bool image,
                                       ScratchRelease& release) {
    const QString what = QStringLiteral("standard input");
    const auto unreadable = [&io, &what] {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        complain(io, what + QStringLiteral(" cannot be read: ") + why);
        return std::nullopt;
    };
    QByteArray piece(kPiece, Qt::Uninitialized);
    errno = 0;
    size_t n = std::fread(piece.data(), 1, size_t(kPiece), io.in);
    if (std::ferror(io.in)) return unreadable();
    if (n == 0) {
        complain(io, what + QStringLiteral(" is empty; nothing was sent"));
        return std::nullopt;
    }
    // The type is read from the bytes, not trusted to a name.
    const QString type = pictureTypeOf(QByteArrayView(piece.constData(), qsizetype(n)));
    if (image && type.isEmpty()) {
        complain(io, what + QStringLiteral(" is not a PNG, JPEG or GIF picture"));
        return std::nullopt;
    }
    const QString fileName = !name.isEmpty()  ? name
                             : type.isEmpty() ? QStringLiteral("stdin")
                                              : QStringLiteral("stdin.") + type;
    // No ending signal between making the file and watching for one.
    sigset_t ending, before;
    sigemptyset(&ending);
    for (const int signal : kEndingSignals) sigaddset(&ending, signal);
    ::pthread_sigmask(SIG_BLOCK, &ending, &before);
    ScratchFile file;
    if (io.scratch) file = io.scratch->create(fileName);
    if (file.isOpen()) release.hold(file.path());
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!file.isOpen()) {
        complain(io, what + QStringLiteral(": ") +
                         (io.scratch ? file.error() : QStringLiteral("no place to keep it")));
        return std::nullopt;
    }
    while (n > 0) {
        if (!file.write(QByteArrayView(piece.constData(), qsizetype(n)))) {
            complain(io, what + QStringLiteral(": ") + file.error());
            return std::nullopt;
        }
        errno = 0;
        n = std::fread(piece.data(), 1, size_t(kPiece), io.in);
    }
    if (std::ferror(io.in)) return unreadable();
    std::optional<QString> path = file.finish();
    if (!path) complain(io, what + QStringLiteral(": ") + file.error());
    return path;
}

}  // namespace ferrodock::cli
