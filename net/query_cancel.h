// The stop signal of disk queries: once it is given, every query that watches it ends
// at once as cancelled, and so does every later one.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "mlib/msys.h"

// Queries register the sockets they hold; Cancel shuts them all down, which ends any
// wait on them at once, and raises a flag that every wait and lookup looks at.
class QueryCancel {
public:
    QueryCancel();
    QueryCancel(const QueryCancel&) = delete;
    QueryCancel& operator=(const QueryCancel&) = delete;

    // One-way: sets the flag and shuts down every registered socket.
    void Cancel();
    bool IsCancelled() const { return m_cancelled; }
    // The flag itself, for waits that only poll it (name lookups).
    const std::atomic<bool>* Flag() const { return &m_cancelled; }

    // Registers an open socket; false, and nothing registered, once cancelled.
    bool Watch(MSocket socket);
    // Unregisters a socket; must come before the socket is closed, so that Cancel never
    // shuts down a handle the system has given to someone else meanwhile.
    void Forget(MSocket socket);

private:
    std::atomic<bool> m_cancelled;
    std::mutex m_lock;  // m_sockets, and the flag's change against a registration
    std::vector<MSocket> m_sockets;
};
