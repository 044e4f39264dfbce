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

// The text is UTF-8 already; only what is not well-formed UTF-8 is replaced. Overlong forms,
// surrogates and values beyond U+10FFFF are not well-formed.
std::string MAnsiToUtf8(const char* text, size_t length) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    std::string out;
    out.reserve(length);
    size_t i = 0;
    while (i < length) {
        unsigned char lead = bytes[i];
        size_t size = lead < 0x80                    ? 1
                      : lead >= 0xC2 && lead <= 0xDF ? 2
                      : lead >= 0xE0 && lead <= 0xEF ? 3
                      : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                     : 0;
        bool whole = size > 0 && i + size <= length;
        for (size_t k = 1; whole && k < size; k++) {
            whole = (bytes[i + k] & 0xC0) == 0x80;
        }
        if (whole && size >= 3) {
            unsigned char second = bytes[i + 1];
            whole = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second >= 0xA0) &&
                    !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second >= 0x90);
        }
        if (whole) {
            out.append(text + i, size);
            i += size;
        } else {
            out += "\xEF\xBF\xBD";
            i++;
        }
    }
    return out;
}

bool MProgramCodePageActive() {
    return true;
}
