// One check of a target as the history keeps it: when, how it was graded, and the sizes
// the server reported.
#pragma once

#include <cstdint>

struct HistoryPoint {
    int64_t time;        // Unix seconds
    uint64_t freeBytes;  // 0 and 0 for a check that failed
    uint64_t totalBytes;
    int32_t status;  // a CheckStatus, 1 to 5
};

// Whether the check measured the disk (statuses 1 to 4).
inline bool IsMeasured(const HistoryPoint& point) {
    return point.status >= 1 && point.status <= 4;
}
