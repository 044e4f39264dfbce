// Check cycles: the start, the guarded start and the summary.
#include "monitor/check_cycle.h"

#include <ctime>

#include "app/kiv.h"
#include "mlib/mevent.h"
#include "monitor/messages.h"
#include "monitor/status_text.h"
#include "net/query_client.h"
#include "net/start_block.h"

namespace {

const uint32_t NOTIFY_BALLOON_BIT = 1;  // NOTI bit 0: tray balloon
const uint32_t NOTIFY_DIALOG_BIT = 2;   // NOTI bit 1: status window

}  // namespace

HWND CheckCycle::CycleWindow() {
    return theApp->m_mainWin.GetHandle();
}

// Every query thread is counted here, before it starts, under m_queryCountLock (taken
// before m_hostLock, as the lock order wants): no thread can bring the count to zero
// while a sibling is still to be counted. The threads cannot end before the loop is
// over either, since each first copies its target under m_hostLock.
void CheckCycle::StartCheck(uintptr_t timerId) {
    if (timerId != TIMER_CHECK) {
        return;
    }
    Kiv* app = theApp;
    {
        MLockGuard hold(app->m_queryCountLock);
        int32_t running = app->m_queryThreadCount;
        if (running != 0) {
            app->Log("問合せ継続中... thread count ... %d", static_cast<int>(running));
            return;
        }
    }
    SetTrayTip("ディスク残量問合せ中...");
    {
        MLockGuard hold(app->m_resultLock);
        app->m_results.clear();
    }

    MEvent wake;
    MEvent* wakeOrPoll = wake.Create() ? &wake : nullptr;
    HWND window = CycleWindow();
    ThreadStartBlock block;
    int started = 0;
    {
        MLockGuard holdCount(app->m_queryCountLock);
        MLockGuard holdHosts(app->m_hostLock);
        for (HostEntry& entry : app->m_hosts) {
            if (entry.excluded == 1) {
                continue;
            }
            ResetStartBlock(&block, wakeOrPoll);
            block.host = &entry;
            block.window = window;
            app->m_queryThreadCount++;
            if (!MBeginThread(QueryThread, &block)) {
                app->m_queryThreadCount--;
                app->Log("問合せスレッドが開始できません");
                continue;
            }
            WaitStarted(&block);
            started++;
        }
    }
    // No thread will post the end of this cycle: sum it up now, so that the list shows
    // the empty result and the tooltip is restored.
    if (started == 0) {
        OnCycleDone();
    }
}

bool CheckCycle::TryStartCheck() {
    Kiv* app = theApp;
    MLockGuard hold(app->m_queryCountLock);
    if (app->m_queryThreadCount != 0) {
        return false;
    }
    StartCheck(TIMER_CHECK);
    return true;
}

// The box comes after the lock is released: a box runs a message loop, and a query
// thread must be able to count itself down meanwhile.
void CheckCycle::GuardedStartCheck(HWND owner) {
    if (!TryStartCheck()) {
        MessageBoxF(owner, MB_ICONEXCLAMATION, "処理中", "既に問合せ処理中！！");
    }
}

// The cycle's results go into the history first, so that the list shows the forecasts
// they make and the summary counts the disks soon full.
void CheckCycle::OnCycleDone() {
    Kiv* app = theApp;
    {
        MLockGuard hold(app->m_resultLock);
        app->m_history.Record(app->m_results, app->m_keepDays, static_cast<int64_t>(time(nullptr)));
        UpdateStatusList();
        CycleSummary summary;
        summary.level = CountProblems(app->m_results, &summary.below, &summary.errors);
        summary.days = app->m_forecastDays;
        summary.soon = app->m_history.CountFullWithin(app->m_results, app->m_forecastDays);
        unsigned level = SummaryLevel(summary);
        if (level >= 2 && (app->m_notify & NOTIFY_BALLOON_BIT) != 0) {
            char text[512];
            const char* title = "";
            unsigned iconFlag = 0;
            if (MakeCycleBalloon(summary, text, sizeof text, &title, &iconFlag)) {
                ShowBalloon(text, title, iconFlag);
            }
        }
        if (level >= 2 && (app->m_notify & NOTIFY_DIALOG_BIT) != 0) {
            ShowStatusWindow();
        }
    }
    RestoreTrayTip();
}

unsigned CheckCycle::CountProblems(const std::vector<CheckResult>& results, unsigned* below,
                                   unsigned* errors) {
    *below = 0;
    *errors = 0;
    unsigned level = 1;
    for (const CheckResult& result : results) {
        switch (result.status) {
            case STATUS_CAUTION:
            case STATUS_WARNING:
                (*below)++;
                level = level < 2 ? 2 : level;
                break;
            case STATUS_ERROR:
                (*errors)++;
                level = level < 3 ? 3 : level;
                break;
            case STATUS_DANGER:
                (*below)++;
                level = 4;
                break;
            default:
                break;
        }
    }
    return level;
}
