// The query client: one disk query per thread, graded and stored.
#include "net/query_client.h"

#include <cstring>
#include <ctime>
#include <string>

#include "app/kiv.h"
#include "mlib/mcodepage.h"
#include "mlib/msocket.h"
#include "monitor/messages.h"
#include "net/protocol.h"
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

// Asks the target's server for the sizes of its path. The status the result keeps
// when the query fails (STATUS_ERROR or STATUS_NONE) goes to *failure, with a log
// line where there is one to write.
bool Query(Kiv* app, FswSocket* socket, const HostEntry& target, DiskInfo* info,
           CheckStatus* failure) {
    const char* host = target.host;
    unsigned port = target.port;
    if (!socket->Connect(host, target.port)) {
        app->Log("%s (%u)に接続できません", host, port);
        *failure = STATUS_ERROR;
        return false;
    }

    std::string path = MAnsiToWire(target.path, strlen(target.path));
    PacketHeader header;
    header.magic = MHtons(FSW_MAGIC);
    header.version = MHtons(FSW_PROTOCOL_VERSION);
    header.type = MHtons(TYPE_DISK_INFO);
    header.status = 0;
    header.length = MHtonl(static_cast<uint32_t>(path.size()));
    std::string request(reinterpret_cast<const char*>(&header), sizeof header);
    request += path;
    int length = static_cast<int>(request.size());
    if (socket->SendAll(request.data(), length) < length) {
        app->Log("%s (%u)送信エラー", host, port);
        *failure = STATUS_NONE;
        return false;
    }

    char bytes[MAX_REQUEST_PATH];
    if (socket->RecvAll(bytes, PACKET_HEADER_SIZE) < PACKET_HEADER_SIZE) {
        app->Log("%s (%u)H 受信エラー", host, port);
        *failure = STATUS_ERROR;
        return false;
    }
    memcpy(&header, bytes, sizeof header);
    HeaderFromNet(&header);
    if (header.magic != FSW_MAGIC) {
        app->Log("%s (%u)パケットエラー", host, port);
        *failure = STATUS_ERROR;
        return false;
    }
    if (header.version > FSW_PROTOCOL_VERSION) {
        app->Log("未対応バージョン : %d", static_cast<int>(header.version));
        app->Log("%s (%u)パケットエラー", host, port);
        *failure = STATUS_ERROR;
        return false;
    }
    if (header.status != STATUS_OK) {
        *failure = STATUS_ERROR;
        return false;
    }

    int wanted =
        static_cast<int>(header.length < MAX_REQUEST_PATH ? header.length : MAX_REQUEST_PATH);
    int got = socket->RecvAll(bytes, wanted);
    if (got < 12) {
        app->Log("%s (%u)受信エラー", host, port);
        *failure = STATUS_NONE;
        return false;
    }
    if (got != DISK_INFO_SIZE) {
        app->Log("%s (%u)受信データエラー", host, port);
        *failure = STATUS_NONE;
        return false;
    }
    memcpy(info, bytes, sizeof *info);
    U64FromNet(&info->freeBytes);
    U64FromNet(&info->totalBytes);
    return true;
}

}  // namespace

void QueryThread(void* startBlock) {
    Kiv* app = theApp;
    FswSocket socket;
    ThreadStartBlock* block = static_cast<ThreadStartBlock*>(startBlock);
    HostEntry* entry = block->host;
    HWND window = block->window;
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

    DiskInfo info;
    CheckStatus failure = STATUS_NONE;
    bool measured = Query(app, &socket, target, &info, &failure);

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
    if (measured) {
        uint64_t value = MeasuredValue(target.unit, info.freeBytes, info.totalBytes);
        result.status = GradeFreeSpace(value, ThresholdLimit(target.threshold, target.unit));
        result.value = value;
        result.freeBytes = info.freeBytes;
        result.totalBytes = info.totalBytes;
    } else {
        result.status = failure;
    }
    {
        MLockGuard hold(app->m_resultLock);
        app->m_results.push_back(result);
    }
    if (socket.handle != M_INVALID_SOCKET) {
        MShutdown(socket.handle, M_SD_BOTH);
        socket.Close();
    }
    {
        MLockGuard hold(app->m_queryCountLock);
        if (app->m_queryThreadCount > 0) {
            app->m_queryThreadCount--;
            if (app->m_queryThreadCount == 0) {
                MPostMessage(window, WM_APP_CYCLE_DONE, 0, 0);
            }
        }
    }
}
