// parseSessionText on arbitrary file bytes, and the write/read round trip.
#include "FuzzSupport.h"

#include "app/Answers.h"
#include "app/SessionFile.h"

using ferrodock::Session;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // libFuzzer hands over a heap block of exactly `size` bytes, so AddressSanitizer stops any
    // read past the end of the view (a strlen on it, say).
    const QByteArrayView bytes = fuzz::bytesOf(data, size);
    const std::optional<Session> parsed = ferrodock::parseSessionText(bytes);

    if (!fuzz::isWellFormedUtf8(bytes)) {
        FUZZ_REQUIRE(!parsed, "text that is not UTF-8 is no session");
        return 0;
    }
    // The text as it is, a leading BOM kept.
    const QString text = *ferrodock::decodeUtf8(bytes);
    FUZZ_REQUIRE(parsed.has_value() == text.contains(u','), "a session exactly when a comma");
    if (parsed) {
        // The first two fields, as they stand at the start of the text.
        const QString pair = parsed->userName + u',' + parsed->apiKey;
        FUZZ_REQUIRE(!parsed->userName.contains(u',') && !parsed->apiKey.contains(u','),
                     "no comma inside a field");
        FUZZ_REQUIRE(text.startsWith(pair), "fields are the start of the text");
        FUZZ_REQUIRE(text.size() == pair.size() || text[pair.size()] == u',',
                     "the key runs to the end or to the next comma");
    }

    // Whatever pair without commas is written reads back the same. The fields come from the
    // text, commas dropped, split at the first line feed.
    QString fields = text;
    fields.remove(u',');
    const qsizetype cut = fields.indexOf(u'\n');
    const Session written{cut < 0 ? fields : fields.left(cut),
                          cut < 0 ? QString() : fields.mid(cut + 1)};
    const std::optional<Session> reread =
        ferrodock::parseSessionText(ferrodock::sessionText(written.userName, written.apiKey));
    FUZZ_REQUIRE(reread && *reread == written, "sessionText reads back as the same pair");
    return 0;
}
