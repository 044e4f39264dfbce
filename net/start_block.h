// The hand-off record between a thread that starts a worker (the listener, the cycle
// start) and that worker.
#pragma once

#include <atomic>

#include "app/host_entry.h"
#include "mlib/mevent.h"
#include "mlib/msys.h"
#include "net/fsw_socket.h"

// Handed by a starting thread to the worker it starts (a connection handler or a query
// thread). It lives on the starter's stack; the worker takes what it needs, then sets
// started, and touches the block no more. The starter waits on wake, which the worker
// sets right after the flag, so the hand-off ends the moment the worker has its data.
struct ThreadStartBlock {
    std::atomic<bool> started;
    FswSocket* socket;     // the accepted connection (handlers); null for query threads
    HostEntry* host;       // the check target (query threads); null for handlers
    HWND window;           // told when a cycle's last query ends (query threads)
    unsigned doneMessage;  // the message it is told by (query threads)
    MEvent* wake;          // set after started; null: the starter polls the flag
};

// Clears the block for the next hand-off: not started, no socket, host or window.
void ResetStartBlock(ThreadStartBlock* block, MEvent* wake);
// The worker's side: sets started and wakes the starter. The block is not touched after.
void SignalStarted(ThreadStartBlock* block);
// The starter's side: returns once the worker has set started.
void WaitStarted(ThreadStartBlock* block);
