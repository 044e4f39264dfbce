// The library's exception text.
#include "mlib/mexception.h"

#include <cstdio>

#include "mlib/mbchar.h"

MException theException;

namespace {

// The exception text, shared by the process; set from the user-interface thread only.
char g_exceptionText[4096];

// The part of a path after its last folder separator, found at character boundaries so
// that a 0x5C trail byte of a two-byte character is never taken for a backslash.
const char* FileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; p += MbcCharLength(p)) {
        if (*p == '\\' || *p == '/') {
            name = p + 1;
        }
    }
    return name;
}

}  // namespace

void MException::Set(const char* message, int line, const char* sourcePath) {
    snprintf(g_exceptionText, sizeof g_exceptionText, "%s(%d) : %s", FileNamePart(sourcePath), line,
             message);
    g_exceptionText[sizeof g_exceptionText - 1] = '\0';
}

const char* MException::GetText() {
    return g_exceptionText;
}

MException* MException::Make(const char* message, int line, const char* sourcePath) {
    Set(message, line, sourcePath);
    return this;
}
