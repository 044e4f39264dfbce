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
    // The number alone may name a handle of the child's own: it is the parent's event only
    // if it follows that event, which the child reaches by name, through a reset and a set.
    bool inherited = false;
    const char* name = getenv("FSW_HANDLE_NAME");
    HANDLE byName = name != nullptr ? OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name)
                                    : nullptr;
    if (handle != nullptr && byName != nullptr) {
        ResetEvent(byName);
        bool followsReset = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
        SetEvent(byName);
        inherited = followsReset && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        CloseHandle(byName);
    }
    WriteFileBytes(path, std::string(GetConsoleWindow() != nullptr ? "console" : "no console") +
                             (hidden ? ", hidden\n" : ", shown\n") +
                             (value != nullptr ? value : "(none)") + "\n" +
                             (inherited ? "handle inherited\n" : "handle not inherited\n"));
}
