// The disk server: a listener thread that accepts connections and a pool of handler
// threads, one per connection being served, each answering one disk query.
#pragma once

#include <atomic>
#include <cstdint>

#include "mlib/msys.h"
#include "mlib/mthread.h"
#include "net/fsw_socket.h"

class Kiv;

// Connections served at once; a connection beyond them is closed at once.
const int MAX_CONNECTION_HANDLERS = 64;
// Connections of one peer served at once; its further ones are closed at once, so that
// others are still served while one peer floods.
const int MAX_HANDLERS_PER_PEER = 16;
// How long a handler thread waits for its next connection before it ends.
const unsigned HANDLER_IDLE_MS = 30000;

// Starts the listener in the thread as the main window does at its creation, with its
// log lines ("サーバを起動します", and "サーバを何故か起動できません" on failure). A
// port outside 1 to 65535 is refused with a log line; no thread is started then.
bool StartServerThread(MThread* thread);

// The listener, run by the main window's MThread. Before it ends, every handler has
// ended. Exit code 0 after a stop, 2 when the listening socket could not be set up.
unsigned M_THREAD_CALL ServerThread(void* unused);

// Waits at most the given time until the listener started by thread listens; false if
// it ended or did not get there in time. Lets a program that queries its own server
// start its first cycle only once the server can answer.
bool WaitForServerListening(const MThread& thread, unsigned milliseconds);

// Handler threads of the server that have not ended, those left in a measurement that
// overran excepted. 0 once ServerThread has returned.
int LiveHandlerThreads();

// Logs the ALLOW list as it applies: the entries it could not read, and which peers
// may ask. Done when the listener starts and on a reload while it listens.
void LogAllowList(Kiv* app);
