// formBody round trip: the values a form parser reads back are the values given, and the body
// is plain ASCII made of unreserved characters and escapes.
#include "FuzzSupport.h"

#include "app/Text.h"

#include <QUrlQuery>

#include <array>

namespace {

bool isUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~';
}

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte separates the values in the rest; each value is its bytes read as UTF-8
    // (malformed sequences become U+FFFD, so every value is encodable).
    static const std::array<QString, 4> kNames{QStringLiteral("pastedata"),
                                               QStringLiteral("language"),
                                               QStringLiteral("priv"), QStringLiteral("apikey")};
    if (size == 0) return 0;
    const QByteArrayView rest = fuzz::bytesOf(data + 1, size - 1);
    QList<ferrodock::FormPiece> pieces;
    qsizetype from = 0;
    for (const QString& name : kNames) {
        qsizetype to = rest.indexOf(char(data[0]), from);
        if (to < 0 || pieces.size() + 1 == qsizetype(kNames.size())) to = rest.size();
        pieces.append({name, QString::fromUtf8(rest.sliced(from, to - from))});
        from = to + 1;
        if (from > rest.size()) break;
    }

    const QByteArray body = ferrodock::formBody(pieces);
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body[i];
        FUZZ_REQUIRE(isUnreserved(c) || c == '%' || c == '=' || c == '&',
                     "the body holds only unreserved characters, escapes, = and &");
        if (c == '%') {
            FUZZ_REQUIRE(i + 2 < body.size() && isUpperHex(body[i + 1]) &&
                             isUpperHex(body[i + 2]),
                         "% starts an escape of two upper-case hex digits");
        }
    }

    const QUrlQuery query(QString::fromLatin1(body));
    const QList<QPair<QString, QString>> items = query.queryItems(QUrl::FullyDecoded);
    FUZZ_REQUIRE(items.size() == pieces.size(), "one parsed item for every piece");
    for (qsizetype i = 0; i < items.size(); ++i) {
        FUZZ_REQUIRE(items[i].first == pieces[i].first, "names read back in order");
        FUZZ_REQUIRE(items[i].second == pieces[i].second, "values read back unchanged");
    }
    return 0;
}
