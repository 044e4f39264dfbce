// The query client: one thread per check target of a cycle asks the target's server
// for the free space of its path, grades it and stores one CheckResult.
#pragma once

#include <cstdint>

#include "net/check_result.h"

// The thread procedure, started by the cycle start with a ThreadStartBlock whose host
// points into m_hosts and whose window receives WM_APP_CYCLE_DONE. The cycle start has
// already counted the thread in m_queryThreadCount; the thread uncounts itself last.
void QueryThread(void* startBlock);

// The grade of a measured value V against the limit L of a threshold (both from
// ThresholdLimit and MeasuredValue): danger at or below L / 10, warning below L / 2,
// caution at or below L, normal above.
CheckStatus GradeFreeSpace(uint64_t value, uint64_t limit);
