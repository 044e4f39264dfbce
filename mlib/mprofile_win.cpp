// The settings file through the Windows profile functions, which read the whole file
// themselves: they are called only for a regular file of a bounded size, or none at all.
#include "mlib/mprofile.h"

#include "mlib/msys.h"

namespace {

// A missing file is fine: the profile functions give the defaults, the writer creates it.
bool Usable(const char* path) {
    MReadResult state = MIniCheckFile(path);
    return state == M_READ_DONE || state == M_READ_MISSING;
}

}  // namespace

unsigned MGetPrivateProfileInt(const char* section, const char* key, int defaultValue,
                               const char* path) {
    if (!Usable(path)) {
        return static_cast<unsigned>(defaultValue);
    }
    return GetPrivateProfileIntA(section, key, defaultValue, path);
}

unsigned long MGetPrivateProfileString(const char* section, const char* key,
                                       const char* defaultValue, char* buffer, unsigned long size,
                                       const char* path) {
    if (!Usable(path)) {
        return MIniGetString(section, key, defaultValue, buffer, size, path);  // the default
    }
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, path);
}

// GetPrivateProfileStringA answers size - 1 when it cut the value: the buffer grows until
// the value fits, up to the size of the largest file that is read.
bool MGetPrivateProfileText(const char* section, const char* key, const char* defaultValue,
                            std::string* value, const char* path) {
    if (!Usable(path)) {
        *value = MIniGetText(section, key, defaultValue, path);  // the default
        return true;
    }
    for (size_t size = 4096; size <= 2 * MINI_MAX_FILE_BYTES; size *= 2) {
        std::string buffer(size, '\0');
        DWORD length = GetPrivateProfileStringA(section, key, defaultValue, &buffer[0],
                                                static_cast<DWORD>(size), path);
        if (length < size - 1) {
            *value = buffer.substr(0, length);
            return true;
        }
    }
    value->clear();
    return false;
}

// A scanner, backup or indexer that holds the file without sharing makes a write fail for
// a moment: like the program's other replacements, it is tried again for about a second.
template <typename Write>
bool WriteRetried(const char* path, Write write) {
    const int TRIES = 10;
    const DWORD PAUSE_MS = 100;
    for (int tried = 1;; tried++) {
        SetLastError(ERROR_SUCCESS);
        if (Usable(path) && write()) {
            return true;
        }
        DWORD error = GetLastError();
        if (tried == TRIES || (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION)) {
            return false;
        }
        Sleep(PAUSE_MS);
    }
}

bool MWritePrivateProfileString(const char* section, const char* key, const char* value,
                                const char* path) {
    return WriteRetried(path,
                        [&] { return WritePrivateProfileStringA(section, key, value, path) != 0; });
}

bool MWritePrivateProfileStrings(const char* section, const std::vector<MIniValue>& values,
                                 const char* path) {
    return WriteRetried(path, [&] {
        DWORD firstError = ERROR_SUCCESS;
        for (const MIniValue& value : values) {
            if (!WritePrivateProfileStringA(section, value.key.c_str(), value.value.c_str(),
                                            path) &&
                firstError == ERROR_SUCCESS) {
                firstError = GetLastError();
            }
        }
        SetLastError(firstError);
        return firstError == ERROR_SUCCESS;
    });
}
