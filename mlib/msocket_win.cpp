// The socket seam on Windows Sockets 2.
#include "mlib/msocket.h"

#include <cstring>

MSocket MCreateSocket(int protocol) {
    return socket(AF_INET, SOCK_STREAM, protocol);
}

bool MSetSocketTimeouts(MSocket socket, unsigned milliseconds) {
    DWORD limit = milliseconds;
    const char* value = reinterpret_cast<const char*>(&limit);
    return setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, value, sizeof limit) == 0 &&
           setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, value, sizeof limit) == 0;
}

bool MSetReceiveTimeout(MSocket socket, unsigned milliseconds) {
    DWORD limit = milliseconds;
    return setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                      sizeof limit) == 0;
}

uint32_t MInetAddr(const char* text) {
    return static_cast<uint32_t>(inet_addr(text));
}

// Winsock keeps gethostbyname's result per thread, so query threads may resolve at once.
bool MResolveHostIPv4(const char* name, uint32_t* address) {
    hostent* entry = gethostbyname(name);
    if (entry == NULL || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
        entry->h_addr_list == NULL || entry->h_addr_list[0] == NULL) {
        return false;
    }
    memcpy(address, entry->h_addr_list[0], sizeof *address);
    return true;
}

// Winsock's connect knows no time-out: non-blocking while connecting, so the wait is
// ours to bound by the send time-out; blocking again after.
int MConnect(MSocket socket, const sockaddr_in* address) {
    DWORD timeoutMilliseconds = 0;
    int size = sizeof timeoutMilliseconds;
    if (getsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&timeoutMilliseconds),
                   &size) != 0) {
        return M_SOCKET_ERROR;
    }
    if (!MSetNonBlocking(socket, true)) {
        return M_SOCKET_ERROR;
    }
    int error = 0;
    int started = MStartConnect(socket, address);
    if (started == M_SOCKET_ERROR) {
        error = WSAGetLastError();
    } else if (started == 1) {
        int ready = MWaitSocket(socket, M_WAIT_CONNECT,
                                timeoutMilliseconds == 0 ? M_WAIT_FOREVER : timeoutMilliseconds);
        if (ready == 0) {
            error = WSAETIMEDOUT;
        } else if (ready == M_SOCKET_ERROR || MFinishConnect(socket) != 0) {
            error = WSAGetLastError();
        }
    }
    if (!MSetNonBlocking(socket, false) && error == 0) {
        error = WSAGetLastError();
    }
    if (error != 0) {
        WSASetLastError(error);
        return M_SOCKET_ERROR;
    }
    return 0;
}

// A connect that failed shows in the exception set, one that succeeded in the write set.
int MWaitSocket(MSocket socket, MSocketWait what, unsigned milliseconds) {
    fd_set watched;
    fd_set failed;
    FD_ZERO(&watched);
    FD_ZERO(&failed);
    FD_SET(socket, &watched);
    FD_SET(socket, &failed);
    timeval limit;
    limit.tv_sec = static_cast<long>(milliseconds / 1000);
    limit.tv_usec = static_cast<long>(milliseconds % 1000) * 1000;
    timeval* bound = milliseconds == M_WAIT_FOREVER ? NULL : &limit;
    int ready = what == M_WAIT_READ    ? select(0, &watched, NULL, NULL, bound)
                : what == M_WAIT_WRITE ? select(0, NULL, &watched, NULL, bound)
                                       : select(0, NULL, &watched, &failed, bound);
    if (ready == SOCKET_ERROR) {
        return M_SOCKET_ERROR;
    }
    return ready > 0 ? 1 : 0;
}

bool MSetNonBlocking(MSocket socket, bool nonBlocking) {
    u_long mode = nonBlocking ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &mode) == 0;
}

int MStartConnect(MSocket socket, const sockaddr_in* address) {
    if (connect(socket, reinterpret_cast<const sockaddr*>(address), sizeof *address) == 0) {
        return 0;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? 1 : M_SOCKET_ERROR;
}

// A connect that failed leaves the socket unwritable and its error in SO_ERROR.
int MFinishConnect(MSocket socket) {
    if (MWaitSocket(socket, M_WAIT_WRITE, 0) == 1) {
        return 0;
    }
    int error = 0;
    int length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
        return M_SOCKET_ERROR;
    }
    WSASetLastError(error != 0 ? error : WSAECONNREFUSED);
    return M_SOCKET_ERROR;
}

bool MLastCallWouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

int MSend(MSocket socket, const char* buffer, int length) {
    return send(socket, buffer, length, 0);
}

int MRecv(MSocket socket, char* buffer, int length) {
    return recv(socket, buffer, length, 0);
}

int MShutdown(MSocket socket, MShutdownHow how) {
    return shutdown(socket, how);
}

int MBind(MSocket socket, const sockaddr_in* address) {
    return bind(socket, reinterpret_cast<const sockaddr*>(address), sizeof *address);
}

int MListen(MSocket socket, int backlog) {
    return listen(socket, backlog);
}

namespace {

// Gives the accepted socket the listener's value of a time-out option.
bool CopyTimeout(SOCKET listener, SOCKET accepted, int option) {
    DWORD limit = 0;
    int size = sizeof limit;
    return getsockopt(listener, SOL_SOCKET, option, reinterpret_cast<char*>(&limit), &size) == 0 &&
           setsockopt(accepted, SOL_SOCKET, option, reinterpret_cast<const char*>(&limit),
                      sizeof limit) == 0;
}

}  // namespace

MSocket MAccept(MSocket socket, sockaddr_in* peer) {
    int length = sizeof *peer;
    SOCKET accepted = accept(socket, reinterpret_cast<sockaddr*>(peer), &length);
    if (accepted == INVALID_SOCKET) {
        return accepted;
    }
    if (!CopyTimeout(socket, accepted, SO_RCVTIMEO) ||
        !CopyTimeout(socket, accepted, SO_SNDTIMEO)) {
        int error = WSAGetLastError();
        closesocket(accepted);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return accepted;
}

bool MIsResourceShortage(unsigned long error) {
    return error == WSAEMFILE || error == WSAENOBUFS || error == ERROR_NOT_ENOUGH_MEMORY;
}

uint16_t MGetLocalPort(MSocket socket) {
    sockaddr_in local;
    int length = sizeof local;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}
