// The program's thin wrapper around one IPv4 TCP socket.
#pragma once

#include "mlib/msys.h"

class FswSocket {
public:
    FswSocket();
    virtual ~FswSocket();
    FswSocket(const FswSocket&) = delete;
    FswSocket& operator=(const FswSocket&) = delete;

    void Close();  // closes the socket if open; the handle is invalid afterwards

    MSocket handle;       // M_INVALID_SOCKET when closed
    sockaddr_in address;  // peer address (client, accepted) or local address (listener)
};
