// One disk query, bounded in time and cancellable.
#include "net/disk_query.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "mlib/mcodepage.h"
#include "mlib/msocket.h"
#include "net/fsw_socket.h"
#include "net/growth_wire.h"
#include "net/protocol.h"

namespace {

// The outcome of a socket operation that did not complete: a lapse of time or a stop
// has its own outcome, any other failure the step's own.
DiskQueryOutcome FailureOf(SocketOutcome outcome, DiskQueryOutcome stepFailure) {
    switch (outcome) {
        case SOCKET_TIMED_OUT:
            return DISK_QUERY_TIMED_OUT;
        case SOCKET_CANCELLED:
            return DISK_QUERY_CANCELLED;
        default:
            return stepFailure;
    }
}

std::string Request(uint16_t type, const char* path) {
    std::string wirePath = MAnsiToWire(path, strlen(path));
    PacketHeader header;
    header.magic = MHtons(FSW_MAGIC);
    header.version = MHtons(FSW_PROTOCOL_VERSION);
    header.type = MHtons(type);
    header.status = 0;
    header.length = MHtonl(static_cast<uint32_t>(wirePath.size()));
    return std::string(reinterpret_cast<const char*>(&header), sizeof header) + wirePath;
}

// Sends the request and reads and checks the reply's header: the length of the body that
// follows a reply with STATUS_OK, or -1 with the result's outcome set.
int64_t SendAndReadHeader(FswSocket* socket, uint16_t type, const char* path,
                          SocketDeadline deadline, DiskQueryResult* result) {
    SocketOutcome io = SOCKET_DONE;
    std::string request = Request(type, path);
    int length = static_cast<int>(request.size());
    result->stage = DISK_QUERY_SENDING;
    if (socket->SendAllBefore(request.data(), length, deadline, &io) < length) {
        result->outcome = FailureOf(io, DISK_QUERY_SEND_FAILED);
        return -1;
    }

    result->stage = DISK_QUERY_READING_HEADER;
    char bytes[PACKET_HEADER_SIZE];
    // A list's or a report's first byte may take longer than one socket time-out (volumes
    // are measured, scans compared first): it is waited for until the query's own deadline.
    bool slow = type != TYPE_DISK_INFO;
    int first = 0;
    while (slow && (first = socket->RecvAllBefore(bytes, 1, deadline, &io)) < 1 &&
           io == SOCKET_TIMED_OUT && std::chrono::steady_clock::now() < deadline) {
    }
    if ((slow && first < 1) ||
        socket->RecvAllBefore(bytes + first, PACKET_HEADER_SIZE - first, deadline, &io) <
            PACKET_HEADER_SIZE - first) {
        result->outcome = FailureOf(io, DISK_QUERY_NO_HEADER);
        return -1;
    }
    PacketHeader header;
    memcpy(&header, bytes, sizeof header);
    HeaderFromNet(&header);
    result->version = header.version;
    if (header.magic != FSW_MAGIC) {
        result->outcome = DISK_QUERY_BAD_MAGIC;
        return -1;
    }
    if (header.version > FSW_PROTOCOL_VERSION) {
        result->outcome = DISK_QUERY_NEWER_VERSION;
        return -1;
    }
    if (header.status != STATUS_OK) {
        result->outcome = DISK_QUERY_DISK_ERROR;
        return -1;
    }
    result->stage = DISK_QUERY_READING_BODY;
    return header.length;
}

// The steps after the connect; the socket is closed by the caller.
void Converse(FswSocket* socket, const char* path, SocketDeadline deadline,
              DiskQueryResult* result) {
    int64_t length = SendAndReadHeader(socket, TYPE_DISK_INFO, path, deadline, result);
    if (length < 0) {
        return;
    }
    SocketOutcome io = SOCKET_DONE;
    char bytes[MAX_REQUEST_PATH];
    int wanted = static_cast<int>(length < MAX_REQUEST_PATH ? length : MAX_REQUEST_PATH);
    int got = socket->RecvAllBefore(bytes, wanted, deadline, &io);
    if (got < 12) {  // nothing, or too little to be a body at all
        result->outcome = got < 0 ? FailureOf(io, DISK_QUERY_SHORT_BODY) : DISK_QUERY_SHORT_BODY;
        return;
    }
    if (got != DISK_INFO_SIZE) {
        result->outcome = DISK_QUERY_BAD_BODY_LENGTH;
        return;
    }
    DiskInfo info;
    memcpy(&info, bytes, sizeof info);
    U64FromNet(&info.freeBytes);
    U64FromNet(&info.totalBytes);
    if (info.totalBytes == 0 || info.freeBytes > info.totalBytes) {
        result->outcome = DISK_QUERY_FREE_ABOVE_TOTAL;
        return;
    }
    result->freeBytes = info.freeBytes;
    result->totalBytes = info.totalBytes;
    result->outcome = DISK_QUERY_OK;
}

// The steps after the connect of a request whose body is read whole, at most maxSize
// bytes, and decoded by decode.
template <typename Decode>
void ConverseBody(FswSocket* socket, uint16_t type, const char* path, uint32_t maxSize,
                  SocketDeadline deadline, DiskQueryResult* result, Decode decode) {
    int64_t length = SendAndReadHeader(socket, type, path, deadline, result);
    if (length < 0) {
        return;
    }
    if (length > maxSize) {
        result->outcome = DISK_QUERY_BAD_BODY_LENGTH;
        return;
    }
    SocketOutcome io = SOCKET_DONE;
    std::string body(static_cast<size_t>(length), '\0');
    int got = socket->RecvAllBefore(&body[0], static_cast<int>(length), deadline, &io);
    if (got != length) {
        result->outcome = got < 0 ? FailureOf(io, DISK_QUERY_SHORT_BODY) : DISK_QUERY_SHORT_BODY;
        return;
    }
    result->outcome = decode(body) ? DISK_QUERY_OK : DISK_QUERY_BAD_BODY_LENGTH;
}

// Connects to host and port within timeLimitMs and has talk converse, then closes.
template <typename Talk>
void Ask(const char* host, uint16_t port, unsigned timeLimitMs, QueryCancel* cancel,
         MAddressFamily family, DiskQueryResult* result, Talk talk) {
    SocketDeadline deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeLimitMs);
    memset(result, 0, sizeof *result);
    result->stage = DISK_QUERY_CONNECTING;
    FswSocket socket;
    socket.WatchCancel(cancel);
    socket.UseFamily(family);
    SocketOutcome connected = socket.ConnectBefore(host, port, deadline);
    result->resolved = socket.Resolved();
    if (connected != SOCKET_DONE) {
        result->outcome = FailureOf(connected, DISK_QUERY_CONNECT_FAILED);
        return;
    }
    talk(&socket, deadline);
    MShutdown(socket.handle, M_SD_BOTH);
    socket.Close();
}

}  // namespace

