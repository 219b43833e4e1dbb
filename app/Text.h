#pragma once

// Pure text rules of the client: counting what a person sees as characters, the display name
// of a chosen file, form bodies, and reading the service's answers. No widgets, no I/O.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace ferrodock {

// User-perceived characters (extended grapheme clusters).
qsizetype graphemeCount(const QString& text);
QString firstGraphemes(const QString& text, qsizetype count);

// The name shown for a chosen path: its last "/"-separated piece, or, past 25 characters,
// the first 25 of them, "..." and the path's extension. A "extension" of more than 8
// characters or with a space in it is part of the name, not an extension.
QString displayName(const QString& path);
constexpr qsizetype kDisplayNameLimit = 25;
constexpr qsizetype kExtensionLimit = 8;

// What a widget shows of an answer: its first 200 characters, then "...". Never cut inside a
// character, and never more than 4096 UTF-16 code units of them, however the characters are
// built; only that much of the text is ever examined.
QString shownAnswer(const QString& text);
constexpr qsizetype kShownCharacters = 200;
constexpr qsizetype kShownCodeUnits = 4096;

// A urlencoded form body: names as given, each value percent-encoded as UTF-8 (all but
// A-Z a-z 0-9 - . _ ~), pieces joined with "&".
using FormPiece = QPair<QString, QString>;
QByteArray formBody(const QList<FormPiece>& pieces);

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

// Whether a link button's title is an address the page can copy: exactly `addressLength`
// characters, none of them whitespace or a control character.
bool isAddress(const QString& title, qsizetype addressLength);

}  // namespace ferrodock
