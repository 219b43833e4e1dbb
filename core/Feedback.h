#pragma once

#include <QLoggingCategory>
#include <QString>

#include <optional>

namespace ferrodock {

struct TransportResult;

// Shown when a request could not be completed or its answer could not be read: "`what`
// failed", the cause in plain words, then what to do ("Upload failed: the file is gone.
// Choose the file again."); never the transport's own wording. Every text has spaces, so a
// link button showing one is never copied as an address. The command line says the same.
QString failedText(const QString& what, const TransportResult& result);
inline QString uploadFailedText(const TransportResult& result) {
    return failedText(QStringLiteral("Upload"), result);
}
inline QString loginFailedText(const TransportResult& result) {
    return failedText(QStringLiteral("Login"), result);
}
// The cause alone, lower case and without a full stop ("the connection was lost"); empty
// when nothing more is known than that it failed.
QString failureCause(const TransportResult& result);
inline QString uploadCancelledText() {
    return QStringLiteral("Upload cancelled.");
}

// Where the details of failures go, for whoever reads standard error; never a password or a
// key. QT_LOGGING_RULES="ferrodock.*.debug=true" shows the debug detail too.
Q_DECLARE_LOGGING_CATEGORY(lcSession)
Q_DECLARE_LOGGING_CATEGORY(lcLogin)
Q_DECLARE_LOGGING_CATEGORY(lcUpload)

// The answer of a finished request as text; none, after saying why under `category`, when the
// request failed or its answer is not UTF-8. `what` names the request ("paste upload").
std::optional<QString> answerText(const TransportResult& result, const QLoggingCategory& category,
                                  const char* what);

}  // namespace ferrodock
