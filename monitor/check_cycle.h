// The logic of check cycles, shared by the Windows main window and the Linux console
// front end: starting a cycle, refusing to overlap, and the summary at its end. What the
// user sees (tooltip, balloon, status list, status window) is left to the main window
// of each build, through the operations below.
#pragma once

#include <cstdint>
#include <vector>

#include "mlib/msys.h"
#include "net/check_result.h"

class CheckCycle {
public:
    virtual ~CheckCycle() {}

    // Starts a cycle over the targets that are not excluded; does nothing unless
    // timerId is TIMER_CHECK, nor while a cycle runs (then one log line). Each query
    // thread is counted before it starts, so the summary follows the last result once.
    // A cycle that starts no thread has its summary at once.
    void StartCheck(uintptr_t timerId);
    // The guard of every start on request: under m_queryCountLock, StartCheck(TIMER_CHECK)
    // unless a cycle runs; false, and nothing started, when one runs.
    bool TryStartCheck();
    // The start from the tray menu or the settings dialog: while a cycle runs, the box
    // "既に問合せ処理中！！" owned by owner; otherwise StartCheck(TIMER_CHECK).
    void GuardedStartCheck(HWND owner);
    // The summary, on WM_APP_CYCLE_DONE: refills the status list, then balloon and/or
    // status window as the notification mode says, then restores the tooltip.
    void OnCycleDone();
    // Below-threshold and error counts of the results, and the level 1 to 4.
    static unsigned CountProblems(const std::vector<CheckResult>& results, unsigned* below,
                                  unsigned* errors);

protected:
    // The window that the last query thread of a cycle posts WM_APP_CYCLE_DONE to; the
    // main window by default.
    virtual HWND CycleWindow();
    virtual void SetTrayTip(const char* text) = 0;  // while a cycle runs
    virtual void RestoreTrayTip() = 0;              // back to the normal tooltip
    virtual void ShowBalloon(const char* text, const char* title, unsigned iconFlag) = 0;
    // Refills the status list from theApp->m_results; called with m_resultLock held.
    virtual void UpdateStatusList() = 0;
    virtual void ShowStatusWindow() = 0;
};
