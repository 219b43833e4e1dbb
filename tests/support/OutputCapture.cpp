#include "support/OutputCapture.h"

#include <unistd.h>

namespace ferrodock::test {

OutputCapture::OutputCapture(std::FILE* stream) : stream_(stream), fd_(::fileno(stream)) {
    std::fflush(stream_);
    saved_ = ::dup(fd_);
    file_ = std::tmpfile();
    ::dup2(::fileno(file_), fd_);
}

OutputCapture::~OutputCapture() {
    restore();
    if (file_) std::fclose(file_);
}

QByteArray OutputCapture::text() {
    restore();
    std::rewind(file_);
    QByteArray out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, qsizetype(n));
    return out;
}

void OutputCapture::restore() {
    if (saved_ < 0) return;
    std::fflush(stream_);
    ::dup2(saved_, fd_);
    ::close(saved_);
    saved_ = -1;
}

}  // namespace ferrodock::test
