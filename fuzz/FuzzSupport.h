#pragma once

// Helpers shared by the fuzz targets: a UTF-8 validator written independently of Qt's decoder,
// input slicing, and a check that aborts (so libFuzzer reports the input) when a property fails.

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void broken(const char* property, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, property);
    std::abort();
}

#define FUZZ_REQUIRE(condition, property) \
    ((condition) ? void(0) : ::fuzz::broken(property, __FILE__, __LINE__))

inline QByteArrayView bytesOf(const uint8_t* data, size_t size) {
    return QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Well-formed UTF-8 as Unicode defines it (table 3-7): no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequence.
inline bool isWellFormedUtf8(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size();) {
        const uint8_t lead = uint8_t(bytes[i]);
        const int length = lead < 0x80   ? 1
                           : lead < 0xC2 ? 0
                           : lead < 0xE0 ? 2
                           : lead < 0xF0 ? 3
                           : lead < 0xF5 ? 4
                                         : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        // The second byte's range rules out the overlong, surrogate and too large forms.
        const uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        for (int k = 1; k < length; ++k) {
            const uint8_t next = uint8_t(bytes[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

// The code point at `i`, a surrogate pair read as one.
inline char32_t codePointAt(const QString& text, qsizetype i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(text[i], text[i + 1]);
    return text[i].unicode();
}

// The bytes read as UTF-16 code units, little-endian; an odd last byte is dropped. Any unit
// may come out, unpaired surrogates included.
inline QString utf16Of(QByteArrayView bytes) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        text[i] = QChar(char16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8));
    }
    return text;
}

}  // namespace fuzz
