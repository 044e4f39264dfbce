// The program's thin wrapper around one TCP socket of either family: 5000 ms send and
// receive time-outs, a connect bounded by the same time, and send and receive loops
// that move the whole byte count or fail; the client's forms of them end by a deadline
// or when the stop signal they watch is given.
#pragma once

#include <chrono>
#include <cstdint>

#include "mlib/mresolve.h"
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
    // (Re)creates the socket with its time-outs, IPv4 or of the family given (AF_INET,
    // AF_INET6); the address is left alone.
    bool Create(int protocol);
    bool CreateOf(int family, int protocol);
    // Gives an open socket (an accepted one) the send and receive time-outs.
    bool SetTimeouts();
    // Resolves host (a dotted IPv4 address, an IPv6 address with or without brackets,
    // or a name; at most 127 bytes of it are used) and connects to its addresses at port
    // (host order) in the resolver's order until one answers: all within two time-outs,
    // each connect within one.
    bool Connect(const char* host, uint16_t port);
    // Move exactly n bytes: n on success, -1 on failure (also when n is not positive).
    int RecvAll(char* buffer, int n);
    int SendAll(const char* buffer, int n);

    // The stop signal that the sockets this object creates from now on are registered
    // with, and that its bounded operations watch (null: none). Set it before
    // ConnectBefore; it must outlive the object's sockets.
    void WatchCancel(QueryCancel* cancel) { m_cancel = cancel; }
    // The one family ConnectBefore uses from now on (M_FAMILY_ANY: both).
    void UseFamily(MAddressFamily family) { m_family = family; }
    // Resolves host as Connect does and connects, both before the deadline, the connect
    // within one time-out: a lookup that outlasts the deadline is abandoned. The
    // socket is closed on failure and stays non-blocking on success, for the bounded
    // operations below.
    SocketOutcome ConnectBefore(const char* host, uint16_t port, SocketDeadline deadline);
    // Whether the latest ConnectBefore found an address for its host.
    bool Resolved() const { return m_resolved; }
    // Move exactly n bytes, all before the deadline, no wait longer than one time-out:
    // a peer that trickles holds the socket no longer than the deadline allows. n on
    // success, -1 on failure; how it ended in *outcome when given.
    int RecvAllBefore(char* buffer, int n, SocketDeadline deadline,
                      SocketOutcome* outcome = nullptr);
    int SendAllBefore(const char* buffer, int n, SocketDeadline deadline,
                      SocketOutcome* outcome = nullptr);
    // As RecvAllBefore, but takes what has come, up to most bytes, once least are there:
    // a request and what follows it in one call. The bytes received, or -1.
    int RecvAtLeastBefore(char* buffer, int least, int most, SocketDeadline deadline,
                          SocketOutcome* outcome = nullptr);

    MSocket handle;          // M_INVALID_SOCKET when closed
    MSocketAddress address;  // peer address (client, accepted) or local address (listener)

private:
    // Waits until the socket is ready for what, or until the moment, or the stop.
    SocketOutcome WaitReady(MSocketWait what, SocketDeadline until);
    // The addresses of host of the family in use, before the deadline.
    SocketOutcome Resolve(const char* host, SocketDeadline deadline, MResolved* found);
    // One connect to one address, within one time-out and the deadline; the socket is
    // closed unless it succeeds.
    SocketOutcome ConnectTo(const MSocketAddress& to, SocketDeadline deadline);
    // The loop of RecvAllBefore (into a buffer) and SendAllBefore (from one).
    int MoveAllBefore(char* into, const char* from, int least, int most, SocketDeadline deadline,
                      SocketOutcome* outcome);

    QueryCancel* m_cancel;
    MAddressFamily m_family;
    bool m_resolved;
};
