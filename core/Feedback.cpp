#include "core/Feedback.h"

#include "core/Answers.h"
#include "core/Transport.h"

#include <QUrl>

namespace ferrodock {

Q_LOGGING_CATEGORY(lcSession, "ferrodock.session", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLogin, "ferrodock.login", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUpload, "ferrodock.upload", QtInfoMsg)

namespace {

QString duration(std::chrono::milliseconds limit) {
    const qint64 s = (limit.count() + 999) / 1000;
    if (s < 120) return QStringLiteral("%1 s").arg(s);
    return QStringLiteral("%1 min").arg((s + 30) / 60);
}

// What the person can do about it. Where trying again cannot help, something that can.
QString advice(const TransportResult& result) {
    switch (result.ok ? TransportError::NotText : result.kind) {
        case TransportError::Untrusted:
            return QStringLiteral("Check the date and the network you are on.");
        case TransportError::FileGone:
            return QStringLiteral("Choose the file again.");
        case TransportError::NotRegular:
            return QStringLiteral("Choose another file.");
        case TransportError::FileUnreadable:
            return QStringLiteral("Check that you are allowed to read it.");
        case TransportError::NotText:
        case TransportError::TooLarge:
            return QStringLiteral("The service may be out of order; try again later.");
        default:
            return QStringLiteral("Please try again.");
    }
}

}  // namespace

QString failedText(const QString& what, const TransportResult& result) {
    const QString cause = failureCause(result);
    return what + QStringLiteral(" failed") +
           (cause.isEmpty() ? QString() : QStringLiteral(": ") + cause) + QStringLiteral(". ") +
           advice(result);
}

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
        case TransportError::FileGone:
            return QStringLiteral("the file is gone");
        case TransportError::NotRegular:
            return QStringLiteral("the file is not a regular file");
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

std::optional<QString> answerText(const TransportResult& result, const QLoggingCategory& category,
                                  const char* what) {
    std::optional<QString> answer = result.ok ? decodeAnswer(result.body) : std::nullopt;
    // The person's words only; the transport's own detail is in its debug lines.
    if (!answer) {
        const QString cause = failureCause(result);
        qCWarning(category, "%s failed%s%s", what, cause.isEmpty() ? "" : ": ",
                  qUtf8Printable(cause));
    }
    return answer;
}

}  // namespace ferrodock
