// The query client: one disk query per thread, graded and stored.
#include "net/query_client.h"

#include <chrono>
#include <cstring>
#include <ctime>

#include "app/kiv.h"
#include "app/wall_clock.h"
#include "mlib/mlogtext.h"
#include "monitor/status_order.h"
#include "net/cycle_queue.h"
#include "net/disk_query.h"
#include "net/start_block.h"

CheckStatus GradeFreeSpace(uint64_t value, uint64_t limit) {
    uint64_t tenth = limit / 10;
    uint64_t half = limit / 2;
    if (value <= tenth) {
        return STATUS_DANGER;
    }
    if (value < half) {
        return STATUS_WARNING;
    }
    if (value <= limit) {
        return STATUS_CAUTION;
    }
    return STATUS_NORMAL;
}

void LogQueryFailure(const char* host, unsigned port, const DiskQueryResult& query) {
    Kiv* app = theApp;
    DiskQueryOutcome outcome = query.outcome;
    if (outcome == DISK_QUERY_TIMED_OUT) {  // the line of the step that ran out of time
        outcome = query.stage == DISK_QUERY_CONNECTING     ? DISK_QUERY_CONNECT_FAILED
                  : query.stage == DISK_QUERY_SENDING      ? DISK_QUERY_SEND_FAILED
                  : query.stage == DISK_QUERY_READING_BODY ? DISK_QUERY_SHORT_BODY
                                                           : DISK_QUERY_NO_HEADER;
    }
    switch (outcome) {
        case DISK_QUERY_CONNECT_FAILED:
            app->Log("%s (%u)に接続できません", host, port);
            break;
        case DISK_QUERY_SEND_FAILED:
            app->Log("%s (%u)送信エラー", host, port);
            break;
        case DISK_QUERY_NO_HEADER:
            app->Log("%s (%u)H 受信エラー", host, port);
            break;
        case DISK_QUERY_NEWER_VERSION:
            app->Log("未対応バージョン : %d", static_cast<int>(query.version));
            app->Log("%s (%u)パケットエラー", host, port);
            break;
        case DISK_QUERY_BAD_MAGIC:
            app->Log("%s (%u)パケットエラー", host, port);
            break;
        case DISK_QUERY_SHORT_BODY:
            app->Log("%s (%u)受信エラー", host, port);
            break;
        case DISK_QUERY_BAD_BODY_LENGTH:
        case DISK_QUERY_FREE_ABOVE_TOTAL:
            app->Log("%s (%u)受信データエラー", host, port);
            break;
        case DISK_QUERY_CANCELLED:
            app->Log("%s (%u)問合せを中止しました", host, port);
            break;
        default:  // a disk error reply: the server has logged why
            break;
    }
}

ErrorReason ReasonOfQuery(const DiskQueryResult& query) {
    switch (query.outcome) {
        case DISK_QUERY_OK:
            return REASON_NONE;
        case DISK_QUERY_CONNECT_FAILED:
            return query.resolved ? REASON_REFUSED : REASON_UNRESOLVED;
        case DISK_QUERY_SEND_FAILED:  // the server closed or reset before the request was in
        case DISK_QUERY_NO_HEADER:
            return REASON_CLOSED;
        case DISK_QUERY_DISK_ERROR:
            return REASON_NOT_MEASURED;
        case DISK_QUERY_TIMED_OUT:
            return REASON_TIMED_OUT;
        case DISK_QUERY_CANCELLED:
            return REASON_CANCELLED;
        default:
            return REASON_BAD_REPLY;
    }
}

GrowthAnswer AnswerOfGrowthQuery(const DiskQueryResult& query) {
    switch (query.outcome) {
        case DISK_QUERY_OK:
            return GROWTH_REPORTED;
        case DISK_QUERY_SEND_FAILED:
        case DISK_QUERY_NO_HEADER:
            return GROWTH_NOT_SERVED;
        case DISK_QUERY_DISK_ERROR:
            return GROWTH_NO_SCAN;
        default:
            return GROWTH_FAILED;
    }
}

void CancelRunningQueries() {
    theApp->m_queryCancel.Cancel();
}

