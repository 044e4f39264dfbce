// Check cycles: the start, the guarded start and the summary.
#include "monitor/check_cycle.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/kiv.h"
#include "app/wall_clock.h"
#include "mlib/mcommand.h"
#include "mlib/mevent.h"
#include "monitor/main_window.h"
#include "monitor/console_text.h"
#include "monitor/growth_text.h"
#include "monitor/messages.h"
#include "net/query_client.h"
#include "net/start_block.h"
#include "version.h"

namespace {

const uint32_t NOTIFY_BALLOON_BIT = 1;  // NOTI bit 0: tray balloon
const uint32_t NOTIFY_DIALOG_BIT = 2;   // NOTI bit 1: status window

// The title and text of the command's recovery, which has no balloon.
const char RECOVERY_TITLE[] = "空き領域正常";
const char RECOVERY_TEXT[] = "すべてのディスクの空き領域が正常に戻りました。";

// The balloon's line break as the command gets it: LF.
std::string WithLineFeeds(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; p++) {
        if (!(p[0] == '\r' && p[1] == '\n')) {
            out += *p;
        }
    }
    return out;
}

// The most a tray balloon shows (NOTIFYICONDATA's szInfo, with its NUL).
const size_t BALLOON_ROOM = 256;

// The line on a line of its own after the balloon's text, when it fits whole in the
// balloon: cut, a multi-byte character could be split.
void AppendBalloonLine(char* text, size_t size, const std::string& line) {
    size_t length = strlen(text);
    if (!line.empty() && length + 2 + line.size() < std::min(size, BALLOON_ROOM)) {
        snprintf(text + length, size - length, "\r\n%s", line.c_str());
    }
}

}  // namespace

CycleSummary SummarizeCycle(const std::vector<CheckResult>& results, const CheckHistory& history,
                            uint32_t forecastDays) {
    CycleSummary summary;
    summary.level = CheckCycle::CountProblems(results, &summary.below, &summary.errors);
    summary.days = forecastDays;
    summary.soon = history.CountFullWithin(results, forecastDays);
    return summary;
}

const char CheckCycle::GUARD_BUSY_TEXT[] =
    "他の操作の処理中です！\nしばらく経ってからもう一度操作してください！";

// The web pages list the server's own volumes as a list request would.
CheckCycle::CheckCycle()
    : m_notifier(AppLog()),
      m_webSite([](std::vector<VolumeEntry>* volumes) {
          Kiv* app = theApp;
          return ListOwnVolumes(*app, app->m_allowUnc == 1, app->m_serverStop, "", volumes);
      }),
      m_actionRunning(false),
      m_metricsFile(AppLog()),
      m_cycleTargets(0),
      m_cycleEnded(false),
      m_cycleSeconds(0) {}

// On the user-interface thread, which alone reads the history.
void CheckCycle::PublishStatus(bool cycleEnded) {
    Kiv* app = theApp;
    StatusSnapshot status;
    status.hostName = MGetHostName();
    status.version = FSW_VERSION_TEXT;
    status.clientOn = app->m_client == 1;
    int64_t now = UnixNow();
    if (cycleEnded) {
        m_cycleEnded = true;
        m_cycleSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_cycleStart).count();
        std::vector<CheckResult> results;
        {
            MLockGuard hold(app->m_resultLock);
            results = app->m_results;
        }
        for (const CheckResult& result : results) {
            if (!IsListed(result)) {
                continue;
            }
            const std::vector<HistoryPoint>* points =
                app->m_history.PointsOf(result.host, result.port, result.path);
            status.rows.push_back(
                WebTarget{result, app->m_history.ForecastOf(result),
                          app->m_history.ForecastIsOfBursts(result),
                          points != nullptr ? *points : std::vector<HistoryPoint>()});
        }
        m_lastCycleTime = now;
    }
    status.cycleRan = m_cycleEnded;
    status.cycleTime = m_lastCycleTime;
    status.nextCycleTime = status.clientOn ? NextCycleTime(now) : 0;
    status.utcOffset = CurrentUtcOffset();
    status.cycleSeconds = m_cycleSeconds;
    status.cycleTargets = m_cycleTargets;
    status.forecastDays = app->m_forecastDays;
    // A start after a cycle (the window made again) keeps that cycle's rows.
    if (cycleEnded || !m_cycleEnded) {
        m_webSite.Publish(status);
    }
}

