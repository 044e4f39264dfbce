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

namespace {

bool SetBlocking(SOCKET socket, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

// Waits until a connect in progress has ended; its error (0 for success) in *result.
bool WaitConnected(SOCKET socket, DWORD timeoutMilliseconds, int* result) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval limit;
    limit.tv_sec = static_cast<long>(timeoutMilliseconds / 1000);
    limit.tv_usec = static_cast<long>(timeoutMilliseconds % 1000) * 1000;
    int ready =
        select(0, NULL, &writable, &failed, timeoutMilliseconds == INFINITE ? NULL : &limit);
    if (ready == SOCKET_ERROR) {
        return false;
    }
    if (ready == 0) {
        *result = WSAETIMEDOUT;
        return true;
    }
    if (FD_ISSET(socket, &writable)) {
        *result = 0;
        return true;
    }
    int length = sizeof *result;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(result), &length) != 0) {
        return false;
    }
    if (*result == 0) {
        *result = WSAECONNREFUSED;
    }
    return true;
}

}  // namespace

// Winsock's connect knows no time-out: non-blocking while connecting, so the wait is
// ours to bound by the send time-out; blocking again after.
int MConnect(MSocket socket, const sockaddr_in* address) {
    DWORD timeoutMilliseconds = 0;
    int size = sizeof timeoutMilliseconds;
    if (getsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&timeoutMilliseconds),
                   &size) != 0) {
        return M_SOCKET_ERROR;
    }
    if (timeoutMilliseconds == 0) {
        timeoutMilliseconds = INFINITE;
    }
    if (!SetBlocking(socket, false)) {
        return M_SOCKET_ERROR;
    }
    int error = 0;
    if (connect(socket, reinterpret_cast<const sockaddr*>(address), sizeof *address) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK && !WaitConnected(socket, timeoutMilliseconds, &error)) {
            error = WSAGetLastError();
        }
    }
    if (!SetBlocking(socket, true) && error == 0) {
        error = WSAGetLastError();
    }
    if (error != 0) {
        WSASetLastError(error);
        return M_SOCKET_ERROR;
    }
    return 0;
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
