// Form encoding round trip: the values a form parser reads back are the values given, the body
// is plain ASCII made of unreserved characters and escapes, and its length is the one computed
// in advance (the request announces it).
#include "FuzzSupport.h"
#include "platform/FormEncoding.h"
#include "platform/Transport.h"

#include <QRegularExpression>
#include <QUrlQuery>

#include <array>

namespace {

// The bytes as UTF-8, with U+FFFD for malformed sequences and for noncharacters (U+FDD0..FDEF,
// U+xFFFE, U+xFFFF): QUrl refuses to decode those, so they cannot be compared through it.
QString valueOf(QByteArrayView bytes) {
    const QString text = QString::fromUtf8(bytes);
    QString value;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = fuzz::codePointAt(text, i);
        value += QChar::isNonCharacter(c) ? QString(QChar::ReplacementCharacter)
                                          : QString::fromUcs4(&c, 1);
        if (c > 0xFFFF) ++i;
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte separates up to four values in the rest.
    static const std::array<QString, 4> kNames{QStringLiteral("pastedata"),
                                               QStringLiteral("language"), QStringLiteral("priv"),
                                               QStringLiteral("apikey")};
    if (size == 0) return 0;
    const QByteArrayView rest = fuzz::bytesOf(data + 1, size - 1);
    QList<ferrodock::FormField> pieces;
    qsizetype from = 0;
    for (const QString& name : kNames) {
        qsizetype to = rest.indexOf(char(data[0]), from);
        if (to < 0 || pieces.size() + 1 == qsizetype(kNames.size())) to = rest.size();
        pieces.append({name, valueOf(rest.sliced(from, to - from))});
        from = to + 1;
        if (from > rest.size()) break;
    }

    QByteArray body;
    for (const ferrodock::FormField& piece : pieces) {
        if (!body.isEmpty()) body += '&';
        body += piece.name.toUtf8() + '=';
        const qsizetype at = body.size();
        body.resize(at + ferrodock::formEncodedSize(piece.value));
        const char* end = ferrodock::appendFormEncoded(body.data() + at, piece.value);
        FUZZ_REQUIRE(end == body.constData() + body.size(), "the computed length is the length");
    }
    static const QRegularExpression kShape(
        QStringLiteral("^([A-Za-z0-9._~-]|%[0-9A-F]{2}|[=&])*$"));
    FUZZ_REQUIRE(kShape.match(QString::fromLatin1(body)).hasMatch(),
                 "the body holds only unreserved characters, %XX escapes, = and &");

    const QUrlQuery query(QString::fromLatin1(body));
    const QList<QPair<QString, QString>> items = query.queryItems(QUrl::FullyDecoded);
    FUZZ_REQUIRE(items.size() == pieces.size(), "one parsed item for every piece");
    for (qsizetype i = 0; i < items.size(); ++i) {
        FUZZ_REQUIRE(items[i].first == pieces[i].name, "names read back in order");
        FUZZ_REQUIRE(items[i].second == pieces[i].value, "values read back unchanged");
    }
    return 0;
}