HWND CheckCycle::OwnWindow() {
    return theApp->m_mainWin.GetHandle();
}

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
        if (m_actionRunning) {
            app->Log("他の操作の処理中のため問合せを見送ります");
            return;
        }
    }
    RunCycle();
}

GuardAnswer CheckCycle::BeginGuardedAction() {
    Kiv* app = theApp;
    MLockGuard hold(app->m_queryCountLock);
    if (app->m_queryThreadCount != 0) {
        return GUARD_CYCLE_RUNS;
    }
    if (m_actionRunning) {
        return GUARD_ACTION_RUNS;
    }
    m_actionRunning = true;
    return GUARD_GRANTED;
}

void CheckCycle::EndGuardedAction() {
    MLockGuard hold(theApp->m_queryCountLock);
    m_actionRunning = false;
}

// Decided under the lock; the box comes after it is released. The cycle runs as a
// guarded action itself: a box of its summary holds off other starts meanwhile.
GuardAnswer CheckCycle::TryStartCheck() {
    GuardedAction action(*this);
    if (action.Answer() == GUARD_GRANTED) {
        RunCycle();
    }
    return action.Answer();
}

void CheckCycle::GuardedStartCheck(HWND owner) {
    switch (TryStartCheck()) {
        case GUARD_GRANTED:
            break;
        case GUARD_CYCLE_RUNS:
            MessageBoxF(owner, MB_ICONEXCLAMATION, "処理中", "既に問合せ処理中！！");
            break;
        case GUARD_ACTION_RUNS:
            MessageBoxF(owner, MB_ICONEXCLAMATION, "処理中", "%s", GUARD_BUSY_TEXT);
            break;
    }
}

// Every query thread is counted here, before it starts, under m_queryCountLock (taken
// before m_hostLock, as the lock order wants): no thread can bring the count to zero
// while a sibling is still to be counted. The threads cannot end before the loop is
// over either, since each first copies its target under m_hostLock. At most
// CYCLE_QUERY_THREADS threads take the cycle's rows in turn. The cycle's own summary
// runs after both locks are released.
void CheckCycle::RunCycle() {
    Kiv* app = theApp;
    m_cycleStart = std::chrono::steady_clock::now();
    SetTrayTip("ディスク残量問合せ中...");
    {
        MLockGuard hold(app->m_resultLock);
        app->m_results.clear();
    }

    MEvent wake;
    MEvent* wakeOrPoll = wake.Create() ? &wake : nullptr;
    HWND window = OwnWindow();
    ThreadStartBlock block;
    int started = 0;
    {
        MLockGuard holdCount(app->m_queryCountLock);
        MLockGuard holdHosts(app->m_hostLock);
        std::vector<size_t> rows;
        for (size_t i = 0; i < app->m_hosts.size(); i++) {
            const HostEntry& entry = app->m_hosts[i];
            if (IsExcluded(entry)) {
                continue;
            }
            auto same = std::find_if(rows.begin(), rows.end(), [&](size_t earlier) {
                return SameTarget(app->m_hosts[earlier], entry);
            });
            if (same != rows.end()) {
                app->Log("%s (%u) %s は%u行目の%sと同じ対象のため問い合わせません", entry.host,
                         unsigned{entry.port}, entry.path, static_cast<unsigned>(*same + 1),
                         app->m_hosts[*same].host);
                continue;
            }
            rows.push_back(i);
        }
        app->m_cycleQueue.Start(rows,
                                m_cycleStart + std::chrono::milliseconds(CYCLE_TIME_LIMIT_MS));
        size_t threads = rows.size() < CYCLE_QUERY_THREADS ? rows.size() : CYCLE_QUERY_THREADS;
        for (size_t i = 0; i < threads; i++) {
            ResetStartBlock(&block, wakeOrPoll);
            block.window = window;
            block.doneMessage = WM_APP_CYCLE_DONE;
            app->m_queryThreadCount++;
            if (!MBeginThread(CycleQueryThread, &block)) {
                app->m_queryThreadCount--;
                app->Log("問合せスレッドが開始できません");
                continue;  // the threads that started take its rows
            }
            WaitStarted(&block);
            started++;
        }
        m_cycleTargets = started > 0 ? static_cast<unsigned>(rows.size()) : 0;
    }
    // No thread will post the end of this cycle: sum it up now, so that the list shows
    // the empty result and the tooltip is restored.
    if (started == 0) {
        OnCycleDone();
    }
}

