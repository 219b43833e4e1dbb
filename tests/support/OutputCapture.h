#pragma once

#include <QByteArray>

#include <cstdio>

namespace ferrodock::test {

// Captures what the process writes to one of its standard streams until text() is called.
class OutputCapture {
public:
    explicit OutputCapture(std::FILE* stream);
    ~OutputCapture() { text(); }
    QByteArray text();

private:
    std::FILE* stream_;
    int saved_;
    std::FILE* file_;
};

}  // namespace ferrodock::test
