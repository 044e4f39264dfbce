// The disk seam's shared part: the test stand-in and the rules for paths.
#include "mlib/mdisk.h"

#include <atomic>
#include <cstring>

#include "mlib/mbchar.h"

namespace {

std::atomic<MDiskFreeSpaceHook> g_hook{nullptr};

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A component whose name, before any extension and trailing spaces, is a DOS device.
bool NamesDevice(const char* begin, const char* end) {
    const char* stop = begin;
    while (stop < end && *stop != '.') {
        stop++;
    }
    while (stop > begin && stop[-1] == ' ') {
        stop--;
    }
    size_t length = static_cast<size_t>(stop - begin);
    char name[8];
    if (length < 3 || length > 7) {
        return false;
    }
    for (size_t i = 0; i < length; i++) {
        name[i] = Upper(begin[i]);
    }
    name[length] = '\0';
    static const char* const DEVICES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : DEVICES) {
        if (strcmp(name, device) == 0) {
            return true;
        }
    }
    return length == 4 && (memcmp(name, "COM", 3) == 0 || memcmp(name, "LPT", 3) == 0) &&
           name[3] >= '0' && name[3] <= '9';
}

}  // namespace

VolumeFigures ChooseVolumeFigures(uint64_t callerFree, uint64_t callerTotal, uint64_t volumeFree,
                                  uint64_t volumeTotal) {
    uint64_t total = volumeTotal > callerTotal ? volumeTotal : callerTotal;
    if (volumeFree <= total) {
        return VolumeFigures{volumeFree, total};
    }
    return VolumeFigures{callerFree, callerTotal};
}

VolumeFigures StatvfsFigures(uint64_t blocks, uint64_t freeBlocks, uint64_t availableBlocks,
                             uint64_t fragmentSize) {
    uint64_t available = availableBlocks < freeBlocks ? availableBlocks : freeBlocks;
    return VolumeFigures{available * fragmentSize, blocks * fragmentSize};
}

bool MGetDiskFreeSpace(const char* path, uint64_t* freeBytes, uint64_t* totalBytes) {
    MDiskFreeSpaceHook hook = g_hook;
    if (hook != nullptr) {
        return hook(path, freeBytes, totalBytes);
    }
    return MMeasureVolume(path, freeBytes, totalBytes);
}

MDiskFreeSpaceHook MSetDiskFreeSpaceHook(MDiskFreeSpaceHook hook) {
    return g_hook.exchange(hook);
}

bool IsLocalDrivePath(const char* path) {
    char drive = Upper(path[0]);
    if (drive < 'A' || drive > 'Z' || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) {
        return false;
    }
    const char* component = path + 3;
    for (const char* p = component;; p += SjisCharLength(p)) {
        unsigned char b = static_cast<unsigned char>(*p);
        if (b == '\0' || b == '\\' || b == '/') {
            if (NamesDevice(component, p)) {
                return false;
            }
            if (b == '\0') {
                return true;
            }
            component = p + 1;
        } else if (b < 0x20 || strchr(":*?\"<>|", b) != nullptr) {
            return false;
        }
    }
}

bool IsAbsolutePosixPath(const char* path) {
    return path[0] == '/';
}
