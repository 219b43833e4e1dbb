#include "platform/FormEncoding.h"

#include <QChar>

namespace ferrodock {

namespace {

bool unreserved(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'.' || c == u'_' || c == u'~';
}

// Walks `text` one code point at a time as UTF-8 sees it: `visit` gets the code unit (the
// first of a pair) and how many bytes the code point takes. An unpaired surrogate counts as
// the one '?' it is sent as.
template <typename Visit>
void forEachCodePoint(QStringView text, Visit visit) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int bytes = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes = 4;
            ++i;
        } else if (QChar::isSurrogate(c)) {
            bytes = 1;
        }
        visit(c, bytes);
    }
}

}  // namespace

qsizetype formEncodedSize(QStringView text) {
    qsizetype size = 0;
    forEachCodePoint(text,
                     [&size](char16_t c, int bytes) { size += unreserved(c) ? 1 : 3 * bytes; });
    return size;
}

char* appendFormEncoded(char* out, QStringView text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    auto byte = [&out](unsigned b) {
        *out++ = '%';
        *out++ = kHex[b >> 4];
        *out++ = kHex[b & 15];
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (c < 0x80) {
            if (unreserved(char16_t(c))) {
                *out++ = char(c);
            } else {
                byte(c);
            }
            continue;
        }
        if (c < 0x800) {
            byte(0xC0 | (c >> 6));
            byte(0x80 | (c & 0x3F));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
            byte(0xF0 | (c >> 18));
            byte(0x80 | ((c >> 12) & 0x3F));
            byte(0x80 | ((c >> 6) & 0x3F));
            byte(0x80 | (c & 0x3F));
            continue;
        }
        if (QChar::isSurrogate(c)) {
            byte('?');
            continue;
        }
        byte(0xE0 | (c >> 12));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
    return out;
}

qsizetype formEncodedSize(QByteArrayView utf8) {
    qsizetype size = 0;
    for (const char c : utf8) size += unreserved(char16_t(uchar(c))) ? 1 : 3;
    return size;
}

char* appendFormEncoded(char* out, QByteArrayView utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : utf8) {
        const uchar b = uchar(c);
        if (unreserved(char16_t(b))) {
            *out++ = c;
            continue;
        }
        *out++ = '%';
        *out++ = kHex[b >> 4];
        *out++ = kHex[b & 15];
    }
    return out;
}

}  // namespace ferrodock
