// Access to the settings file, an INI file: the Windows profile functions in the Windows
// builds, the program's own INI reader and writer (mini.h) in the Linux edition. Either
// way only a regular file of at most MINI_MAX_FILE_BYTES is read or written: anything else
// reads as a missing file and is never written.
#pragma once

#include <string>
#include <vector>

#include "mlib/mini.h"

// GetPrivateProfileIntA: the key's decimal value, or the default when the key, its
// section or the file is missing.
unsigned MGetPrivateProfileInt(const char* section, const char* key, int defaultValue,
                               const char* path);

// GetPrivateProfileStringA: copies the key's value, or the default, NUL-terminated and cut
// to size - 1 bytes; answers the length copied.
unsigned long MGetPrivateProfileString(const char* section, const char* key,
                                       const char* defaultValue, char* buffer, unsigned long size,
                                       const char* path);

// The key's whole value, or the default, however long it is (up to the first NUL, as
// GetPrivateProfileStringA gives it): false when it could not be had whole (then value is
// empty), which the Linux edition never answers.
bool MGetPrivateProfileText(const char* section, const char* key, const char* defaultValue,
                            std::string* value, const char* path);

// WritePrivateProfileStringA: gives the key the value, creating the key, the section and
// the file as needed; false when the file could not be written.
bool MWritePrivateProfileString(const char* section, const char* key, const char* value,
                                const char* path);

// Gives several keys their values: the Linux edition replaces the file once for all of them
// (a kill leaves the old file or the new one whole); the Windows build writes them one by
// one with WritePrivateProfileStringA. False when any could not be written.
bool MWritePrivateProfileStrings(const char* section, const std::vector<MIniValue>& values,
                                 const char* path);
