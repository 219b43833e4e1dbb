// displayName on any UTF-16 path, unpaired surrogates included.
#include "FuzzSupport.h"

#include "app/Characters.h"

#include <algorithm>

namespace {

// Whether a cut at `at` parts what Unicode's grapheme rules keep together: a surrogate pair, or
// a letter and the nonspacing or enclosing mark after it (GB9; only a control character or
// line break before the mark allows the cut, GB4).
bool splitsCharacter(const QString& text, qsizetype at) {
    if (at <= 0 || at >= text.size()) return false;
    if (text[at].isLowSurrogate() && text[at - 1].isHighSurrogate()) return true;
    const QChar::Category mark = QChar::category(fuzz::codePointAt(text, at));
    if (mark != QChar::Mark_NonSpacing && mark != QChar::Mark_Enclosing) return false;
    const bool pair = at >= 2 && text[at - 1].isLowSurrogate() && text[at - 2].isHighSurrogate();
    switch (QChar::category(fuzz::codePointAt(text, pair ? at - 2 : at - 1))) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return false;
        default:
            return true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = fuzz::utf16Of(fuzz::bytesOf(data, size));
    const QString shown = ferrodock::displayName(path);

    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    if (ferrodock::graphemeCount(name) <= ferrodock::kDisplayNameLimit) {
        FUZZ_REQUIRE(shown == name, "a short name is shown whole");
        return 0;
    }

    // Long: 25 characters of the name, "...", then the text after the name's last dot when
    // that is at most 8 characters without a space.
    const qsizetype dot = name.lastIndexOf(u'.');
    QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    if (ferrodock::graphemeCount(extension) > ferrodock::kExtensionLimit ||
        std::any_of(extension.cbegin(), extension.cend(), [](QChar c) { return c.isSpace(); }))
        extension.clear();
    const QString tail = QStringLiteral("...") + extension;
    FUZZ_REQUIRE(shown.endsWith(tail), "a long name ends in ... and its extension");
    const QString head = shown.chopped(tail.size());
    FUZZ_REQUIRE(name.startsWith(head), "a long name starts with the start of the name");

    // Exactly 25 characters, cut where the name itself has a boundary: counting the two sides
    // apart gives the same total as counting the whole name.
    FUZZ_REQUIRE(ferrodock::graphemeCount(head) == ferrodock::kDisplayNameLimit,
                 "a long name starts with exactly 25 characters of the name");
    FUZZ_REQUIRE(ferrodock::graphemeCount(head) + ferrodock::graphemeCount(name.mid(head.size())) ==
                     ferrodock::graphemeCount(name),
                 "the cut falls on a boundary of the name");
    FUZZ_REQUIRE(!splitsCharacter(name, head.size()), "the cut does not split a character");
    return 0;
}