namespace {

// A result of the row for path, stamped with the time the query ended; STATUS_NONE.
CheckResult ResultOf(const HostEntry& row, const char* path) {
    CheckResult result;
    memset(&result, 0, sizeof result);
    result.status = STATUS_NONE;
    CopyField(result.host, sizeof result.host, row.host);
    CopyField(result.path, sizeof result.path, path);
    CopyField(result.description, sizeof result.description, row.description);
    result.threshold = row.threshold;
    result.unit = row.unit;
    result.port = row.port;
    result.checkTime = static_cast<int64_t>(time(nullptr));
    MLocalTime now;
    MGetLocalTime(&now);
    result.year = now.year;
    result.month = now.month;
    result.day = now.day;
    result.hour = now.hour;
    result.minute = now.minute;
    result.second = now.second;
    return result;
}

// The sizes graded against the row's threshold.
void Grade(CheckResult* result, uint64_t freeBytes, uint64_t totalBytes) {
    uint64_t value = MeasuredValue(result->unit, freeBytes, totalBytes);
    result->status = GradeFreeSpace(value, ThresholdLimit(result->threshold, result->unit));
    result->value = value;
    result->freeBytes = freeBytes;
    result->totalBytes = totalBytes;
}

unsigned Lesser(unsigned a, unsigned b) {
    return a < b ? a : b;
}

// Records the result's reason as its target's latest; when it has changed, logs the lines
// of logFailure (if given and the result is an error), then the reason or the recovery.
template <typename LogFailure>
void NoteReason(const CheckResult& result, LogFailure logFailure) {
    Kiv* app = theApp;
    if (result.reason == REASON_CANCELLED) {
        // The program is stopping: the query's own line says so, and nothing is known of
        // the target that could change its state.
        logFailure();
        return;
    }
    if (!app->m_errorReasons.Changed(result.host, result.port, result.path, result.reason)) {
        return;
    }
    if (result.reason == REASON_NONE) {
        app->Log("%s (%u) %s: 再び確認できました", result.host, unsigned{result.port},
                 result.path);
        return;
    }
    logFailure();
    app->Log("%s (%u) %s: %s", result.host, unsigned{result.port}, result.path,
             ErrorReasonText(result.reason));
}

void NoteReason(const CheckResult& result) {
    NoteReason(result, [] {});
}

CheckResult QueryPath(const HostEntry& target, unsigned leftMs) {
    DiskQueryResult query =
        RunDiskQuery(target.host, target.port, target.path,
                     Lesser(DISK_QUERY_TIME_LIMIT_MS, leftMs), &theApp->m_queryCancel);
    CheckResult result = ResultOf(target, target.path);
    if (query.outcome == DISK_QUERY_OK) {
        Grade(&result, query.freeBytes, query.totalBytes);
    } else {
        result.status = STATUS_ERROR;  // a broken or cut-off reply is as unknown as none
        result.reason = ReasonOfQuery(query);
    }
    NoteReason(result, [&] { LogQueryFailure(target.host, target.port, query); });
    return result;
}

bool SameServer(const HostEntry& a, const HostEntry& b) {
    return a.port == b.port && SameHost(a.host, b.host);
}

// A row per volume the host lists, but those other rows of its host and port name; one
// error row "*" when the host gives no list, or none that can be watched (noVolumes). A
// cycle's queue caps the volumes of all its rows together.
std::vector<CheckResult> QueryEveryVolume(const HostEntry& row,
                                          const std::vector<std::string>& explicitPaths,
                                          unsigned leftMs, CycleQueue* queue) {
    VolumeListQuery list =
        RunVolumeListQuery(row.host, row.port, "", Lesser(VOLUME_LIST_QUERY_LIMIT_MS, leftMs),
                           &theApp->m_queryCancel);
    std::vector<CheckResult> results;
    std::vector<RefusedVolume> refused;
    std::vector<VolumeEntry> usable =
        UsableVolumes(list.volumes, sizeof results.front().path, &refused);
    for (const RefusedVolume& volume : refused) {
        theApp->Log("%s (%u)の一覧のパス %s は%sため監視しません", row.host, unsigned{row.port},
                    MEscapeForLog(volume.path).c_str(), volume.reason);
    }
    if (list.query.outcome != DISK_QUERY_OK || usable.empty()) {
        results.push_back(ResultOf(row, row.path));
        results.back().status = STATUS_ERROR;
        results.back().reason = ReasonOfQuery(list.query);
        results.back().ofAllVolumes = true;
        results.back().noVolumes = list.query.outcome == DISK_QUERY_OK;
        if (results.back().noVolumes) {
            NoteReason(ResultOf(row, row.path));  // the list came, empty
        } else {
            NoteReason(results.back(),
                       [&] { LogVolumeListFailure(row.host, row.port, list.query); });
        }
        return results;
    }
    NoteReason(ResultOf(row, row.path));  // the list came
    std::vector<VolumeEntry> volumes = VolumesOfAllRow(usable, explicitPaths);
    size_t kept = queue != nullptr ? queue->TakeVolumes(volumes.size()) : volumes.size();
    if (kept < volumes.size()) {
        theApp->Log("1回の問合せのボリュームが上限の%u件を超えたため、%s (%u)の%u件を省きます",
                    static_cast<unsigned>(CYCLE_MAX_VOLUMES), row.host, unsigned{row.port},
                    static_cast<unsigned>(volumes.size() - kept));
        volumes.resize(kept);
    }
    for (const VolumeEntry& volume : volumes) {
        results.push_back(ResultOf(row, volume.path.c_str()));
        CheckResult& result = results.back();
        result.ofAllVolumes = true;
        if (volume.state == VOLUME_MEASURED) {
            Grade(&result, volume.freeBytes, volume.totalBytes);
        } else {
            result.status = STATUS_ERROR;  // the server has logged why
            result.reason = REASON_NOT_MEASURED;
        }
        NoteReason(result);
    }
    return results;
}

}  // namespace

