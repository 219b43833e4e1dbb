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
    const auto at = [&](qsizetype i) { return uint8_t(bytes[i]); };
    const auto inRange = [&](qsizetype i, unsigned lo, unsigned hi) {
        return i < bytes.size() && at(i) >= lo && at(i) <= hi;
    };
    qsizetype i = 0;
    while (i < bytes.size()) {
        const unsigned lead = at(i);
        qsizetype length = 0;
        unsigned secondLo = 0x80, secondHi = 0xBF;
        if (lead <= 0x7F) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) secondLo = 0xA0;
            if (lead == 0xED) secondHi = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) secondLo = 0x90;
            if (lead == 0xF4) secondHi = 0x8F;
        } else {
            return false;
        }
        if (length > 1 && !inRange(i + 1, secondLo, secondHi)) return false;
        for (qsizetype k = 2; k < length; ++k) {
            if (!inRange(i + k, 0x80, 0xBF)) return false;
        }
        i += length;
    }
    return true;
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
