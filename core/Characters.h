#pragma once

// Characters as a person counts them, and the names and texts the widgets show: the display
// name of a chosen file, and the part of an answer that is shown. No widgets, no I/O.

#include <QByteArray>
#include <QString>

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

// The name the history gives a paste: its first line that is not blank, spaces simplified, at
// most 60 characters with "…" for the rest.
QString pasteHistoryName(const QByteArray& utf8);

}  // namespace ferrodock
