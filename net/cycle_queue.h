// The rows of one check cycle, handed out one at a time to the cycle's few query
// threads, and the bounds that hold for the whole cycle.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <vector>

#include "net/disk_query.h"

// Queries of one cycle that run at once at most: a list of 100 rows starts 16 threads,
// which take the rows in turn.
const unsigned CYCLE_QUERY_THREADS = 16;
// The whole cycle ends within the bound of its longest single query, as when every row
// had a thread of its own: a row whose turn comes later is an error without a query.
const unsigned CYCLE_TIME_LIMIT_MS = VOLUME_LIST_QUERY_LIMIT_MS;
// A query needs at least this much of the cycle's time left to start.
const unsigned CYCLE_QUERY_MIN_MS = 1000;
// Volumes of "*" rows that one cycle lists at most, over all its rows.
const size_t CYCLE_MAX_VOLUMES = 1000;

class CycleQueue {
public:
    CycleQueue() : m_next(0), m_volumes(0) {}
    CycleQueue(const CycleQueue&) = delete;
    CycleQueue& operator=(const CycleQueue&) = delete;

    // A new cycle over rows (indexes into the host list), all to end by deadline.
    void Start(const std::vector<size_t>& rows, std::chrono::steady_clock::time_point deadline);

    enum Turn {
        TURN_QUERY,  // query *row within *leftMs at most
        TURN_LATE,   // *row's turn came too late: an error without a query
        TURN_DONE,   // no row is left
    };
    // The next row at the moment now, and the cycle's time left then.
    Turn Next(std::chrono::steady_clock::time_point now, size_t* row, unsigned* leftMs);
    // Of wanted volumes of a "*" row, how many the cycle still lists.
    size_t TakeVolumes(size_t wanted);

private:
    std::mutex m_lock;
    std::vector<size_t> m_rows;
    size_t m_next;
    size_t m_volumes;
    std::chrono::steady_clock::time_point m_deadline;
};
