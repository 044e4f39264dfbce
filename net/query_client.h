// The query client: a cycle's few query threads take its check targets in turn, ask each
// target's server for the free space of its path, grade it and store one CheckResult;
// for a row whose path is "*", one per volume the server lists.
#pragma once

#include <cstdint>

#include "net/check_result.h"
#include "net/disk_query.h"
#include "net/growth_cache.h"

// The thread procedure, started by the cycle start with a ThreadStartBlock whose host
// points into m_hosts and whose window receives its doneMessage when the cycle's last
// query ends. The cycle start has already counted the thread in m_queryThreadCount;
// the thread uncounts itself last. A query ends within DISK_QUERY_TIME_LIMIT_MS, a "*"
// row's list within VOLUME_LIST_QUERY_LIMIT_MS; any failure stores STATUS_ERROR, with the
// log line that names it.
void QueryThread(void* startBlock);

// A query thread of a cycle: takes the rows of the application's m_cycleQueue in turn
// until none is left, each query bounded by the cycle's time left too; a row whose turn
// comes too late is an error row. Started, counted and ended as QueryThread, whose
// block's host it does not use.
void CycleQueryThread(void* startBlock);

// The stop: every running query and every later one of the application ends at once as
// an error (its sockets shut down, its name lookup abandoned), so that the shutdown
// waits for no peer. One-way.
void CancelRunningQueries();

// The log lines of a failed query of the target at host and port: the line of each
// failure of the protocol, the line of the step that ran out of time, or the stop's.
void LogQueryFailure(const char* host, unsigned port, const DiskQueryResult& query);

// The log lines of a failed volume list of the server at host and port: that it gave no
// list (an older server, or one that does not allow this client), that it could not make
// one, or those of LogQueryFailure.
void LogVolumeListFailure(const char* host, unsigned port, const DiskQueryResult& query);

// Why a query that did not end DISK_QUERY_OK failed, in the terms of the results; the
// reply of a server that closed without one (not allowed, or older) is REASON_CLOSED.
ErrorReason ReasonOfQuery(const DiskQueryResult& query);

// How a folder-growth query ended, in the cache's terms.
GrowthAnswer AnswerOfGrowthQuery(const DiskQueryResult& query);

// The grade of a measured value V against the limit L of a threshold (both from
// ThresholdLimit and MeasuredValue): danger at or below L / 10, warning below L / 2,
// caution at or below L, normal above.
CheckStatus GradeFreeSpace(uint64_t value, uint64_t limit);
