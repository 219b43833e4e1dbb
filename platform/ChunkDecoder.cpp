#include "platform/Transfer.h"

#include <cctype>

namespace ferrodock::transfer {

bool ChunkDecoder::feed(const char* data, size_t size, QByteArray& out) {
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        switch (state) {
            case State::Size:
                if (std::isxdigit(static_cast<unsigned char>(c))) {
                    if (left > (qint64(1) << 40)) return false;
                    left =
                        left * 16 + (std::isdigit(static_cast<unsigned char>(c))
                                         ? c - '0'
                                         : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
                    sawDigit = true;
                } else if (sawDigit && (c == ';' || c == ' ' || c == '\t')) {
                    state = State::Extension;
                } else if (sawDigit && c == '\r') {
                    state = State::SizeEnd;
                } else {
                    return false;
                }
                break;
            case State::Extension:
                if (c == '\r') state = State::SizeEnd;
                break;
            case State::SizeEnd:
                if (c != '\n') return false;
                state = left > 0 ? State::Data : State::Trailer;
                break;
            case State::Data: {
                const size_t n = size_t(std::min<qint64>(left, qint64(size - i)));
                out.append(data + i, qsizetype(n));
                left -= qint64(n);
                i += n - 1;
                if (left == 0) state = State::DataCr;
                break;
            }
            case State::DataCr:
                if (c != '\r') return false;
                state = State::DataLf;
                break;
            case State::DataLf:
                if (c != '\n') return false;
                state = State::Size;
                sawDigit = false;
                break;
            case State::Trailer:
                return true;
        }
    }
    return true;
}

}  // namespace ferrodock::transfer
