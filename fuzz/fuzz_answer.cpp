// The service's answer bytes: decoding, and the part of any text that is shown.
#include "FuzzSupport.h"

#include "core/Answers.h"
#include "core/Characters.h"

#include <algorithm>

using namespace ferrodock;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes = fuzz::bytesOf(data, size);
    const std::optional<QString> decoded = decodeAnswer(bytes);
    FUZZ_REQUIRE(
        decoded ? decoded->toUtf8() == (bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes)
                : !fuzz::isUtf8(bytes),
        "UTF-8 decodes, without one byte-order mark and nothing else lost or added");

    // The rest takes any text: the decoded answer, or else the bytes read as UTF-16.
    const QString text = decoded ? *decoded : fuzz::utf16Of(bytes);
    // The whole text, or a prefix of at most 200 characters cut on a boundary and "...".
    const QString shown = shownAnswer(text),
                  head = shown.chopped(shown == text ? 0 : std::min<qsizetype>(3, shown.size()));
    FUZZ_REQUIRE(
        text.startsWith(head) && (shown == text || shown.endsWith(u"...")) &&
            head.size() <= kShownCodeUnits && graphemeCount(head) <= kShownCharacters &&
            graphemeCount(head) + graphemeCount(text.mid(head.size())) == graphemeCount(text),
        "a shortened answer is its first characters");
    return 0;
}
