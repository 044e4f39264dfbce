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
