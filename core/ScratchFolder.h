#pragma once

// Where bytes that are not yet a file wait for their upload: a pasted, dropped or captured
// picture, or standard input. The folder is ferrodock's own (0700), under $XDG_RUNTIME_DIR, or
// the cache folder where there is none; each process keeps its files in a folder of its own,
// locked while it runs, so that a start removes what a crashed run left and never what a
// running one holds. Every file is 0600, in a folder of its own so it keeps the name the
// service is to get.

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace ferrodock {

// A file being written into the scratch folder: write() it, then finish().
class ScratchFile {
public:
    ScratchFile() = default;
    ScratchFile(ScratchFile&& other) noexcept;
    ScratchFile& operator=(ScratchFile&& other) noexcept;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    // An unfinished file is removed.
    ~ScratchFile();

    bool isOpen() const { return fd_ >= 0; }
    const QString& path() const { return path_; }
    // False, with the reason in error(), when not every byte went out.
    bool write(QByteArrayView bytes);
    // Closes the file and returns its path; none when it could not be written whole.
    std::optional<QString> finish();
    const QString& error() const { return error_; }

private:
    friend class ScratchFolder;
    ScratchFile(int fd, QString path) : fd_(fd), path_(std::move(path)) {}
    void discard();

    int fd_ = -1;
    QString path_;
    QString error_;
};

class ScratchFolder {
public:
    // Touches nothing on disk; the folder is made when the first file is, in `root`, or in
    // defaultRoot() when that is empty (a test gives one of its own).
    explicit ScratchFolder(const QString& root = {}) : root_(root) {}
    // Removes this process's folder and everything in it.
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The shared folder: $XDG_RUNTIME_DIR/ferrodock, or ~/.cache/ferrodock/scratch (honouring
    // $XDG_CACHE_HOME) when the runtime folder is unset or not an absolute path.
    static QString defaultRoot();

    // Removes the folders of processes that are gone. Done once before the first file; the
    // window calls it at start too.
    void sweep();

    // A new empty file named `fileName` (no folder part), opened for writing; on failure the
    // returned file is not open and says why.
    ScratchFile create(const QString& fileName);
    // A whole file at once; its path, or none with the reason in `error`.
    std::optional<QString> write(const QString& fileName, QByteArrayView bytes, QString* error);
    // Removes a finished file made here, with its folder; any other path is left alone.
    void release(const QString& path);
    // Whether `path` is a file made here (and so one that may be released).
    bool holds(const QString& path) const;

private:
    bool prepare(QString* error);

    QString root_;
    QString own_;  // this process's folder, once made
    int lock_ = -1;
    quint64 next_ = 0;
};

}  // namespace ferrodock
