// displayName on any UTF-16 path, unpaired surrogates included.
#include "FuzzSupport.h"

#include "app/Text.h"

#include <QTextBoundaryFinder>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = fuzz::utf16Of(fuzz::bytesOf(data, size));
    const QString shown = ferrodock::displayName(path);

    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    if (ferrodock::graphemeCount(name) <= ferrodock::kDisplayNameLimit) {
        FUZZ_REQUIRE(shown == name, "a short name is shown whole");
        return 0;
    }

    // Long: 25 characters of the name, "...", then the text after the name's last dot.
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString tail = QStringLiteral("...") + (dot < 0 ? QString() : name.mid(dot + 1));
    FUZZ_REQUIRE(shown.endsWith(tail), "a long name ends in ... and its extension");
    const QString head = shown.chopped(tail.size());
    FUZZ_REQUIRE(name.startsWith(head), "a long name starts with the start of the name");
    FUZZ_REQUIRE(ferrodock::graphemeCount(head) == ferrodock::kDisplayNameLimit,
                 "a long name starts with exactly 25 characters");
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, name);
    finder.setPosition(head.size());
    FUZZ_REQUIRE(finder.isAtBoundary(), "the cut does not split a character of the name");
    return 0;
}
