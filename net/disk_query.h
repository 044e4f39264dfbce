// One disk query as a client makes it: resolve, connect, send the request, read the
// reply, all within one overall time limit and ended at once by a stop signal. It
// writes no log line and touches no application state, so the query threads of a
// cycle and a one-shot check share it; the caller words the failure.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "mlib/msocket.h"
#include "net/growth_report.h"
#include "net/query_cancel.h"
#include "net/volume_list.h"

// The overall bound of one query: connect and send within one socket time-out, the
// reply within another, whatever the peer does (a name lookup counts against it too).
const unsigned DISK_QUERY_TIME_LIMIT_MS = 10000;

// How a disk query ended.
enum DiskQueryOutcome : int {
    DISK_QUERY_OK,                // the sizes are in the result
    DISK_QUERY_CONNECT_FAILED,    // the name has no address, or the connect was refused
    DISK_QUERY_SEND_FAILED,       // the request did not go out whole
    DISK_QUERY_NO_HEADER,         // the reply header did not arrive whole
    DISK_QUERY_BAD_MAGIC,         // the reply is not of this protocol
    DISK_QUERY_NEWER_VERSION,     // the reply's version (in the result) is above ours
    DISK_QUERY_DISK_ERROR,        // the server could not measure the path
    DISK_QUERY_SHORT_BODY,        // the body did not arrive, or has fewer than 12 bytes
    DISK_QUERY_BAD_BODY_LENGTH,   // the body arrived with a length other than 16
    DISK_QUERY_FREE_ABOVE_TOTAL,  // the body's sizes cannot be: more free than the volume
                                  // holds, or a volume of 0 bytes
    DISK_QUERY_TIMED_OUT,         // the time limit passed (the stage tells where)
    DISK_QUERY_CANCELLED,         // the stop signal was given (the stage tells where)
};

// The step a query had reached when it ended.
enum DiskQueryStage : int {
    DISK_QUERY_CONNECTING,  // name lookup and connect
    DISK_QUERY_SENDING,
    DISK_QUERY_READING_HEADER,
    DISK_QUERY_READING_BODY,
};

struct DiskQueryResult {
    DiskQueryOutcome outcome;
    DiskQueryStage stage;
    uint16_t version;     // the reply's version, once a header arrived
    uint64_t freeBytes;   // with DISK_QUERY_OK: the volume's free bytes
    uint64_t totalBytes;  // and its size
    bool resolved;        // the host's name gave an address
};

// Asks the server at host and port for the sizes of the volume holding path (in the
// program's own code page; it travels as the peers' code page). Ends within
// timeLimitMs, and at once when cancel (may be null) is or becomes cancelled. The
// host's addresses of the family are tried (both families by default).
DiskQueryResult RunDiskQuery(const char* host, uint16_t port, const char* path,
                             unsigned timeLimitMs, QueryCancel* cancel,
                             MAddressFamily family = M_FAMILY_ANY);

// The overall bound of a volume list: connect and send within one socket time-out, the
// list within the server's VOLUME_LIST_TIME_LIMIT_MS and a socket time-out more.
const unsigned VOLUME_LIST_QUERY_LIMIT_MS = 18000;

// A volume list as a client asks for it. DISK_QUERY_NO_HEADER: the server closed without a
// reply, as one of the earlier protocol does, or one that does not allow this client;
// DISK_QUERY_DISK_ERROR: the server could not list its volumes; DISK_QUERY_BAD_BODY_LENGTH:
// the body is no list.
struct VolumeListQuery {
    DiskQueryResult query;             // sizes unused
    std::vector<VolumeEntry> volumes;  // with DISK_QUERY_OK
};
// Asks the server at host and port for its volumes at or below prefix (every one when
// empty), bounded and cancellable as RunDiskQuery.
VolumeListQuery RunVolumeListQuery(const char* host, uint16_t port, const char* prefix,
                                   unsigned timeLimitMs, QueryCancel* cancel,
                                   MAddressFamily family = M_FAMILY_ANY);

// A folder-growth report as a client asks for it. DISK_QUERY_NO_HEADER: the server closed
// without a reply: it keeps no folder scans (GROWTH off), is of the earlier protocol, or
// does not allow this client; DISK_QUERY_DISK_ERROR: no kept scan covers the path;
// DISK_QUERY_BAD_BODY_LENGTH: the body is no report.
struct GrowthQuery {
    DiskQueryResult query;  // sizes unused
    GrowthReport report;    // with DISK_QUERY_OK
};
// The bound of a folder-growth query: the server answers from the scans it keeps, so one
// that takes longer is not worth holding a cycle for.
const unsigned GROWTH_QUERY_LIMIT_MS = 3000;
// Asks the server at host and port for the folders that grew under path, bounded and
// cancellable as RunDiskQuery.
GrowthQuery RunGrowthQuery(const char* host, uint16_t port, const char* path,
                           unsigned timeLimitMs, QueryCancel* cancel,
                           MAddressFamily family = M_FAMILY_ANY);

// Asks the server at host and port for each of the paths, with at most `threads` queries
// at a time (a server closes what a peer opens beyond its share), all ending by the
// deadline: a path whose turn comes too late is DISK_QUERY_TIMED_OUT without a
// connection. A thread the system refuses leaves its share to the others; with none at
// all the calling thread asks each path itself. The results are in the paths' order.
std::vector<DiskQueryResult> RunDiskQueries(const std::string& host, uint16_t port,
                                            const std::vector<std::string>& paths,
                                            std::chrono::steady_clock::time_point deadline,
                                            unsigned threads, MAddressFamily family = M_FAMILY_ANY);
