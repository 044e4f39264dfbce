// The report of a test program run as a command.
#include "tests/support/command_report_win.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/support/test_support.h"

void WriteCommandReport(const char* path) {
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    bool hidden = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 && startup.wShowWindow == SW_HIDE;
    // The C library's copy of the environment: Wine's GetEnvironmentVariableA cuts values
    // of double-byte characters short when it converts them.
    const char* value = getenv("FSW_TITLE");
    const char* handleText = getenv("FSW_HANDLE");
    HANDLE handle = reinterpret_cast<HANDLE>(
        static_cast<uintptr_t>(strtoull(handleText != nullptr ? handleText : "0", nullptr, 10)));
    DWORD flags = 0;
    bool inherited = handle != nullptr && GetHandleInformation(handle, &flags);
    WriteFileBytes(path, std::string(GetConsoleWindow() != nullptr ? "console" : "no console") +
                             (hidden ? ", hidden\n" : ", shown\n") +
                             (value != nullptr ? value : "(none)") + "\n" +
                             (inherited ? "handle inherited\n" : "handle not inherited\n"));
}
