// Windows only. Helpers for tests of the main window and the status window: an
// application object with the settings of a fresh start, a recorder of the tray
// icon's calls, and a message pump.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/kiv.h"
#include "mlib/mshell_win.h"
#include "tests/support/kiv_fixture.h"
#include "tests/support/test_support.h"

// An application object of the test's own with the version numbers read and the
// settings of a fresh start: no server, no client, interval 10, balloon.
class ShellFixture : public KivFixture {
protected:
    ShellFixture() {
        app.instance = GetModuleHandleA(NULL);  // the test program carries the resources
        app.GetVersionNumbers(&app.m_version[0], &app.m_version[1], &app.m_version[2],
                              &app.m_version[3]);
        app.m_interval = 10;
        app.m_notify = 1;
    }
    Kiv* m_app = &app;
};

// A port on 127.0.0.1 that nothing listens on right now (the network must be started).
uint16_t FreeLocalPort();

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
    // Runs action inside each later call, before it is answered.
    void OnCall(std::function<void(DWORD message, NOTIFYICONDATAA* data)> action);
    // The calls with the given flags (NIF_INFO: balloons; NIF_TIP: icon and tooltip).
    std::vector<Call> CallsWithFlag(UINT flag) const;

private:
    static BOOL Record(DWORD message, NOTIFYICONDATAA* data);
    MShellNotifyIconHook m_previous;
};
