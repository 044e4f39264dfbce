// Escaping of outside text for the log.
#include "mlib/mlogtext.h"

#include "mlib/mbchar.h"

namespace {

void AppendHex(std::string* out, unsigned char b) {
    const char digits[] = "0123456789abcdef";
    *out += "\\x";
    *out += digits[b >> 4];
    *out += digits[b & 0x0F];
}

// C0 controls and DEL; in UTF-8 also the C1 controls U+0080 to U+009F (C2 80 to C2 9F),
// which some terminals take for the start of a sequence.
bool IsControl(const unsigned char* p, int length, bool utf8) {
    if (length == 1) {
        return p[0] < 0x20 || p[0] == 0x7F;
    }
    return utf8 && length == 2 && p[0] == 0xC2 && p[1] < 0xA0;
}

}  // namespace

std::string EscapeLogText(const char* bytes, size_t length,
                          int (*validLength)(const unsigned char*, size_t)) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    const bool utf8 = validLength == Utf8ValidLength;
    std::string out;
    out.reserve(length);
    size_t i = 0;
    while (i < length) {
        int n = validLength(p + i, length - i);
        if (n == 0) {
            AppendHex(&out, p[i]);
            i++;
            continue;
        }
        if (n == 1 && p[i] == '\\') {
            out += "\\\\";  // so that an escape in the line is always the program's own
        } else if (IsControl(p + i, n, utf8)) {
            if (p[i] == '\r') {
                out += "\\r";
            } else if (p[i] == '\n') {
                out += "\\n";
            } else if (p[i] == '\t') {
                out += "\\t";
            } else {
                for (int k = 0; k < n; k++) {
                    AppendHex(&out, p[i + static_cast<size_t>(k)]);
                }
            }
        } else {
            out.append(bytes + i, static_cast<size_t>(n));
        }
        i += static_cast<size_t>(n);
    }
    return out;
}

std::string MEscapeForLog(const char* bytes, size_t length) {
    return EscapeLogText(bytes, length, MbcValidLength);
}
