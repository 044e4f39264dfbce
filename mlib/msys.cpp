// The parts of the system seam that are the same on both platforms: the program's own path
// under --dir, and the hook that takes the place of message boxes in tests.
#include "mlib/msys.h"

#include <cstring>
#include <string>

#include "mlib/mbchar.h"

static std::string g_moduleDirectory;

void MSetModuleDirectory(const char* dir) {
    g_moduleDirectory = dir;
}

size_t MGetModuleFileName(HINSTANCE instance, char* buffer, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string path = MSystemModulePath(instance);
    if (!path.empty() && !g_moduleDirectory.empty()) {
        // The name after the last separator, found at character boundaries.
        size_t name = 0;
        for (size_t at = 0; at < path.size(); at += MbcCharLength(path.c_str() + at)) {
            if (path[at] == M_PATH_SEPARATOR) {
                name = at + 1;
            }
        }
        path = g_moduleDirectory + M_PATH_SEPARATOR + path.substr(name);
    }
    // Like GetModuleFileNameA: a path that does not fit is cut and still ends in NUL.
    size_t copied = path.size() < size ? path.size() : size - 1;
    memcpy(buffer, path.data(), copied);
    buffer[copied] = '\0';
    return copied;
}

static MMessageBoxHook g_messageBoxHook = nullptr;

int MMessageBox(HWND owner, const char* text, const char* caption, unsigned type) {
    if (g_messageBoxHook != nullptr) {
        return g_messageBoxHook(owner, text, caption, type);
    }
    return MSystemMessageBox(owner, text, caption, type);
}

MMessageBoxHook MSetMessageBoxHook(MMessageBoxHook hook) {
    MMessageBoxHook previous = g_messageBoxHook;
    g_messageBoxHook = hook;
    return previous;
}
