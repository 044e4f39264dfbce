// The rows of a check cycle in turn, within the cycle's time and volume bounds.
#include "net/cycle_queue.h"

void CycleQueue::Start(const std::vector<size_t>& rows,
                       std::chrono::steady_clock::time_point deadline) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_rows = rows;
    m_next = 0;
    m_volumes = 0;
    m_deadline = deadline;
}

CycleQueue::Turn CycleQueue::Next(std::chrono::steady_clock::time_point now, size_t* row,
                                  unsigned* leftMs) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_next >= m_rows.size()) {
        return TURN_DONE;
    }
    *row = m_rows[m_next++];
    long long left =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - now).count();
    if (left < static_cast<long long>(CYCLE_QUERY_MIN_MS)) {
        *leftMs = 0;
        return TURN_LATE;
    }
    *leftMs = static_cast<unsigned>(left);
    return TURN_QUERY;
}

size_t CycleQueue::TakeVolumes(size_t wanted) {
    std::lock_guard<std::mutex> hold(m_lock);
    size_t granted = CYCLE_MAX_VOLUMES - m_volumes;
    granted = wanted < granted ? wanted : granted;
    m_volumes += granted;
    return granted;
}
