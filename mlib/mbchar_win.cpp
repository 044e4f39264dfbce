// The Windows builds' ANSI code page is Shift-JIS.
#include "mlib/mbchar.h"

int MbcLength(unsigned char leadByte) {
    return SjisLeadLength(leadByte);
}
int MbcCharLength(const char* p) {
    return SjisCharLength(p);
}
