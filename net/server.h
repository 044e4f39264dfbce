// The disk server: a listener thread that accepts connections and a pool of handler
// threads, one per connection being served, each answering one disk query.
#pragma once

#include <atomic>
#include <cstdint>

#include "mlib/msys.h"
#include "mlib/mthread.h"
#include "net/fsw_socket.h"

class GrowthSource;
class Kiv;
class WebPages;

// Connections served at once; a connection beyond them is closed at once.
const int MAX_CONNECTION_HANDLERS = 64;
// Connections of one peer served at once at most; its further ones are closed at once,
// so that others are still served while one peer floods.
const int MAX_HANDLERS_PER_PEER = 16;

// The connections one peer (an IPv4 address, an IPv6 /64) may have served at once,
// given how many are served in all and how many of them are the peer's: a quarter of
// the handlers the other peers leave, at least 1, at most MAX_HANDLERS_PER_PEER. So a
// few peers with many slow connections cannot take every handler.
int PeerShare(int servedInAll, int servedForPeer);

// What the system allows a server with SVADDR empty: one socket for both families (the
// default, where the system has it), an IPv6 socket beside an IPv4 one, or IPv4 alone
// (no IPv6 on the machine). Tests lower it to take the ways of systems that allow less.
enum ListenerFamilies : int {
    LISTEN_BOTH_ON_ONE_SOCKET,
    LISTEN_BOTH_ON_TWO_SOCKETS,
    LISTEN_IPV4_ONLY,
};
void LimitListenerFamilies(ListenerFamilies families);
// How long the server waits before it tries to listen again (10 s); for tests.
void SetListenRetryInterval(unsigned milliseconds);
// The pages an HTTP request on the port gets while WEB is 1 (null: none, every path 404);
// they must outlive the server's run.
void SetWebPages(WebPages* pages);
// How long a handler thread waits for its next connection before it ends.
const unsigned HANDLER_IDLE_MS = 30000;

// Starts the listener in the thread as the main window does at its creation, with its
// log lines ("サーバを起動します", and "サーバを何故か起動できません" on failure). A
// port outside 1 to 65535 is refused with a log line; no thread is started then. Folder-
// growth requests are answered from growth, which outlives the thread; null (GROWTH off)
// closes them without a reply, as an unknown request.
bool StartServerThread(MThread* thread, GrowthSource* growth);
// Where the next run of ServerThread answers folder-growth requests from, as
// StartServerThread sets it; for tests that start ServerThread themselves.
void SetServerGrowthSource(GrowthSource* growth);

// The listener, run by the main window's MThread. Before it ends, every handler has
// ended. Where the address or port cannot be had yet it tries again every 10 s (one log
// line). Exit code 0 after a stop, 2 when SVADDR or a socket cannot be used at all.
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
