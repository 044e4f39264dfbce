// The socket wrapper.
#include "net/fsw_socket.h"

FswSocket::FswSocket() : handle(M_INVALID_SOCKET) {}

FswSocket::~FswSocket() {
    Close();
}

void FswSocket::Close() {
    if (handle != M_INVALID_SOCKET) {
        MCloseSocket(handle);
        handle = M_INVALID_SOCKET;
    }
}
