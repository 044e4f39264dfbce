// The Linux edition's console front end. It plays the hidden main window's part: it
// receives the posted messages and the timer ticks of the message loop, runs the check
// cycles and prints their results, answers the signals that stand for the tray's
// commands, and its destruction (on SIGINT or SIGTERM) is the shutdown sequence.
#pragma once

#include <cstdio>
#include <string>

#include "mlib/msys.h"
#include "monitor/main_lifecycle.h"

// Posted by the signal thread: SIGHUP reads the settings and the host list again,
// SIGTERM logs the request and ends, SIGUSR1 checks now, SIGUSR2 prints the list again.
const unsigned WM_APP_HANGUP = WM_APP + 4;
const unsigned WM_APP_TERMINATE = WM_APP + 5;
const unsigned WM_APP_CHECK_NOW = WM_APP + 6;
const unsigned WM_APP_SHOW_STATUS = WM_APP + 7;

class MainWin : public MMessageTarget, public MainLifecycle {
public:
    MainWin();
    ~MainWin() override;

    // Sets up as the window's WM_CREATE would: signals, server, check timer and, with
    // the client role on, the first cycle. The title and class are not used.
    bool Create(const char* title, void* classInfo, HINSTANCE instance, HWND parent);
    HWND GetHandle();
    bool Show(int command);  // nothing to show on a console
    bool Update();
    intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;
    void DestroyWindow();
    // Where the status lists and balloon lines go; standard output by default.
    void SetOutput(FILE* out);

protected:
    void SetTrayTip(const char* text) override;
    void RestoreTrayTip() override;
    void ShowBalloon(const char* text, const char* title, unsigned iconFlag) override;
    void UpdateStatusList(const std::vector<CheckResult>& results) override;
    void ShowStatusWindow() override;

private:
    void OnCreate();
    void OnDestroy();
    void OnTerminate();
    void OnCheckNow();
    void OnShowStatus();
    void Print(const std::string& text);

    bool m_created;
    // Standard output goes to the journal (JOURNAL_STREAM is set): the lines of a cycle of
    // level 2 or more carry its priority prefix.
    bool m_journal;
    const char* m_priority;  // the prefix of the latest cycle's lines
    FILE* m_out;
    std::string m_statusList;  // the list last printed, for SIGUSR2
};
