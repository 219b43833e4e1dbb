#include "app/Feedback.h"

#include "app/Answers.h"
#include "platform/Transport.h"

#include <QUrl>

namespace ferrodock {

Q_LOGGING_CATEGORY(lcSession, "ferrodock.session")
Q_LOGGING_CATEGORY(lcLogin, "ferrodock.login")
Q_LOGGING_CATEGORY(lcUpload, "ferrodock.upload")

namespace {

QString duration(std::chrono::milliseconds limit) {
    const qint64 s = (limit.count() + 999) / 1000;
    if (s < 120) return QStringLiteral("%1 s").arg(s);
    return QStringLiteral("%1 min").arg((s + 30) / 60);
}

QString failedText(const QString& what, const TransportResult& result) {
    const QString cause = failureCause(result);
    if (cause.isEmpty()) return what + QStringLiteral(" failed. Please try again.");
    return what + QStringLiteral(" failed: ") + cause + QStringLiteral(". Please try again.");
}

}  // namespace

QString failureCause(const TransportResult& result) {
    if (result.ok) return QStringLiteral("the service's answer was not text");
    switch (result.kind) {
        case TransportError::Unreachable:
            return QStringLiteral("could not reach ") +
                   QUrl(QStringLiteral(FERRODOCK_SERVICE_ORIGIN)).host();
        case TransportError::ConnectionLost:
            return QStringLiteral("the connection was lost");
        case TransportError::NoAnswer:
            if (result.limit.count() <= 0) return QStringLiteral("the service sent no answer");
            return QStringLiteral("the service sent no answer for ") + duration(result.limit);
        case TransportError::Untrusted:
            return QStringLiteral("the service's certificate is not trusted");
        case TransportError::FileChanged:
            return QStringLiteral("the file changed while it was being sent");
        case TransportError::FileUnreadable:
            return QStringLiteral("the file could not be read");
        case TransportError::NotText:
            return QStringLiteral("the service's answer was not text");
        case TransportError::TooLarge:
            return QStringLiteral("the service's answer was too large");
        case TransportError::Cancelled:
            return QStringLiteral("it was cancelled");
        case TransportError::None:
        case TransportError::Other:
            break;
    }
    return {};
}

QString uploadFailedText(const TransportResult& result) {
    return failedText(QStringLiteral("Upload"), result);
}

QString loginFailedText(const TransportResult& result) {
    return failedText(QStringLiteral("Login"), result);
}

std::optional<QString> answerText(const TransportResult& result, const QLoggingCategory& category,
                                  const char* what) {
    std::optional<QString> answer = result.ok ? decodeAnswer(result.body) : std::nullopt;
    if (!answer) {
        qCWarning(category, "%s failed: %s", what,
                  qUtf8Printable(result.ok ? QStringLiteral("the answer is not UTF-8 text")
                                           : result.error));
    }
    return answer;
}

}  // namespace ferrodock