void LogVolumeListFailure(const char* host, unsigned port, const DiskQueryResult& query) {
    if (query.outcome == DISK_QUERY_NO_HEADER) {
        theApp->Log(
            "%s (%u)はボリューム一覧を返しませんでした (古い版のサーバか、このクライアン"
            "トを許可していません)",
            host, port);
    } else if (query.outcome == DISK_QUERY_DISK_ERROR) {
        theApp->Log("%s (%u)はボリューム一覧を作れませんでした", host, port);
    } else {
        LogQueryFailure(host, port, query);
    }
}

namespace {

// The sizes of the row entry of m_hosts, its query bounded by leftMs too.
std::vector<CheckResult> QueryRowSizes(Kiv* app, const HostEntry* entry, unsigned leftMs,
                                       CycleQueue* queue) {
    HostEntry target;
    // For a "*" row: the paths other rows of its server name, and whether a "*" row of its
    // server comes before it, which then has the volumes.
    std::vector<std::string> explicitPaths;
    bool repeated = false;
    {
        MLockGuard hold(app->m_hostLock);
        target = *entry;
        for (const HostEntry& other : app->m_hosts) {
            if (!IsAllVolumesPath(target.path) || &other == entry || IsExcluded(other) ||
                !SameServer(other, target)) {
                continue;
            }
            if (!IsAllVolumesPath(other.path)) {
                explicitPaths.push_back(other.path);
            } else if (&other < entry) {
                repeated = true;
            }
        }
    }
    std::vector<CheckResult> results;
    if (!IsAllVolumesPath(target.path)) {
        results.push_back(QueryPath(target, leftMs));
    } else if (repeated) {
        app->Log("%s (%u)の「*」の行は前の行と重なるため問い合わせません", target.host,
                 unsigned{target.port});
    } else {
        results = QueryEveryVolume(target, explicitPaths, leftMs, queue);
    }
    return results;
}

// Asks the server of each result at caution or worse for the folders that grew under its
// path, when the cache has no answer of its latest scan; each within the time left until
// deadline, so that the cycle keeps its bounds. A cancelled query is not kept.
void AskGrowth(Kiv* app, const std::vector<CheckResult>& results,
               std::chrono::steady_clock::time_point deadline) {
    for (const CheckResult& result : results) {
        int64_t now = UnixNow();
        if (result.status < STATUS_CAUTION || result.status > STATUS_DANGER ||
            !app->m_folderGrowth.ShouldAsk(result.host, result.port, result.path, now)) {
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        GrowthQuery growth = RunGrowthQuery(
            result.host, result.port, result.path,
            Lesser(GROWTH_QUERY_LIMIT_MS, static_cast<unsigned>(left.count())),
            &app->m_queryCancel);
        if (growth.query.outcome == DISK_QUERY_CANCELLED) {
            return;
        }
        GrowthAnswer answer = AnswerOfGrowthQuery(growth.query);
        if (app->m_folderGrowth.Store(result.host, result.port, result.path, answer, growth.report,
                                now) &&
            answer != GROWTH_REPORTED) {
            app->Log("%s (%u) %s: %s", result.host, unsigned{result.port}, result.path,
                     GrowthAnswerText(answer));
        }
    }
}

// The results of the row entry of m_hosts, its query bounded by leftMs too, and the
// folder growth of those at caution or worse within the same bound.
std::vector<CheckResult> QueryRow(Kiv* app, const HostEntry* entry, unsigned leftMs,
                                  CycleQueue* queue) {
    std::chrono::steady_clock::time_point deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(leftMs);
    std::vector<CheckResult> results = QueryRowSizes(app, entry, leftMs, queue);
    AskGrowth(app, results, deadline);
    return results;
}

// The error row of a row whose turn came too late in the cycle.
CheckResult LateRow(Kiv* app, const HostEntry* entry) {
    HostEntry target;
    {
        MLockGuard hold(app->m_hostLock);
        target = *entry;
    }
    CheckResult result = ResultOf(target, target.path);
    result.status = STATUS_ERROR;
    result.reason = REASON_NOT_STARTED;
    result.ofAllVolumes = IsAllVolumesPath(target.path);
    NoteReason(result);
    return result;
}

// Marks results as those of row of the host list.
void SetListRow(std::vector<CheckResult>* results, size_t row) {
    for (CheckResult& result : *results) {
        result.listRow = static_cast<uint32_t>(row);
    }
}

// Stores a query thread's results, kept in host-list order whichever thread ends first,
// and uncounts the thread; the cycle's last one tells the window.
void EndQueryThread(Kiv* app, const std::vector<CheckResult>& results, HWND window,
                    unsigned doneMessage) {
    {
        MLockGuard hold(app->m_resultLock);
        app->m_results.insert(app->m_results.end(), results.begin(), results.end());
        OrderByHostList(&app->m_results);
    }
    {
        MLockGuard hold(app->m_queryCountLock);
        if (app->m_queryThreadCount > 0) {
            app->m_queryThreadCount--;
            if (app->m_queryThreadCount == 0) {
                MPostMessage(window, doneMessage, 0, 0);
            }
        }
    }
}

}  // namespace

void QueryThread(void* startBlock) {
    Kiv* app = theApp;
    ThreadStartBlock* block = static_cast<ThreadStartBlock*>(startBlock);
    HostEntry* entry = block->host;
    HWND window = block->window;
    unsigned doneMessage = block->doneMessage;
    SignalStarted(block);
    std::vector<CheckResult> results = QueryRow(app, entry, VOLUME_LIST_QUERY_LIMIT_MS, nullptr);
    SetListRow(&results, static_cast<size_t>(entry - app->m_hosts.data()));
    EndQueryThread(app, results, window, doneMessage);
}

void CycleQueryThread(void* startBlock) {
    Kiv* app = theApp;
    ThreadStartBlock* block = static_cast<ThreadStartBlock*>(startBlock);
    HWND window = block->window;
    unsigned doneMessage = block->doneMessage;
    SignalStarted(block);
    std::vector<CheckResult> results;
    size_t row = 0;
    unsigned leftMs = 0;
    for (;;) {
        CycleQueue::Turn turn = app->m_cycleQueue.Next(std::chrono::steady_clock::now(), &row,
                                                       &leftMs);
        if (turn == CycleQueue::TURN_DONE) {
            break;
        }
        // The host list stays as it is while a query thread is counted: every change
        // of it is a guarded action.
        const HostEntry* entry = &app->m_hosts[row];
        std::vector<CheckResult> more;
        if (turn == CycleQueue::TURN_LATE) {
            more.push_back(LateRow(app, entry));
        } else {
            more = QueryRow(app, entry, leftMs, &app->m_cycleQueue);
        }
        SetListRow(&more, row);
        results.insert(results.end(), more.begin(), more.end());
    }
    EndQueryThread(app, results, window, doneMessage);
}
