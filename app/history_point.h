// One check of a target as the history keeps it: when, how it was graded, and the sizes
// the server reported.
#pragma once

#include <cstdint>

struct HistoryPoint {
    int64_t time;        // Unix seconds
    uint64_t freeBytes;  // 0 and 0 for a check that failed
    uint64_t totalBytes;
    int32_t status;  // a CheckStatus, 1 to 5
    // The run of the target's checks it belongs to, in the order they were written: one more
    // each time a check is dated more than HISTORY_STEP_BACK_SECONDS before the one written
    // before it (a clock set back). Only the newest run makes a forecast.
    uint32_t run = 0;
};

// A step back in time that starts no new run: the end of summer time in the file's local
// times, a clock corrected by seconds.
const int64_t HISTORY_STEP_BACK_SECONDS = 3600;

// Whether the check measured the disk (statuses 1 to 4).
inline bool IsMeasured(const HistoryPoint& point) {
    return point.status >= 1 && point.status <= 4;
}
