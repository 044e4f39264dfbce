// The settings file through the Windows profile functions.
#include "mlib/mprofile.h"

#include "mlib/msys.h"

unsigned MGetPrivateProfileInt(const char* section, const char* key, int defaultValue,
                               const char* path) {
    return GetPrivateProfileIntA(section, key, defaultValue, path);
}

unsigned long MGetPrivateProfileString(const char* section, const char* key,
                                       const char* defaultValue, char* buffer, unsigned long size,
                                       const char* path) {
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, path);
}

bool MWritePrivateProfileString(const char* section, const char* key, const char* value,
                                const char* path) {
    return WritePrivateProfileStringA(section, key, value, path) != 0;
}
