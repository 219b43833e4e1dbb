#include "app/Feedback.h"

#include "app/Answers.h"
#include "platform/Transport.h"

namespace ferrodock {

Q_LOGGING_CATEGORY(lcSession, "ferrodock.session")
Q_LOGGING_CATEGORY(lcLogin, "ferrodock.login")
Q_LOGGING_CATEGORY(lcUpload, "ferrodock.upload")

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
