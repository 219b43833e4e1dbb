// The service's answer bytes: decoding, login classification, addresses and the shown part.
#include "FuzzSupport.h"

#include "app/Answers.h"
#include "app/Characters.h"
#include "app/SessionFile.h"

#include <algorithm>

using namespace ferrodock;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes = fuzz::bytesOf(data, size);
    const std::optional<QString> decoded = decodeAnswer(bytes);
    FUZZ_REQUIRE(decoded.has_value() == fuzz::isUtf8(bytes), "decodes exactly when UTF-8");
    const QByteArrayView bom("\xEF\xBB\xBF");
    FUZZ_REQUIRE(!decoded || decoded->toUtf8() == (bytes.startsWith(bom) ? bytes.sliced(3) : bytes),
                 "decoding loses or adds nothing but one byte-order mark");

    // The rest takes any text: the decoded answer, or else the bytes read as UTF-16.
    const QString text = decoded ? *decoded : fuzz::utf16Of(bytes);
    const LoginAnswer login = classifyLoginAnswer(text);
    FUZZ_REQUIRE(login == LoginAnswer::Message || text.size() == kApiKeyLength,
                 "a key is 32 units");
    FUZZ_REQUIRE((login == LoginAnswer::Rejected) == (text == kRejectionAnswer), "one rejection");
    FUZZ_REQUIRE(login != LoginAnswer::Accepted || !decoded ||
                     parseSessionText(sessionText(QStringLiteral("u"), text)) ==
                         Session{QStringLiteral("u"), text},
                 "a key survives the session file");

    const qsizetype count = graphemeCount(text);
    FUZZ_REQUIRE(count <= text.size() && (count == 0) == text.isEmpty(),
                 "characters are runs of units");
    FUZZ_REQUIRE(!isAddress(text, count + 1) && !isAddress(text, count - 1),
                 "an address has its own length");
    FUZZ_REQUIRE(!isAddress(text, count) || !text.contains(u' '), "no space in one");

    // The whole text, or a prefix of it cut on a boundary and "...".
    const QString shown = shownAnswer(text);
    const QString head = shown.chopped(std::min<qsizetype>(3, shown.size()));
    FUZZ_REQUIRE(shown == text ||
                     (shown.endsWith(u"...") && text.startsWith(head) &&
                      head.size() <= kShownCodeUnits && graphemeCount(head) <= kShownCharacters &&
                      graphemeCount(head) + graphemeCount(text.mid(head.size())) == count),
                 "a shortened answer is at most 200 of its characters, cut on a boundary");
    return 0;
}
