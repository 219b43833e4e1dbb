#pragma once

// Shared by the fuzz targets: a check that aborts (so libFuzzer keeps the input) and the ways
// the input is read.

#include <QString>

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition, property) \
    ((condition) ? void(0) : (std::fprintf(stderr, "broken: %s\n", property), std::abort()))

namespace fuzz {

inline QByteArrayView bytesOf(const uint8_t* data, size_t size) {
    return QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Well-formed UTF-8 exactly when Qt's lenient decoder, which puts U+FFFD for every malformed,
// overlong or surrogate sequence, gives the same bytes back (after a letter: it drops a
// leading byte-order mark).
inline bool isUtf8(QByteArrayView bytes) {
    const QByteArray text = 'a' + bytes.toByteArray();
    return QString::fromUtf8(text).toUtf8() == text;
}

// The bytes as little-endian UTF-16 units, unpaired surrogates included.
inline QString utf16Of(QByteArrayView bytes) {
    return QString(reinterpret_cast<const QChar*>(bytes.data()), bytes.size() / 2);
}

}  // namespace fuzz
