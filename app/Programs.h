#pragma once

// What both programs start with: ferrodock, the command line, and the window program.

#include "platform/LoadedTransport.h"

#include <unistd.h>

#include <climits>
#include <memory>

namespace ferrodock {

// `relative` to the folder this program really is in (symbolic links followed), so the build
// tree and an installed copy both work.
inline QByteArray besideProgram(const char* relative) {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self);
    if (n <= 0 || n == sizeof self) return relative;
    QByteArray path(self, n);
    path.truncate(path.lastIndexOf('/') + 1);
    return path + relative;
}

// The service's transport, from the module at `module` (relative to this program's folder).
inline std::unique_ptr<Transport> serviceTransport(const char* module) {
    HttpsTransport::Options options;
    options.origin = QStringLiteral(FERRODOCK_SERVICE_ORIGIN);
    return std::make_unique<LoadedTransport>(besideProgram(module), options);
}

}  // namespace ferrodock
