// The service's answer bytes: decoding, login classification, link title length, and the
// language pop-up title mapping.
#include "FuzzSupport.h"

#include "app/Answers.h"
#include "app/Characters.h"
#include "app/PasteUpload.h"
#include "app/SessionFile.h"

#include <algorithm>

using ferrodock::LoginAnswer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes = fuzz::bytesOf(data, size);
    const std::optional<QString> decoded = ferrodock::decodeAnswer(bytes);
    const bool wellFormed = fuzz::isWellFormedUtf8(bytes);
    FUZZ_REQUIRE(decoded.has_value() == wellFormed, "an answer decodes exactly when UTF-8");
    // Only one leading byte-order mark is dropped.
    const QByteArrayView bom("\xEF\xBB\xBF");
    if (decoded)
        FUZZ_REQUIRE(decoded->toUtf8() == (bytes.startsWith(bom) ? bytes.sliced(3) : bytes),
                     "decoding loses or adds nothing but one byte-order mark");

    // The rest takes any text: the decoded answer, or else the bytes read as UTF-16.
    const QString text = decoded ? *decoded : fuzz::utf16Of(bytes);

    const LoginAnswer login = ferrodock::classifyLoginAnswer(text);
    FUZZ_REQUIRE(login == LoginAnswer::Message || text.size() == ferrodock::kApiKeyLength,
                 "only 32 UTF-16 units are a key or the rejection");
    const ferrodock::Session session{QStringLiteral("u"), text};
    FUZZ_REQUIRE(
        login != LoginAnswer::Accepted || !decoded ||
            ferrodock::parseSessionText(ferrodock::sessionText(session.userName, text)) == session,
        "a key survives the session file");
    FUZZ_REQUIRE((login == LoginAnswer::Rejected) == (text == ferrodock::kRejectionAnswer),
                 "only the rejection answer is a rejection");

    const qsizetype count = ferrodock::graphemeCount(text);
    FUZZ_REQUIRE(count <= text.size() && (count == 0) == text.isEmpty(),
                 "characters are non-empty runs of code units");
    const bool plain = std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.isSpace() || c.category() == QChar::Other_Control;
    });
    FUZZ_REQUIRE(!ferrodock::isAddress(text, count + 1) && !ferrodock::isAddress(text, count - 1),
                 "a title is an address of its own character count only");
    if (!plain) FUZZ_REQUIRE(!ferrodock::isAddress(text, count), "no space or control in one");

    // What a widget shows: the whole text, or a prefix cut on a boundary and "...".
    const QString shown = ferrodock::shownAnswer(text);
    if (shown != text) {
        FUZZ_REQUIRE(shown.endsWith(u"..."), "a shortened answer ends in ...");
        const QString head = shown.chopped(3);
        FUZZ_REQUIRE(text.startsWith(head) && head.size() <= ferrodock::kShownCodeUnits &&
                         ferrodock::graphemeCount(head) <= ferrodock::kShownCharacters,
                     "a shortened answer starts with at most 200 of its characters");
        FUZZ_REQUIRE(
            ferrodock::graphemeCount(head) + ferrodock::graphemeCount(text.mid(head.size())) ==
                count,
            "the cut falls on a boundary");
    }

    // Whatever the title, what goes out is a fixed lower-case word, never the title's own text.
    const QString identifier = ferrodock::languageIdentifier(text);
    FUZZ_REQUIRE(!identifier.isEmpty() &&
                     std::all_of(identifier.cbegin(), identifier.cend(),
                                 [](QChar c) { return (c >= u'a' && c <= u'z') || c == u'-'; }),
                 "a language identifier is a lower-case word");
    return 0;
}
