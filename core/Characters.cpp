#include "core/Characters.h"

#include <QList>

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
    qsizetype next() { return iterator_ ? ubrk_next(iterator_.get()) : UBRK_DONE; }

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

QString pasteHistoryName(const QByteArray& utf8) {
    constexpr qsizetype kLongest = 60;
    // The first line is all that is shown: a long paste is not decoded whole for it.
    const QString text = QString::fromUtf8(utf8.left(64 * 1024));
    QString line;
    for (const QStringView candidate : QStringView(text).split(u'\n')) {
        line = candidate.toString().simplified();
        if (!line.isEmpty()) break;
    }
    if (graphemeCount(line) <= kLongest) return line;
    return firstGraphemes(line, kLongest - 1) + QChar(0x2026);
}

}  // namespace ferrodock
