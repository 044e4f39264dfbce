// The disk server: a listener thread that accepts connections and one handler thread
// per connection, which answers one disk query and closes.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/host_entry.h"
#include "mlib/mevent.h"
#include "mlib/msys.h"
#include "mlib/mthread.h"
#include "net/fsw_socket.h"

// Handed by a starting thread to the worker it starts (a connection handler or a query
// thread). It lives on the starter's stack; the worker takes what it needs, then sets
// started, and touches the block no more. The starter waits on wake, which the worker
// sets right after the flag, so the hand-off ends the moment the worker has its data.
struct ThreadStartBlock {
    std::atomic<bool> started;
    FswSocket* socket;  // the accepted connection (handlers); null for query threads
    HostEntry* host;    // the check target (query threads); null for handlers
    HWND window;        // told when a cycle's last query ends (query threads)
    MEvent* wake;       // set after started; null: the starter polls the flag
};

// Clears the block for the next hand-off: not started, no socket, host or window.
void ResetStartBlock(ThreadStartBlock* block, MEvent* wake);
// The worker's side: sets started and wakes the starter. The block is not touched after.
void SignalStarted(ThreadStartBlock* block);
// The starter's side: returns once the worker has set started.
void WaitStarted(ThreadStartBlock* block);

// Connection handlers that may run at once; a connection beyond them is closed at once.
const int MAX_CONNECTION_HANDLERS = 64;

// Starts the listener in the thread as the main window does at its creation, with its
// log lines ("サーバを起動します", and "サーバを何故か起動できません" on failure).
bool StartServerThread(MThread* thread);

// The listener, run by the main window's MThread. Exit code 0 after a stop, 2 when the
// listening socket could not be set up.
unsigned M_THREAD_CALL ServerThread(void* unused);
// One connection's handler; the argument is a ThreadStartBlock holding the socket.
void ConnectionThread(void* startBlock);

// Waits at most the given time until the listener started by thread listens; false if
// it ended or did not get there in time. Lets a program that queries its own server
// start its first cycle only once the server can answer.
bool WaitForServerListening(const MThread& thread, unsigned milliseconds);
