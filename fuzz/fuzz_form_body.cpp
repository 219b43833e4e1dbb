// Form encoding of any UTF-16 value: the computed length is the length written (the request
// announces it), the body holds only unreserved characters and escapes, and decoding it gives
// the value's UTF-8 back.
#include "FuzzSupport.h"
#include "platform/FormEncoding.h"

#include <cctype>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString value = fuzz::utf16Of(fuzz::bytesOf(data, size));
    const QByteArray utf8 = value.toUtf8();
    FUZZ_REQUIRE(ferrodock::utf8Size(value) == utf8.size(), "the UTF-8 size is the size");
    QByteArray body(ferrodock::formEncodedSize(value), Qt::Uninitialized);
    const char* end = ferrodock::appendFormEncoded(body.data(), value);
    FUZZ_REQUIRE(end == body.constData() + body.size(), "the computed length is the length");
    const auto unreserved = [](char c) {
        return std::isalnum(uchar(c)) || QByteArrayView("-._~").contains(c);
    };
    const auto hex = [](char c) { return std::isdigit(uchar(c)) || (c >= 'A' && c <= 'F'); };
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] != '%') {
            FUZZ_REQUIRE(unreserved(body[i]), "only unreserved characters go as they are");
            continue;
        }
        FUZZ_REQUIRE(i + 2 < body.size() && hex(body[i + 1]) && hex(body[i + 2]) &&
                         !unreserved(char(body.mid(i + 1, 2).toInt(nullptr, 16))),
                     "an escape is %XX of a byte that needs one");
        i += 2;
    }
    FUZZ_REQUIRE(QByteArray::fromPercentEncoding(body) == utf8, "decoding gives the UTF-8 back");
    return 0;
}
