// UTF-8 <-> CP932 at the protocol boundary, with iconv.
#include "mlib/mcodepage.h"

#include <errno.h>
#include <iconv.h>

namespace {

bool IsAscii(const char* text, size_t length) {
    for (size_t i = 0; i < length; i++) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

// The whole text converted, or the raw bytes when any part of it does not convert.
// ASCII is the same in both code pages and needs no converter.
std::string Convert(const char* to, const char* from, const char* text, size_t length) {
    std::string raw(text, length);
    if (IsAscii(text, length)) {
        return raw;
    }
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return raw;
    }
    std::string out(length * 3 + 8, '\0');
    char* in = &raw[0];
    size_t inLeft = length;
    char* next = &out[0];
    size_t outLeft = out.size();
    size_t result = iconv(converter, &in, &inLeft, &next, &outLeft);
    bool whole = result != static_cast<size_t>(-1) && inLeft == 0 &&
                 iconv(converter, nullptr, nullptr, &next, &outLeft) != static_cast<size_t>(-1);
    iconv_close(converter);
    if (!whole) {
        return raw;
    }
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::string MAnsiToWire(const char* text, size_t length) {
    return Convert("CP932", "UTF-8", text, length);
}

std::string MWireToAnsi(const char* bytes, size_t length) {
    return Convert("UTF-8", "CP932", bytes, length);
}
