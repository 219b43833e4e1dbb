#include "app/Text.h"

#include "platform/FormEncoding.h"

#include <QStringDecoder>

#include <unicode/ubrk.h>

#include <memory>

namespace ferrodock {

namespace {

// Extended grapheme clusters as Unicode defines them. ICU rather than QTextBoundaryFinder:
// Qt 6.4 applies its own syllable rules to Indic and Southeast Asian scripts and splits, for
// example, a consonant from a following combining accent.
class GraphemeBreaks {
public:
    explicit GraphemeBreaks(const QString& text) {
        UErrorCode status = U_ZERO_ERROR;
        iterator_.reset(ubrk_open(UBRK_CHARACTER, "", reinterpret_cast<const UChar*>(text.utf16()),
                                  int32_t(text.size()), &status));
        if (U_FAILURE(status)) iterator_.reset();
    }
    // The end of the next character, or -1 past the last one.
    qsizetype next() { return iterator_ ? ubrk_next(iterator_.get()) : -1; }

private:
    struct Close {
        void operator()(UBreakIterator* it) const { ubrk_close(it); }
    };
    std::unique_ptr<UBreakIterator, Close> iterator_;
};

}  // namespace

qsizetype graphemeCount(const QString& text) {
    GraphemeBreaks breaks(text);
    qsizetype count = 0;
    while (breaks.next() != UBRK_DONE) ++count;
    return count;
}

QString firstGraphemes(const QString& text, qsizetype count) {
    GraphemeBreaks breaks(text);
    qsizetype end = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype next = breaks.next();
        if (next == UBRK_DONE) break;
        end = next;
    }
    return text.left(end);
}

QString displayName(const QString& path) {
    const QString name = path.section(QLatin1Char('/'), -1);
    if (graphemeCount(name) <= kDisplayNameLimit) return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    return firstGraphemes(name, kDisplayNameLimit) + QStringLiteral("...") + extension;
}

// One pass to size the body, one to write it: a large paste is neither copied nor
// reallocated on its way out.
QByteArray formBody(const QList<FormPiece>& pieces) {
    qsizetype size = 0;
    for (const FormPiece& piece : pieces) {
        size += piece.first.toUtf8().size() + 2 + formEncodedSize(piece.second);
    }
    QByteArray body(size, Qt::Uninitialized);
    char* out = body.data();
    for (const FormPiece& piece : pieces) {
        if (out != body.data()) *out++ = '&';
        const QByteArray name = piece.first.toUtf8();
        out = std::copy(name.begin(), name.end(), out);
        *out++ = '=';
        out = appendFormEncoded(out, piece.second);
    }
    body.truncate(out - body.data());
    return body;
}

std::optional<QString> decodeAnswer(QByteArrayView body) {
    // A leading byte-order mark is kept: it is part of what the service sent.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(body);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

LoginAnswer classifyLoginAnswer(const QString& answer) {
    if (answer.size() != kApiKeyLength) return LoginAnswer::Message;
    if (answer == kRejectionAnswer) return LoginAnswer::Rejected;
    return LoginAnswer::Accepted;
}

bool hasAddressLength(const QString& title, qsizetype addressLength) {
    return graphemeCount(title) == addressLength;
}

}  // namespace ferrodock
