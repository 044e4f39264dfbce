// The logic of check cycles, shared by the Windows main window and the Linux console
// front end: starting a cycle, refusing to overlap, and the summary at its end. What the
// user sees (tooltip, balloon, status list, status window) is left to the main window
// of each build, through the operations below.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "mlib/msys.h"
#include "monitor/metrics.h"
#include "monitor/notifier.h"
#include "monitor/status_text.h"
#include "monitor/volume_changes.h"
#include "monitor/web_site.h"
#include "net/check_result.h"

// Why a guarded action may not run now.
enum GuardAnswer {
    GUARD_GRANTED,     // it runs, marked as in progress until it ends
    GUARD_CYCLE_RUNS,  // a check cycle runs
    GUARD_ACTION_RUNS  // another guarded action is in progress (its box is open)
};

class CheckHistory;

// The summary of a cycle's results with the forecasts of the history: the status level and
// counts, and the disks forecast full within forecastDays.
CycleSummary SummarizeCycle(const std::vector<CheckResult>& results, const CheckHistory& history,
                            uint32_t forecastDays);

class CheckCycle {
public:
    CheckCycle();
    virtual ~CheckCycle() {}

    // Starts a cycle over the targets that are not excluded; does nothing unless
    // timerId is TIMER_CHECK, nor while a cycle runs or a guarded action is in
    // progress (then one log line). Each query thread is counted before it starts, so
    // the summary follows the last result once. A cycle that starts no thread has its
    // summary at once.
    void StartCheck(uintptr_t timerId);
    // The guard of every start on request (tray menu, settings dialog, SIGUSR1): a cycle
    // starts unless one runs or a guarded action is in progress; the answer says which.
    // The caller tells the user after the lock is released.
    GuardAnswer TryStartCheck();
    // The start from the tray menu or the settings dialog: refused with a box owned by
    // owner while a cycle runs ("既に問合せ処理中！！") or a guarded action is in
    // progress; otherwise a cycle starts.
    void GuardedStartCheck(HWND owner);
    // The summary, on WM_APP_CYCLE_DONE: refills the status list, then balloon and/or
    // status window as the notification mode says, then restores the tooltip; then the
    // notification command, when one is due; last, the cycle's metrics.
    void OnCycleDone();
    // Below-threshold and error counts of the results, and the level 1 to 4.
    static unsigned CountProblems(const std::vector<CheckResult>& results, unsigned* below,
                                  unsigned* errors);

    // What the server's port shows over HTTP (WEB): the latest cycle, handed to it at the
    // start (cycleEnded false: none has ended yet) and at the end of each cycle.
    void PublishStatus(bool cycleEnded);

    // Actions of the user that must not overlap a check cycle: they change m_hosts,
    // save the files or start a cycle. The decision is taken under m_queryCountLock;
    // a granted action is marked as in progress until EndGuardedAction, so that while
    // one of its boxes is open no cycle starts and no other guarded action runs. The
    // caller shows its refusal after the lock is released.
    GuardAnswer BeginGuardedAction();
    void EndGuardedAction();
    // The refusal for GUARD_ACTION_RUNS, the same for every guarded command.
    static const char GUARD_BUSY_TEXT[];

    // The runs of NOTIFYCMD; stopped with the roles, without waiting for a running one.
    Notifier m_notifier;
    // The pages of the server's port; PublishStatus hands them each cycle.
    WebSite m_webSite;

protected:
    // The main window: it receives the cycle's end message and the check timer's ticks.
    virtual HWND OwnWindow();
    virtual void SetTrayTip(const char* text) = 0;  // while a cycle runs
    virtual void RestoreTrayTip() = 0;              // back to the normal tooltip
    virtual void ShowBalloon(const char* text, const char* title, unsigned iconFlag) = 0;
    // Refills the status list with the latest cycle's results.
    virtual void UpdateStatusList(const std::vector<CheckResult>& results) = 0;
    virtual void ShowStatusWindow() = 0;
    // The targets the latest cycle queried; 0 also before the first cycle.
    unsigned CycleTargets() const { return m_cycleTargets; }

    // The cycle's metrics to the file PROMFILE names, when it names one.
    virtual void WriteCycleMetrics();
    // When the check timer ticks next, Unix seconds; 0 when it is not set.
    virtual int64_t NextCycleTime(int64_t now) const {
        (void)now;
        return 0;
    }
    // A cycle whose summary level is 2 or more, whatever NOTI says: the service writes it
    // to the log and the event log. Nothing by default.
    virtual void ReportProblemCycle(const CycleSummary& summary) { (void)summary; }

private:
    void RunCycle();
    // Hands the cycle to the notification command, which runs when NOTIFYCMD is set and a
    // notification is due.
    void NotifyCommand(const std::vector<CheckResult>& results, const CycleSummary& summary,
                       unsigned level);

    bool m_actionRunning;  // a guarded action is in progress; under m_queryCountLock
    MetricsFile m_metricsFile;
    VolumeChanges m_volumeChanges;  // of the rows whose path is "*"
    std::chrono::steady_clock::time_point m_cycleStart;
    unsigned m_cycleTargets;  // targets queried in the latest cycle
    bool m_cycleEnded;        // a cycle has ended since the start
    int64_t m_lastCycleTime = 0;  // its end, Unix seconds
    double m_cycleSeconds;        // the latest one's, from its start to its summary
};

// A guarded action for one scope: Answer() tells whether it may run; the mark is taken
// away at the end of the scope, also when the action throws.
class GuardedAction {
public:
    explicit GuardedAction(CheckCycle& cycle)
        : m_cycle(cycle), m_answer(cycle.BeginGuardedAction()) {}
    ~GuardedAction() {
        if (m_answer == GUARD_GRANTED) {
            m_cycle.EndGuardedAction();
        }
    }
    GuardedAction(const GuardedAction&) = delete;
    GuardedAction& operator=(const GuardedAction&) = delete;

    GuardAnswer Answer() const { return m_answer; }

private:
    CheckCycle& m_cycle;
    GuardAnswer m_answer;
};
