// displayName on any UTF-16 path, unpaired surrogates included.
#include "FuzzSupport.h"

#include "core/Characters.h"

#include <algorithm>

using namespace ferrodock;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = fuzz::utf16Of(fuzz::bytesOf(data, size));
    const QString shown = displayName(path), name = path.mid(path.lastIndexOf(u'/') + 1);
    FUZZ_REQUIRE(graphemeCount(name) > kDisplayNameLimit || shown == name,
                 "a short name is shown whole");
    if (graphemeCount(name) <= kDisplayNameLimit) return 0;
    // 25 characters, "...", then what follows the last dot when that is at most 8 characters
    // without a space.
    QString extension = name.mid(name.lastIndexOf(u'.') + 1);
    if (!name.contains(u'.') || graphemeCount(extension) > kExtensionLimit ||
        std::any_of(extension.cbegin(), extension.cend(), [](QChar c) { return c.isSpace(); }))
        extension.clear();
    const QString head = shown.chopped(std::min(shown.size(), extension.size() + 3));
    FUZZ_REQUIRE(
        shown == head + QStringLiteral("...") + extension && name.startsWith(head) &&
            graphemeCount(head) == kDisplayNameLimit &&
            graphemeCount(head) + graphemeCount(name.mid(head.size())) == graphemeCount(name),
        "a long name is 25 of its characters cut on a boundary, ... and its extension");
    // Independently of the counter: never part a surrogate pair, or a letter and its accent.
    const QChar before = head.back(), after = name[head.size()];
    const bool accent =
        after.category() == QChar::Mark_NonSpacing || after.category() == QChar::Mark_Enclosing;
    FUZZ_REQUIRE(!(before.isHighSurrogate() && after.isLowSurrogate()) &&
                     !(accent && before.isLetterOrNumber()),
                 "the cut does not split a character");
    return 0;
}
