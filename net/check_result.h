// The outcome of querying one check target in one cycle: a plain record that carries
// copies of the target's texts, so readers never look the target up again.
#pragma once

#include <cstdint>

enum CheckStatus : int32_t {
    STATUS_NONE = 0,     // no outcome: neither listed nor counted; the query client stores none
    STATUS_NORMAL = 1,   // V > L
    STATUS_CAUTION = 2,  // L / 2 <= V <= L
    STATUS_WARNING = 3,  // L / 10 < V < L / 2
    STATUS_DANGER = 4,   // V <= L / 10
    STATUS_ERROR = 5,    // no usable answer: no connection, a bad or late reply, a disk error
};

// Why a result is STATUS_ERROR, for the status list, the console, the plugin and the
// notification command.
enum ErrorReason : int32_t {
    REASON_NONE = 0,
    REASON_UNRESOLVED = 1,    // the host's name has no address
    REASON_REFUSED = 2,       // the connection was refused, or the host cannot be reached
    REASON_TIMED_OUT = 3,     // no answer within the query's time
    REASON_CLOSED = 4,        // closed without a reply: not allowed by the server's ALLOW,
                              // or an older server
    REASON_NOT_MEASURED = 5,  // the server could not measure the path
    REASON_BAD_REPLY = 6,     // a reply of another protocol or a broken one
    REASON_NOT_STARTED = 7,   // the cycle's time was up before the row's turn
    REASON_CANCELLED = 8,     // the program's stop ended the query
};

// The reason in a few words ("接続を拒否されました", ...); "" for REASON_NONE or an
// unknown code.
const char* ErrorReasonText(int32_t reason);

struct CheckResult {
    int32_t status;  // a CheckStatus
    uint16_t year;   // local time at which the query ended
    uint16_t month;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    char host[65];
    char path[261];
    uint32_t threshold;
    uint64_t value;  // V: per mille of the total with UNIT_PERCENT, free bytes otherwise
    uint32_t unit;
    char description[65];
    // Beyond what the status list shows: what the history and the metrics keep.
    uint16_t port;       // the target's port
    uint64_t freeBytes;  // the sizes as the server reported them; 0 after a failure
    uint64_t totalBytes;
    int64_t checkTime;  // the same moment as the local time stamp, in Unix seconds
    // From a row whose path is "*": one of its volumes, or, with the path "*", the row
    // itself when its host gave no list.
    bool ofAllVolumes;
    // With the path "*": the host's list came but held no volume that can be watched.
    bool noVolumes;
    int32_t reason;  // an ErrorReason: REASON_NONE unless the status is STATUS_ERROR
    // The row of the host list (from 0) the result comes from: the lists show results in
    // that order, whichever query ended first.
    uint32_t listRow;
};
