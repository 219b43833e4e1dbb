#include "support/OutputCapture.h"

#include <QFile>

#include <unistd.h>

namespace ferrodock::test {

OutputCapture::OutputCapture(std::FILE* stream)
    : stream_(stream), saved_(::dup(::fileno(stream))), file_(std::tmpfile()) {
    std::fflush(stream_);
    ::dup2(::fileno(file_), ::fileno(stream_));
}

QByteArray OutputCapture::text() {
    if (!file_) return {};
    std::fflush(stream_);
    ::dup2(saved_, ::fileno(stream_));
    ::close(saved_);
    std::rewind(file_);
    QFile read;
    const QByteArray out = read.open(file_, QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    read.close();
    std::fclose(file_);
    file_ = nullptr;
    return out;
}

}  // namespace ferrodock::test
