// The Windows builds' ANSI code page is Shift-JIS.
#include "mlib/mbchar.h"

int MbcLength(unsigned char leadByte) {
    return SjisLeadLength(leadByte);
}
int MbcCharLength(const char* p) {
    return SjisCharLength(p);
}
int MbcValidLength(const unsigned char* p, size_t left) {
    return SjisValidLength(p, left);
}
