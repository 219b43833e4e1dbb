#pragma once

#include <QTemporaryFile>

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace ferrodock::test {

// Captures what the process writes to one of its standard streams until text() is called.
class OutputCapture {
public:
    explicit OutputCapture(std::FILE* stream) : stream_(stream) {
        std::fflush(stream_);
        if (!file_.open()) qFatal("no temporary file to capture output in");
        saved_ = ::dup(::fileno(stream_));
        ::dup2(file_.handle(), ::fileno(stream_));
    }
    ~OutputCapture() { text(); }
    QByteArray text() {
        if (saved_ >= 0) {
            std::fflush(stream_);
            ::dup2(saved_, ::fileno(stream_));
            ::close(std::exchange(saved_, -1));
        }
        file_.seek(0);  // the writes went past the file's own position
        return file_.readAll();
    }

private:
    std::FILE* stream_;
    int saved_ = -1;
    QTemporaryFile file_;
};

}  // namespace ferrodock::test
