// The console edition has no pickers and no shell links.
#include "mlib/mbase.h"

MBase::~MBase() {}

bool MBase::SelectOpenFile(HWND, char*, int, const char*, unsigned long) {
    return false;
}
bool MBase::SelectSaveFile(HWND, char*, int, const char*, unsigned long) {
    return false;
}
bool MBase::SelectFolder(HWND, char*, int, const char*) {
    return false;
}

bool MBase::CreateShortcut(const char*, const char*, const char*, const char*, int, const char*,
                           const char*, int, uint16_t) {
    return false;
}
