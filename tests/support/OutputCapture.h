#pragma once

#include <QByteArray>

#include <cstdio>

namespace ferrodock::test {

// Captures what the process writes to one of its standard streams while it lives.
class OutputCapture {
public:
    explicit OutputCapture(std::FILE* stream);
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Stops capturing and returns what was written.
    QByteArray text();

private:
    void restore();
    std::FILE* stream_;
    int fd_;
    int saved_ = -1;
    std::FILE* file_ = nullptr;
};

}  // namespace ferrodock::test
