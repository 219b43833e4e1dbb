#pragma once

#include <QByteArrayView>
#include <QStringView>

namespace ferrodock {

// Percent-encoding of form values as UTF-8: all but A-Z a-z 0-9 - . _ ~ becomes %XX. An
// unpaired surrogate is sent as '?', as QString::toUtf8() would send it.

// How many bytes `text` takes encoded.
qsizetype formEncodedSize(QStringView text);
// Writes `text` encoded at `out`, which has room for formEncodedSize(text) bytes; returns the
// end of what was written.
char* appendFormEncoded(char* out, QStringView text);
// The same for text already in UTF-8, a byte at a time.
qsizetype formEncodedSize(QByteArrayView utf8);
char* appendFormEncoded(char* out, QByteArrayView utf8);

}  // namespace ferrodock
