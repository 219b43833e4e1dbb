#pragma once

// What both programs start with: ferrodock, the command line, and the window program.

#include "platform/HttpsTransport.h"

#include <memory>

namespace ferrodock {

inline std::unique_ptr<HttpsTransport> serviceTransport() {
    HttpsTransport::Options options;
    options.origin = QStringLiteral(FERRODOCK_SERVICE_ORIGIN);
    return std::make_unique<HttpsTransport>(options);
}

}  // namespace ferrodock
