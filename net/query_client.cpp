// The query client: one disk query per thread, graded and stored.
#include "net/query_client.h"

#include <cstring>
#include <ctime>

#include "app/kiv.h"
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

namespace {

// The stop signal of every query of the process; given once, by the shutdown.
QueryCancel& ProcessQueries() {
    static QueryCancel cancel;
    return cancel;
}

}  // namespace

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

void CancelRunningQueries() {
    ProcessQueries().Cancel();
}

void QueryThread(void* startBlock) {
    Kiv* app = theApp;
    ThreadStartBlock* block = static_cast<ThreadStartBlock*>(startBlock);
    HostEntry* entry = block->host;
    HWND window = block->window;
    unsigned doneMessage = block->doneMessage;
    SignalStarted(block);

    HostEntry target;
    {
        MLockGuard hold(app->m_hostLock);
        target = *entry;
    }
    CheckResult result;
    memset(&result, 0, sizeof result);
    result.status = STATUS_NONE;
    CopyField(result.host, sizeof result.host, target.host);
    CopyField(result.path, sizeof result.path, target.path);
    CopyField(result.description, sizeof result.description, target.description);

    DiskQueryResult query = RunDiskQuery(target.host, target.port, target.path,
                                         DISK_QUERY_TIME_LIMIT_MS, &ProcessQueries());
    if (query.outcome != DISK_QUERY_OK) {
        LogQueryFailure(target.host, target.port, query);
    }

    result.threshold = target.threshold;
    result.unit = target.unit;
    result.port = target.port;
    result.checkTime = static_cast<int64_t>(time(nullptr));
    MLocalTime now;
    MGetLocalTime(&now);
    result.year = now.year;
    result.month = now.month;
    result.day = now.day;
    result.hour = now.hour;
    result.minute = now.minute;
    result.second = now.second;
    if (query.outcome == DISK_QUERY_OK) {
        uint64_t value = MeasuredValue(target.unit, query.freeBytes, query.totalBytes);
        result.status = GradeFreeSpace(value, ThresholdLimit(target.threshold, target.unit));
        result.value = value;
        result.freeBytes = query.freeBytes;
        result.totalBytes = query.totalBytes;
    } else {
        result.status = STATUS_ERROR;  // a broken or cut-off reply is as unknown as none
    }
    {
        MLockGuard hold(app->m_resultLock);
        app->m_results.push_back(result);
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
