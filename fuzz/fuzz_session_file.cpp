// parseSessionText on any file bytes, and the write/read round trip.
#include "FuzzSupport.h"

#include "app/Answers.h"
#include "app/SessionFile.h"

using namespace ferrodock;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // libFuzzer's block is exactly `size` bytes: AddressSanitizer stops any read past the end.
    const QByteArrayView bytes = fuzz::bytesOf(data, size);
    const std::optional<SavedLogin> parsed = parseSessionText(bytes);
    const QString text = decodeUtf8(bytes).value_or(QString());  // a byte-order mark kept
    FUZZ_REQUIRE(parsed.has_value() == (fuzz::isUtf8(bytes) && text.contains(u',')),
                 "a session exactly when UTF-8 with a comma");
    if (!parsed) return 0;
    // The first two fields, as they stand at the start of the text.
    const QString pair = parsed->userName + u',' + parsed->apiKey;
    FUZZ_REQUIRE(!parsed->userName.contains(u',') && !parsed->apiKey.contains(u',') &&
                     text.startsWith(pair) &&
                     (text.size() == pair.size() || text[pair.size()] == u','),
                 "the fields are the text up to its first and second comma");
    // Any pair without commas reads back as written: here the text's commas become line feeds.
    const SavedLogin written{parsed->apiKey, parsed->userName + QString(text).replace(u',', u'\n')};
    FUZZ_REQUIRE(parseSessionText(sessionText(written.userName, written.apiKey)) == written,
                 "sessionText reads back as the same pair");
    return 0;
}
