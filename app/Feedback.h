#pragma once

#include <QString>

namespace ferrodock {

// Shown when a request could not be completed or its answer could not be read. Neither text
// has an address length, so a link button showing one is never copied.
inline QString uploadFailedText() {
    return QStringLiteral("Upload failed. Please try again.");
}
inline QString loginFailedText() {
    return QStringLiteral("Login failed. Please try again.");
}

// The detail of a failure, for whoever reads standard error. Never carries a password or key.
void reportFailure(const char* what, const QString& detail);

}  // namespace ferrodock
