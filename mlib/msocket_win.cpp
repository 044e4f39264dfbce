// The socket seam on Windows Sockets 2.
#include "mlib/msocket.h"

#include <cstring>
#include <vector>

#include <iphlpapi.h>  // after the socket headers

MSocket MCreateSocket(int protocol) {
    return MCreateSocketOf(AF_INET, protocol);
}

// No child process ever holds a socket (and with it the server's port): sockets are made
// non-inheritable, by the flag where the system has it, else right after.
MSocket MCreateSocketOf(int family, int protocol) {
    const DWORD NO_INHERIT = 0x80;  // WSA_FLAG_NO_HANDLE_INHERIT
    SOCKET made =
        WSASocketW(family, SOCK_STREAM, protocol, NULL, 0, WSA_FLAG_OVERLAPPED | NO_INHERIT);
    if (made == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL) {
        made = WSASocketW(family, SOCK_STREAM, protocol, NULL, 0, WSA_FLAG_OVERLAPPED);
        if (made != INVALID_SOCKET) {
            SetHandleInformation(reinterpret_cast<HANDLE>(made), HANDLE_FLAG_INHERIT, 0);
        }
    }
    return made;
}

bool MSetIPv6Only(MSocket socket, bool only) {
    DWORD value = only ? 1 : 0;
    return setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&value),
                      sizeof value) == 0;
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

// Winsock's connect knows no time-out: non-blocking while connecting, so the wait is
// ours to bound by the send time-out; blocking again after.
int MConnect(MSocket socket, const MSocketAddress* address) {
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

int MStartConnect(MSocket socket, const MSocketAddress* address) {
    if (connect(socket, &address->any, address->Length()) == 0) {
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

// Bound for this socket alone: no other program, even under the same account, can bind
// the port beside it and take the queries meant for it.
int MBind(MSocket socket, const MSocketAddress* address) {
    BOOL exclusive = TRUE;
    if (setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof exclusive) != 0) {
        return SOCKET_ERROR;
    }
    return bind(socket, &address->any, address->Length());
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

// The accepted socket gets the listener's time-outs; blocking set, when asked, since
// Winsock passes the listener's non-blocking mode on.
SOCKET TakeConnection(SOCKET listener, MSocketAddress* peer, bool blocking) {
    *peer = MEmptyAddress();
    int length = sizeof peer->storage;
    SOCKET accepted = accept(listener, &peer->any, &length);
    if (accepted == INVALID_SOCKET) {
        return accepted;
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
    if (!CopyTimeout(listener, accepted, SO_RCVTIMEO) ||
        !CopyTimeout(listener, accepted, SO_SNDTIMEO) ||
        (blocking && !MSetNonBlocking(accepted, false))) {
        int error = WSAGetLastError();
        closesocket(accepted);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return accepted;
}

}  // namespace

MSocket MAccept(MSocket socket, MSocketAddress* peer) {
    return TakeConnection(socket, peer, false);
}

// Threads waiting here on the same listeners all wake for one connection; those that
// find it taken come back empty-handed (WSAEWOULDBLOCK) rather than block in accept.
MSocket MAcceptFirst(const MSocket* listeners, int count, MSocketAddress* peer,
                     unsigned milliseconds) {
    fd_set watched;
    FD_ZERO(&watched);
    int n = count < 4 ? count : 4;
    for (int i = 0; i < n; i++) {
        FD_SET(listeners[i], &watched);
    }
    timeval limit;
    limit.tv_sec = static_cast<long>(milliseconds / 1000);
    limit.tv_usec = static_cast<long>(milliseconds % 1000) * 1000;
    int ready = select(0, &watched, NULL, NULL, &limit);
    if (ready == SOCKET_ERROR) {
        return INVALID_SOCKET;
    }
    for (int i = 0; i < n && ready > 0; i++) {
        if (!FD_ISSET(listeners[i], &watched)) {
            continue;
        }
        SOCKET accepted = TakeConnection(listeners[i], peer, true);
        if (accepted != INVALID_SOCKET || WSAGetLastError() != WSAEWOULDBLOCK) {
            return accepted;
        }
    }
    WSASetLastError(WSAEWOULDBLOCK);
    return INVALID_SOCKET;
}

bool MIsResourceShortage(unsigned long error) {
    return error == WSAEMFILE || error == WSAENOBUFS || error == ERROR_NOT_ENOUGH_MEMORY;
}

bool MIsAcceptTransient(unsigned long error) {
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAEWOULDBLOCK ||
           error == WSAEINTR;
}

bool MIsAddressInUse(unsigned long error) {
    return error == WSAEADDRINUSE;
}

bool MIsPortRefused(unsigned long error) {
    return error == WSAEACCES;
}

namespace {

DWORD StateOf(const MIB_TCPROW& row) {
    return row.dwState;
}
DWORD StateOf(const MIB_TCP6ROW& row) {
    return static_cast<DWORD>(row.State);
}

// Whether a row of the system's TCP table (MIB_TCPTABLE or MIB_TCP6TABLE, read by call)
// listens on the port. The table may grow between asking its size and reading it (other
// programs open connections meanwhile): the read is tried again with the new size.
template <typename Table, typename Call>
bool TableListens(Call call, uint16_t port) {
    ULONG size = 0;
    if (call(NULL, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    std::vector<char> buffer;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 5 && result == ERROR_INSUFFICIENT_BUFFER; attempt++) {
        size += 64 * sizeof(MIB_TCP6ROW);  // room for rows that come meanwhile
        buffer.assign(size, 0);
        result = call(reinterpret_cast<Table*>(buffer.data()), &size, FALSE);
    }
    if (result != NO_ERROR) {
        return false;
    }
    auto table = reinterpret_cast<Table*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; i++) {
        if (StateOf(table->table[i]) == MIB_TCP_STATE_LISTEN &&
            ntohs(static_cast<u_short>(table->table[i].dwLocalPort)) == port) {
            return true;
        }
    }
    return false;
}

typedef ULONG(WINAPI* TcpTableCall)(MIB_TCPTABLE*, ULONG*, BOOL);
typedef ULONG(WINAPI* Tcp6TableCall)(MIB_TCP6TABLE*, ULONG*, BOOL);

}  // namespace

// iphlpapi.dll is no known system DLL: imported, the loader would look for it beside the
// program first, before the search is limited. It is loaded from the system folder instead.
bool MIsPortListened(uint16_t port) {
    static const HMODULE helper = MLoadSystemLibrary("iphlpapi.dll");
    if (helper == NULL) {
        return false;
    }
    static const auto tcp = reinterpret_cast<TcpTableCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(helper, "GetTcpTable")));
    static const auto tcp6 = reinterpret_cast<Tcp6TableCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(helper, "GetTcp6Table")));
    return (tcp != NULL && TableListens<MIB_TCPTABLE>(tcp, port)) ||
           (tcp6 != NULL && TableListens<MIB_TCP6TABLE>(tcp6, port));
}

bool MIsFamilyMissing(unsigned long error) {
    return error == WSAEAFNOSUPPORT || error == WSAEADDRNOTAVAIL || error == WSAEPFNOSUPPORT;
}
