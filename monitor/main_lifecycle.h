// The life of the main window that both editions share: the start of the roles, the
// check timer, reading the files again once no query runs, and the shutdown's stops
// and waits. The Windows main window and the Linux console front end derive from it
// and call it at their creation, reload and destruction, so a fix here reaches both.
#pragma once

#include <cstdint>
#include <memory>

#include "app/growth_scans.h"
#include "mlib/mthread.h"
#include "monitor/check_cycle.h"

// Milliseconds between two check cycles for an interval in minutes, at most the
// longest period a Windows timer takes (USER_TIMER_MAXIMUM, about 24.8 days): a 32-bit
// product of a hand-edited INTVAL would wrap into a short period.
unsigned CheckTimerPeriod(uint32_t minutes);

class MainLifecycle : public CheckCycle {
public:
    MainLifecycle();

    // Sets timer 100 to the check interval, replacing a running one; on failure a log
    // line with the system's text and the box "タイマ設定に失敗！".
    bool SetCheckTimer();
    // The interval the check timer was last set to; 0 before it was ever set.
    uint32_t TimerInterval() const { return m_timerInterval; }
    // Reads fsw.ini and the host list again once no query thread runs (a running one
    // may still read its entry of m_hosts); then the check timer follows the INTVAL
    // now in effect. The settings dialog's close and the console's SIGHUP.
    void ReloadWhenIdle();
    // A tick of the check timer (WM_TIMER): a cycle, when the client role is on.
    void OnCheckTimer(uintptr_t timerId);
    // A reload asked for from outside (the console's SIGHUP, the service's PARAMCHANGE):
    // a log line, then ReloadWhenIdle; while a cycle runs it waits for the cycle's end
    // without holding the loop, so that a stop asked for meanwhile is not held up by the
    // cycle's peers.
    void ReloadOnRequest();
    // The end of a cycle (WM_APP_CYCLE_DONE) in a front end that reloads on request: the
    // summary, then the reload that waited for it.
    void FinishCycle();
    // The messages every front end that reloads on request handles alike: the check
    // timer's tick and the end of a cycle. False for any other message.
    bool DispatchShared(unsigned message, uintptr_t wParam);
    // True from the start of the shutdown on: what a box interrupted goes no further.
    bool ShuttingDown() const { return m_shuttingDown; }

    MThread m_serverThread;  // runs ServerThread
    bool m_serverRunning;    // the server thread was started at creation
    // The kept folder scans (GROWTH=1): the source of the server's growth reports, which
    // outlives the server thread, and the thread that takes the scans.
    std::unique_ptr<ScanStore> m_scanStore;
    std::unique_ptr<GrowthScheduler> m_growthScheduler;

protected:
    // The roles as the window's creation starts them: the server (when SERVER is 1),
    // the check timer, and with CLIENT at 1 the first cycle, once the own server listens.
    void StartRoles();
    // A window that is created (again) has not been shut down.
    void ResetShutdown() { m_shuttingDown = false; }
    // The first step of the shutdown: from now on no timer tick and no reload act.
    void BeginShutdown();
    // The server stopped and its listener waited for, then the query threads; then the
    // history's kept lines are written.
    void StopRoles();

private:
    void WaitForQueryThreads();

    bool m_shuttingDown;
    bool m_reloadPending;      // a reload came while a cycle ran: reload at its end
    bool m_timerSet;           // the check timer was set at least once
    uint32_t m_timerInterval;  // the INTVAL it was last set to
};
