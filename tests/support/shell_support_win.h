// Windows only. Helpers for tests of the main window and the status window: the
// application object prepared as the program's start would leave it, a recorder of
// the tray icon's calls, and a message pump.
#pragma once

#include <string>
#include <vector>

#include "app/kiv.h"
#include "mlib/mshell_win.h"
#include "tests/support/test_support.h"

// The application object with its locks set up, the version numbers read, a log file
// opened in dir, and the settings at: no server, no client, interval 10, balloon;
// no targets, no results, no thread counted.
Kiv* PrepareTestApp(const TempDir& dir);

// The messages of the log's lines (the part after the time stamp and the module).
std::vector<std::string> LogMessages(const TempDir& dir);

// Dispatches the thread's pending messages for about the given time.
void PumpMessages(unsigned milliseconds);

// Records every Shell_NotifyIconA call while it lives and answers each with a chosen result.
class TrayRecorder {
public:
    struct Call {
        DWORD message;
        NOTIFYICONDATAA data;
        std::string tip;
        std::string info;
        std::string infoTitle;
    };

    explicit TrayRecorder(BOOL answer = TRUE);
    ~TrayRecorder();
    TrayRecorder(const TrayRecorder&) = delete;
    TrayRecorder& operator=(const TrayRecorder&) = delete;

    std::vector<Call> Calls() const;
    void Clear();
    void SetAnswer(BOOL answer);
    // The calls with the given flags (NIF_INFO: balloons; NIF_TIP: icon and tooltip).
    std::vector<Call> CallsWithFlag(UINT flag) const;

private:
    static BOOL Record(DWORD message, NOTIFYICONDATAA* data);
    MShellNotifyIconHook m_previous;
};
