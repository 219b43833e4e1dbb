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
// the first 25 of them, "..." and the path's extension.
QString displayName(const QString& path);
constexpr qsizetype kDisplayNameLimit = 25;

// A urlencoded form body: names as given, each value percent-encoded as UTF-8 (all but
// A-Z a-z 0-9 - . _ ~), pieces joined with "&".
using FormPiece = QPair<QString, QString>;
QByteArray formBody(const QList<FormPiece>& pieces);

// An answer body as text; none when the bytes are not valid UTF-8.
std::optional<QString> decodeAnswer(QByteArrayView body);

// What a login answer means.
enum class LoginAnswer { Rejected, Accepted, Message };
inline constexpr QStringView kRejectionAnswer = u"3b7f0c52a9d14e68b2c5f7091d4a6e83";
constexpr qsizetype kApiKeyLength = 32;  // UTF-16 code units
LoginAnswer classifyLoginAnswer(const QString& answer);

// Whether a link button's title is an address the page can copy.
bool hasAddressLength(const QString& title, qsizetype addressLength);

}  // namespace ferrodock
