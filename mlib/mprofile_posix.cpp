// The settings file through the program's own INI reader and writer.
#include "mlib/mprofile.h"

#include "mlib/mini.h"

unsigned MGetPrivateProfileInt(const char* section, const char* key, int defaultValue,
                               const char* path) {
    return MIniGetInt(section, key, defaultValue, path);
}

unsigned long MGetPrivateProfileString(const char* section, const char* key,
                                       const char* defaultValue, char* buffer, unsigned long size,
                                       const char* path) {
    return MIniGetString(section, key, defaultValue, buffer, size, path);
}

bool MGetPrivateProfileText(const char* section, const char* key, const char* defaultValue,
                            std::string* value, const char* path) {
    *value = MIniGetText(section, key, defaultValue, path);
    return true;
}

bool MWritePrivateProfileString(const char* section, const char* key, const char* value,
                                const char* path) {
    return MIniWriteString(section, key, value, path);
}

bool MWritePrivateProfileStrings(const char* section, const std::vector<MIniValue>& values,
                                 const char* path) {
    return MIniWriteStrings(section, values, path);
}
