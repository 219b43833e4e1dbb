#pragma once

// What the command line's program and the window program start with.

#include "app/Launch.h"
#include "platform/LoadedTransport.h"

#include <climits>
#include <memory>

namespace ferrodock {

// `relative` to the folder this program really is in.
inline QByteArray besideProgram(const char* relative) {
    char path[PATH_MAX];
    besideSelf(relative, path);
    return path;
}

// The service's transport, from the module at `module` (relative to this program's folder).
inline std::unique_ptr<Transport> serviceTransport(const char* module) {
    HttpsTransport::Options options;
    options.origin = QStringLiteral(FERRODOCK_SERVICE_ORIGIN);
    return std::make_unique<LoadedTransport>(besideProgram(module), options);
}

}  // namespace ferrodock
