// The stop signal of disk queries.
#include "net/query_cancel.h"

#include <algorithm>

#include "mlib/msocket.h"

QueryCancel::QueryCancel() : m_cancelled(false) {}

// Under the lock: a socket registered before is shut down here, one registered after
// sees the flag and is refused.
void QueryCancel::Cancel() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_cancelled = true;
    for (MSocket socket : m_sockets) {
        MShutdown(socket, M_SD_BOTH);
    }
}

bool QueryCancel::Watch(MSocket socket) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_cancelled) {
        return false;
    }
    m_sockets.push_back(socket);
    return true;
}

void QueryCancel::Forget(MSocket socket) {
    std::lock_guard<std::mutex> hold(m_lock);
    auto found = std::find(m_sockets.begin(), m_sockets.end(), socket);
    if (found != m_sockets.end()) {
        m_sockets.erase(found);
    }
}
