// The program's thin wrapper around one IPv4 TCP socket: 5000 ms send and receive
// time-outs, a connect bounded by the same time, and send and receive loops that move
// the whole byte count or fail; the client's forms of them end by a deadline or when
// the stop signal they watch is given.
#pragma once

#include <chrono>
#include <cstdint>

#include "mlib/msocket.h"
#include "mlib/msys.h"

class QueryCancel;

const unsigned SOCKET_TIMEOUT_MS = 5000;  // bounds every connect, send and receive

typedef std::chrono::steady_clock::time_point SocketDeadline;

// How an operation bounded by a deadline ended.
enum SocketOutcome : int {
    SOCKET_DONE,
    SOCKET_FAILED,     // refused, reset, closed by the peer, a name without an address
    SOCKET_TIMED_OUT,  // the deadline passed, or one time-out went by without progress
    SOCKET_CANCELLED,  // the stop signal the socket watches was given
};

class FswSocket {
public:
    FswSocket();
    virtual ~FswSocket();
    FswSocket(const FswSocket&) = delete;
    FswSocket& operator=(const FswSocket&) = delete;

    void Close();  // closes the socket if open; the handle is invalid afterwards
    // (Re)creates the socket with its time-outs; the address is left alone.
    bool Create(int protocol);
    // Gives an open socket (an accepted one) the send and receive time-outs.
    bool SetTimeouts();
    // Resolves host (a dotted IPv4 address or a name; at most 127 bytes of it are
    // used) and connects to its first IPv4 address at port (host order): all within two
    // time-outs, the connect within one.
    bool Connect(const char* host, uint16_t port);
    // Move exactly n bytes: n on success, -1 on failure (also when n is not positive).
    int RecvAll(char* buffer, int n);
    int SendAll(const char* buffer, int n);

    // The stop signal that the sockets this object creates from now on are registered
    // with, and that its bounded operations watch (null: none). Set it before
    // ConnectBefore; it must outlive the object's sockets.
    void WatchCancel(QueryCancel* cancel) { m_cancel = cancel; }
    // Resolves host as Connect does and connects, both before the deadline, the connect
    // within one time-out: a lookup that outlasts the deadline is abandoned. The
    // socket is closed on failure and stays non-blocking on success, for the bounded
    // operations below.
    SocketOutcome ConnectBefore(const char* host, uint16_t port, SocketDeadline deadline);
    // Move exactly n bytes, all before the deadline, no wait longer than one time-out:
    // a peer that trickles holds the socket no longer than the deadline allows. n on
    // success, -1 on failure; how it ended in *outcome when given.
    int RecvAllBefore(char* buffer, int n, SocketDeadline deadline,
                      SocketOutcome* outcome = nullptr);
    int SendAllBefore(const char* buffer, int n, SocketDeadline deadline,
                      SocketOutcome* outcome = nullptr);

    MSocket handle;       // M_INVALID_SOCKET when closed
    sockaddr_in address;  // peer address (client, accepted) or local address (listener)

private:
    // Waits until the socket is ready for what, or until the moment, or the stop.
    SocketOutcome WaitReady(MSocketWait what, SocketDeadline until);
    // The loop of RecvAllBefore (into a buffer) and SendAllBefore (from one).
    int MoveAllBefore(char* into, const char* from, int n, SocketDeadline deadline,
                      SocketOutcome* outcome);

    QueryCancel* m_cancel;
};