DiskQueryResult RunDiskQuery(const char* host, uint16_t port, const char* path,
                             unsigned timeLimitMs, QueryCancel* cancel, MAddressFamily family) {
    DiskQueryResult result;
    Ask(host, port, timeLimitMs, cancel, family, &result,
        [&](FswSocket* socket, SocketDeadline deadline) {
            Converse(socket, path, deadline, &result);
        });
    return result;
}

VolumeListQuery RunVolumeListQuery(const char* host, uint16_t port, const char* prefix,
                                   unsigned timeLimitMs, QueryCancel* cancel,
                                   MAddressFamily family) {
    VolumeListQuery list;
    Ask(host, port, timeLimitMs, cancel, family, &list.query,
        [&](FswSocket* socket, SocketDeadline deadline) {
            ConverseBody(socket, TYPE_VOLUME_LIST, prefix, MAX_VOLUME_LIST_SIZE, deadline,
                         &list.query,
                         [&](const std::string& body) { return DecodeVolumeList(body, &list.volumes); });
        });
    return list;
}

GrowthQuery RunGrowthQuery(const char* host, uint16_t port, const char* path,
                           unsigned timeLimitMs, QueryCancel* cancel, MAddressFamily family) {
    GrowthQuery growth;
    Ask(host, port, timeLimitMs, cancel, family, &growth.query,
        [&](FswSocket* socket, SocketDeadline deadline) {
            ConverseBody(socket, TYPE_FOLDER_GROWTH, path, MAX_GROWTH_REPLY_SIZE, deadline,
                         &growth.query, [&](const std::string& body) {
                             return DecodeGrowthReport(body, &growth.report);
                         });
        });
    return growth;
}

std::vector<DiskQueryResult> RunDiskQueries(const std::string& host, uint16_t port,
                                            const std::vector<std::string>& paths,
                                            std::chrono::steady_clock::time_point deadline,
                                            unsigned threads, MAddressFamily family) {
    std::vector<DiskQueryResult> results(paths.size());
    std::atomic<size_t> next(0);
    auto work = [&] {
        for (size_t i = next++; i < paths.size(); i = next++) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                memset(&results[i], 0, sizeof results[i]);
                results[i].outcome = DISK_QUERY_TIMED_OUT;
                results[i].stage = DISK_QUERY_CONNECTING;
                continue;
            }
            results[i] = RunDiskQuery(host.c_str(), port, paths[i].c_str(),
                                      static_cast<unsigned>(left.count()), nullptr, family);
        }
    };
    std::vector<std::thread> workers;
    for (unsigned n = 0; n < threads && n < paths.size(); n++) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // the threads that started share the paths
        }
    }
    if (workers.empty()) {
        work();
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    return results;
}
