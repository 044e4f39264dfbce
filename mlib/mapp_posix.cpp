// POSIX parts of the application base class: the version numbers the build defines,
// the console message loop and the system's error texts.
#include "mlib/mapp.h"

#include <cstring>

#include "version.h"

void MApp::GetVersionNumbers(uint16_t* first, uint16_t* second, uint16_t* third, uint16_t* fourth) {
    if (first != nullptr)
        *first = FSW_VERSION_MAJOR;
    if (second != nullptr)
        *second = FSW_VERSION_MINOR;
    if (third != nullptr)
        *third = FSW_VERSION_BUILD;
    if (fourth != nullptr)
        *fourth = FSW_VERSION_REVISION;
}

// A handler's exception is reported and the loop goes on to the orderly end: the
// message that failed has already left the queue.
int MApp::MessageLoop(HWND window) {
    EnterLoop(window);
    int exitCode = 0;
    for (;;) {
        try {
            exitCode = MRunMessageLoop();
            break;
        } catch (...) {
            HandleWindowException(window, false);
        }
    }
    LeaveLoop();
    return exitCode;
}

namespace {

const char* SystemText(unsigned long errorCode, char* buffer, size_t size) {
    return strerror_r(static_cast<int>(errorCode), buffer, size);
}

}  // namespace

int ShowErrorBox(unsigned long errorCode) {
    char buffer[256];
    return MMessageBox(nullptr, SystemText(errorCode, buffer, sizeof buffer), "Error!",
                       MB_ICONERROR);
}

int GetErrorText(char* out, unsigned long errorCode, int outLength) {
    char buffer[256];
    const char* text = SystemText(errorCode, buffer, sizeof buffer);
    size_t length = strlen(text);
    if (out == nullptr) {
        return static_cast<int>(length);
    }
    if (outLength <= 0) {
        return 0;
    }
    if (length > static_cast<size_t>(outLength) - 1) {
        length = static_cast<size_t>(outLength) - 1;
    }
    memcpy(out, text, length);
    out[length] = '\0';
    return static_cast<int>(length);
}
