// The Linux edition's ANSI code page is UTF-8.
#include "mlib/mbchar.h"

int MbcLength(unsigned char leadByte) {
    return Utf8LeadLength(leadByte);
}
int MbcCharLength(const char* p) {
    return Utf8CharLength(p);
}
int MbcValidLength(const unsigned char* p, size_t left) {
    return Utf8ValidLength(p, left);
}
