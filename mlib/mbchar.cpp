// Character boundaries of Shift-JIS and UTF-8 text.
#include "mlib/mbchar.h"

int SjisCharLength(const char* p) {
    if (SjisLeadLength(static_cast<unsigned char>(p[0])) == 2 && p[1] != '\0') {
        return 2;
    }
    return 1;
}

int Utf8CharLength(const char* p) {
    int length = Utf8LeadLength(static_cast<unsigned char>(p[0]));
    for (int i = 1; i < length; i++) {
        unsigned char b = static_cast<unsigned char>(p[i]);
        if (b < 0x80 || b > 0xBF) {
            return 1;
        }
    }
    return length;
}

int SjisValidLength(const unsigned char* p, size_t left) {
    unsigned char b = p[0];
    if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
        return 1;  // ASCII and half-width katakana
    }
    if (SjisLeadLength(b) == 2 && left >= 2) {
        unsigned char trail = p[1];
        if ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC)) {
            return 2;
        }
    }
    return 0;
}

int Utf8ValidLength(const unsigned char* p, size_t left) {
    unsigned char b = p[0];
    if (b < 0x80) {
        return 1;
    }
    int length = Utf8LeadLength(b);
    if (length == 1 || static_cast<size_t>(length) > left) {
        return 0;
    }
    // The second byte's range excludes overlong forms, surrogates and code points
    // beyond U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b == 0xE0) {
        low = 0xA0;
    } else if (b == 0xED) {
        high = 0x9F;
    } else if (b == 0xF0) {
        low = 0x90;
    } else if (b == 0xF4) {
        high = 0x8F;
    }
    if (p[1] < low || p[1] > high) {
        return 0;
    }
    for (int i = 2; i < length; i++) {
        if (p[i] < 0x80 || p[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}
