// The disk server: a listener thread that accepts connections and one handler thread
// per connection, which answers one disk query and closes.
#pragma once

#include <atomic>
#include <cstdint>

#include "mlib/msys.h"
#include "mlib/mthread.h"
#include "net/fsw_socket.h"
#include "net/start_block.h"

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
