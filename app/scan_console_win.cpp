// The console of a foreground scan on Windows: the console the command was started from.
#include <windows.h>

#include "app/growth_scans.h"

namespace {

HANDLE Output(bool error) {
    DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    HANDLE handle = GetStdHandle(which);
    if (handle == NULL || handle == INVALID_HANDLE_VALUE) {
        AttachConsole(ATTACH_PARENT_PROCESS);
        handle = GetStdHandle(which);
    }
    return handle;
}

}  // namespace

int ScanConsoleColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE output = Output(false);
    if (output == NULL || output == INVALID_HANDLE_VALUE ||
        !GetConsoleScreenBufferInfo(output, &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

void ScanConsoleWrite(const std::string& text, bool error) {
    HANDLE output = Output(error);
    if (output == NULL || output == INVALID_HANDLE_VALUE) {
        return;
    }
    std::string lines;
    for (char c : text) {
        if (c == '\n') {
            lines += '\r';
        }
        lines += c;
    }
    DWORD written = 0;
    WriteFile(output, lines.data(), static_cast<DWORD>(lines.size()), &written, NULL);
}
