// parseSessionText on any file bytes, and the write/read round trip.
#include "FuzzSupport.h"

#include "app/Answers.h"
#include "app/SessionFile.h"

using ferrodock::Session;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // libFuzzer's block is exactly `size` bytes: AddressSanitizer stops any read past the end.
    const QByteArrayView bytes = fuzz::bytesOf(data, size);
    const std::optional<Session> parsed = ferrodock::parseSessionText(bytes);
    const QString text = ferrodock::decodeUtf8(bytes).value_or(QString());  // a BOM kept
    FUZZ_REQUIRE(parsed.has_value() == (fuzz::isUtf8(bytes) && text.contains(u',')),
                 "a session exactly when UTF-8 with a comma");
    if (!parsed) return 0;
    // The first two fields, as they stand at the start of the text.
    const QString pair = parsed->userName + u',' + parsed->apiKey;
    FUZZ_REQUIRE(!parsed->userName.contains(u',') && !parsed->apiKey.contains(u','),
                 "no comma inside a field");
    FUZZ_REQUIRE(text.startsWith(pair) && (text.size() == pair.size() || text[pair.size()] == u','),
                 "the fields are the start of the text, the key runs to a comma or the end");
    // Any pair without commas reads back as written: here the text's commas become line feeds.
    const Session written{parsed->apiKey, parsed->userName + QString(text).replace(u',', u'\n')};
    FUZZ_REQUIRE(ferrodock::parseSessionText(
                     ferrodock::sessionText(written.userName, written.apiKey)) == written,
                 "sessionText reads back as the same pair");
    return 0;
}
