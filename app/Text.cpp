#include "app/Text.h"

#include "platform/FormEncoding.h"

#include <QStringDecoder>

#include <unicode/ubrk.h>

#include <algorithm>
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
    QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    // A dot early in a long name does not start an extension; keeping such a tail would make
    // the shortened name longer than the name.
    const bool spaced =
        std::any_of(extension.cbegin(), extension.cend(), [](QChar c) { return c.isSpace(); });
    if (spaced || graphemeCount(extension) > kExtensionLimit) extension.clear();
    return firstGraphemes(name, kDisplayNameLimit) + QStringLiteral("...") + extension;
}

QString shownAnswer(const QString& text) {
    // The break iterator sees the budget and one code point more: every boundary within the
    // budget is then a boundary of the whole text, however long that is.
    const QString window = text.left(kShownCodeUnits + 2);
    GraphemeBreaks breaks(window);
    qsizetype end = 0;
    for (qsizetype shown = 0; shown < kShownCharacters; ++shown) {
        const qsizetype next = breaks.next();
        if (next == UBRK_DONE || next > kShownCodeUnits) break;
        end = next;
    }
    if (end == text.size()) return text;
    return text.left(end) + QStringLiteral("...");
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

std::optional<QString> decodeUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

std::optional<QString> decodeAnswer(QByteArrayView body) {
    std::optional<QString> text = decodeUtf8(body);
    if (text && text->startsWith(QChar::ByteOrderMark)) text->remove(0, 1);
    return text;
}

namespace {
bool isControl(QChar c) {
    return c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}
}  // namespace

LoginAnswer classifyLoginAnswer(const QString& answer) {
    if (answer.size() != kApiKeyLength) return LoginAnswer::Message;
    if (answer == kRejectionAnswer) return LoginAnswer::Rejected;
    const bool storable = std::none_of(answer.cbegin(), answer.cend(), [](QChar c) {
        return c == QLatin1Char(',') || isControl(c);
    });
    return storable ? LoginAnswer::Accepted : LoginAnswer::Message;
}

bool isAddress(const QString& title, qsizetype addressLength) {
    const bool plain = std::none_of(title.cbegin(), title.cend(),
                                    [](QChar c) { return c.isSpace() || isControl(c); });
    return plain && graphemeCount(title) == addressLength;
}

}  // namespace ferrodock
