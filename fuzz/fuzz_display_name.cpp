// displayName on any UTF-16 path, unpaired surrogates included.
#include "FuzzSupport.h"

#include "app/Characters.h"

#include <algorithm>

using namespace ferrodock;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = fuzz::utf16Of(fuzz::bytesOf(data, size));
    const QString shown = displayName(path);
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    if (graphemeCount(name) <= kDisplayNameLimit) {
        FUZZ_REQUIRE(shown == name, "a short name is shown whole");
        return 0;
    }
    // 25 characters of the name, "...", then what follows the last dot when that is at most
    // 8 characters without a space.
    const qsizetype dot = name.lastIndexOf(u'.');
    QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    if (graphemeCount(extension) > kExtensionLimit ||
        std::any_of(extension.cbegin(), extension.cend(), [](QChar c) { return c.isSpace(); }))
        extension.clear();
    FUZZ_REQUIRE(shown.endsWith(QStringLiteral("...") + extension),
                 "ends in ... and its extension");
    const QString head = shown.chopped(extension.size() + 3);
    FUZZ_REQUIRE(name.startsWith(head) && graphemeCount(head) == kDisplayNameLimit,
                 "starts with exactly 25 characters of the name");
    // Counting the two sides apart gives the whole name's count only for a cut on a boundary.
    FUZZ_REQUIRE(graphemeCount(head) + graphemeCount(name.mid(head.size())) == graphemeCount(name),
                 "the cut falls on a boundary of the name");
    // Independently of the counter: never part a surrogate pair, or a letter and its accent.
    const QChar before = head.back(), after = name[head.size()];
    const bool accent =
        after.category() == QChar::Mark_NonSpacing || after.category() == QChar::Mark_Enclosing;
    FUZZ_REQUIRE(!(before.isHighSurrogate() && after.isLowSurrogate()) &&
                     !(accent && before.isLetterOrNumber()),
                 "the cut does not split a character");
    return 0;
}
