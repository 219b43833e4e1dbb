#pragma once

#include <QFile>

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace ferrodock::test {

// Captures what the process writes to one of its standard streams until text() is called.
class OutputCapture {
public:
    explicit OutputCapture(std::FILE* stream) : stream_(stream), saved_(::dup(::fileno(stream))) {
        std::fflush(stream_);
        ::dup2(::fileno(file_), ::fileno(stream_));
    }
    ~OutputCapture() {
        text();
        std::fclose(file_);
    }
    QByteArray text() {
        if (saved_ >= 0) {
            std::fflush(stream_);
            ::dup2(saved_, ::fileno(stream_));
            ::close(std::exchange(saved_, -1));
        }
        QFile written;  // the writes moved the shared offset: read from the start
        if (!written.open(::fileno(file_), QIODevice::ReadOnly) || !written.seek(0)) return {};
        return written.readAll();
    }

private:
    std::FILE* stream_;
    int saved_;
    std::FILE* file_ = std::tmpfile();
};

}  // namespace ferrodock::test