// The results are copied under m_resultLock; they go into the history first, so that the
// list shows the forecasts they make and the summary counts the disks soon full. The
// list, its failure boxes, the balloon and the status window come after the lock is
// released.
void CheckCycle::OnCycleDone() {
    Kiv* app = theApp;
    std::vector<CheckResult> results;
    {
        MLockGuard hold(app->m_resultLock);
        results = app->m_results;
    }
    for (const std::string& line : m_volumeChanges.Update(results)) {
        app->Log("%s", line.c_str());
    }
    app->m_history.Record(results, app->m_keepDays, static_cast<int64_t>(time(nullptr)));
    UpdateStatusList(results);
    CycleSummary summary = SummarizeCycle(results, app->m_history, app->m_forecastDays);
    unsigned level = SummaryLevel(summary);
    if (level >= 2 && (app->m_notify & NOTIFY_BALLOON_BIT) != 0) {
        char text[512];
        const char* title = "";
        unsigned iconFlag = 0;
        if (MakeCycleBalloon(summary, text, sizeof text, &title, &iconFlag)) {
            AppendBalloonLine(text, sizeof text, GrowthBalloonLine(results, app->m_folderGrowth));
            ShowBalloon(text, title, iconFlag);
        }
    }
    if (level >= 2 && (app->m_notify & NOTIFY_DIALOG_BIT) != 0) {
        ShowStatusWindow();
    }
    RestoreTrayTip();
    NotifyCommand(results, summary, level);
    if (level >= 2) {
        ReportProblemCycle(summary);
    }
    WriteCycleMetrics();
    PublishStatus(true);
}

// Cycle data goes into the environment and the input only, never into the command line.
void CheckCycle::NotifyCommand(const std::vector<CheckResult>& results, const CycleSummary& summary,
                               unsigned level) {
    Kiv* app = theApp;
    std::vector<TargetGrade> grades = CycleGrades(results, &app->m_history, app->m_forecastDays);
    auto build = [&](const NotifyDecision& decision, const NotifiedState& last) {
        char text[512] = "";
        const char* title = "";
        unsigned iconFlag = 0;
        if (!MakeCycleBalloon(summary, text, sizeof text, &title, &iconFlag)) {
            CopyField(text, sizeof text, RECOVERY_TEXT);
            title = RECOVERY_TITLE;
        }
        NotifyJob job;
        job.environment = {
            {"FSW_EVENT", NotifyEventName(decision.event)},
            {"FSW_LEVEL", std::to_string(level)},
            {"FSW_TITLE", title},
            {"FSW_TEXT", WithLineFeeds(text)},
            {"FSW_HOST", MGetHostName()},
            {"FSW_BELOW", std::to_string(summary.below)},
            {"FSW_ERRORS", std::to_string(summary.errors)},
            {"FSW_FORECAST", std::to_string(summary.soon)},
            {"FSW_CHANGED", std::to_string(decision.changed)},
            {"FSW_REASONS", ErrorReasonLines(results)},
        };
        MEnvironment growth = GrowthEnvironment(results, app->m_folderGrowth);
        job.environment.insert(job.environment.end(), growth.begin(), growth.end());
        job.input = NotifyListText(StatusListText(results, &app->m_history), grades, last);
        return job;
    };
    m_notifier.AfterCycle(app->m_notifyCommand, grades, UnixNow(), app->m_renotify, build);
}

// The results are copied under m_resultLock and the file written without it.
void CheckCycle::WriteCycleMetrics() {
    Kiv* app = theApp;
    if (app->m_promFile[0] == '\0') {
        return;
    }
    std::vector<CheckResult> results;
    {
        MLockGuard hold(app->m_resultLock);
        results = app->m_results;
    }
    std::chrono::duration<double> duration = std::chrono::steady_clock::now() - m_cycleStart;
    std::vector<int64_t> forecasts;
    for (const CheckResult& result : results) {
        forecasts.push_back(app->m_history.ForecastOf(result));
    }
    CycleFacts cycle;
    cycle.durationSeconds = duration.count();
    cycle.targets = m_cycleTargets;
    cycle.endTime = static_cast<int64_t>(time(nullptr));
    cycle.version = FSW_VERSION_TEXT;
    m_metricsFile.Write(MetricsFilePath(app->moduleDir, app->m_promFile),
                        MakeMetricsText(results, forecasts, cycle));
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
