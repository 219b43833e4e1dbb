// Form encoding of any UTF-16 value, unpaired surrogates included (sent as '?', as toUtf8()
// sends them): the computed length is the length written (the request announces it), and the
// body is the value's UTF-8 with all but the unreserved characters escaped.
#include "FuzzSupport.h"
#include "platform/FormEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString value = fuzz::utf16Of(fuzz::bytesOf(data, size));
    const QByteArray utf8 = value.toUtf8();
    QByteArray body(ferrodock::formEncodedSize(value), Qt::Uninitialized);
    FUZZ_REQUIRE(ferrodock::appendFormEncoded(body.data(), value) == body.constData() + body.size(),
                 "the computed length is the length");
    FUZZ_REQUIRE(body == utf8.toPercentEncoding(), "the body is the value, percent-encoded");
    return 0;
}
