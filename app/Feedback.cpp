#include "app/Feedback.h"

#include <cstdio>

namespace ferrodock {

void reportFailure(const char* what, const QString& detail) {
    std::fprintf(stderr, "ferrodock: %s: %s\n", what, detail.toLocal8Bit().constData());
}

}  // namespace ferrodock
