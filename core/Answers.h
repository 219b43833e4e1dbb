#pragma once

// Reading the service's answers: text or not, a key or a message, an address or not.

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace ferrodock {

// Bytes as text; none when they are not valid UTF-8. A byte-order mark stays in the text.
std::optional<QString> decodeUtf8(QByteArrayView bytes);
// An answer body as text, without one leading byte-order mark; none when not valid UTF-8.
std::optional<QString> decodeAnswer(QByteArrayView body);

// What a login answer means. A 32-unit answer holding a comma, a line break or another
// control character could not be kept in the session file: it is a message.
enum class LoginAnswer { Rejected, Accepted, Message };
inline constexpr QStringView kRejectionAnswer = u"3b7f0c52a9d14e68b2c5f7091d4a6e83";
constexpr qsizetype kApiKeyLength = 32;  // UTF-16 code units
LoginAnswer classifyLoginAnswer(const QString& answer);

// The address an answer names, "https://" and the answer, when the answer is a host with a dot
// and a path, with no whitespace, control or format character; none for anything else (a
// message, an error, an empty text).
std::optional<QString> answerAddress(const QString& answer);

// The address a page's link button shows: an answer address of exactly the page's length in
// characters (25 for images and pastes, 24 for files); none for anything else on it.
std::optional<QString> linkAddress(const QString& shown, qsizetype length);

}  // namespace ferrodock
