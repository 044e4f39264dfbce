// The program's thin wrapper around one IPv4 TCP socket: 5000 ms send and receive
// time-outs, a connect bounded by the same time, and send and receive loops that move
// the whole byte count or fail.
#pragma once

#include <chrono>
#include <cstdint>

#include "mlib/msys.h"

const unsigned SOCKET_TIMEOUT_MS = 5000;  // bounds every connect, send and receive

typedef std::chrono::steady_clock::time_point SocketDeadline;

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
    // used) and connects to its first IPv4 address at port (host order).
    bool Connect(const char* host, uint16_t port);
    // Move exactly n bytes: n on success, -1 on failure (also when n is not positive).
    int RecvAll(char* buffer, int n);
    int SendAll(const char* buffer, int n);
    // Receives exactly n bytes, all before the deadline, and none of its waits longer
    // than one time-out: a peer that trickles holds the socket no longer than the
    // deadline allows. n on success, -1 on failure.
    int RecvAllBefore(char* buffer, int n, SocketDeadline deadline);

    MSocket handle;       // M_INVALID_SOCKET when closed
    sockaddr_in address;  // peer address (client, accepted) or local address (listener)
};
