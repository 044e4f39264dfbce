// The socket seam on BSD sockets.
#include "mlib/msocket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

MSocket MCreateSocket(int protocol) {
    return MCreateSocketOf(AF_INET, protocol);
}

MSocket MCreateSocketOf(int family, int protocol) {
    int s = socket(family, SOCK_STREAM | SOCK_CLOEXEC, protocol);
    return s < 0 ? M_INVALID_SOCKET : s;
}

bool MSetIPv6Only(MSocket socket, bool only) {
    int value = only ? 1 : 0;
    return setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, &value, sizeof value) == 0;
}

bool MSetSocketTimeouts(MSocket socket, unsigned milliseconds) {
    struct timeval limit;
    limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
    limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
    return setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0 &&
           setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

bool MSetReceiveTimeout(MSocket socket, unsigned milliseconds) {
    struct timeval limit;
    limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
    limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
    return setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

uint32_t MInetAddr(const char* text) {
    return static_cast<uint32_t>(inet_addr(text));
}

namespace {

bool IsListening(int socket) {
    int listening = 0;
    socklen_t length = sizeof listening;
    return getsockopt(socket, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 &&
           listening != 0;
}

}  // namespace

// The send time-out bounds a blocking connect here; when it passes, connect answers
// EINPROGRESS and the attempt goes on in the background until the socket is closed.
int MConnect(MSocket socket, const MSocketAddress* address) {
    if (connect(socket, &address->any, static_cast<socklen_t>(address->Length())) == 0) {
        return 0;
    }
    if (errno == EINPROGRESS || errno == EAGAIN || errno == EINTR) {
        errno = ETIMEDOUT;
    }
    return M_SOCKET_ERROR;
}

int MWaitSocket(MSocket socket, MSocketWait what, unsigned milliseconds) {
    struct pollfd watched;
    watched.fd = socket;
    watched.events = what == M_WAIT_READ ? POLLIN : POLLOUT;
    watched.revents = 0;
    int limit = milliseconds == M_WAIT_FOREVER ? -1
                : milliseconds > 0x7FFFFFFFu   ? 0x7FFFFFFF
                                               : static_cast<int>(milliseconds);
    int ready = poll(&watched, 1, limit);
    if (ready < 0) {
        return errno == EINTR ? 0 : M_SOCKET_ERROR;
    }
    if (ready > 0 && (watched.revents & POLLNVAL) != 0) {
        errno = EBADF;
        return M_SOCKET_ERROR;
    }
    return ready > 0 ? 1 : 0;
}

bool MSetNonBlocking(MSocket socket, bool nonBlocking) {
    int flags = fcntl(socket, F_GETFL);
    if (flags < 0) {
        return false;
    }
    flags = nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    return fcntl(socket, F_SETFL, flags) == 0;
}

// A connect cut short by a signal goes on in the background, as one in progress does.
int MStartConnect(MSocket socket, const MSocketAddress* address) {
    if (connect(socket, &address->any, static_cast<socklen_t>(address->Length())) == 0) {
        return 0;
    }
    return errno == EINPROGRESS || errno == EINTR ? 1 : M_SOCKET_ERROR;
}

int MFinishConnect(MSocket socket) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return M_SOCKET_ERROR;
    }
    if (error != 0) {
        errno = error;
        return M_SOCKET_ERROR;
    }
    return 0;
}

bool MLastCallWouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

int MSend(MSocket socket, const char* buffer, int length) {
    for (;;) {
        ssize_t sent = send(socket, buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        return sent < 0 ? M_SOCKET_ERROR : static_cast<int>(sent);
    }
}

int MRecv(MSocket socket, char* buffer, int length) {
    for (;;) {
        ssize_t received = recv(socket, buffer, static_cast<size_t>(length), 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        return received < 0 ? M_SOCKET_ERROR : static_cast<int>(received);
    }
}

// Here shutting a listener down for receiving would end its accept at once; Winsock
// refuses it (WSAENOTCONN), and so does this. A shutdown of both directions ends it.
int MShutdown(MSocket socket, MShutdownHow how) {
    if (how == M_SD_RECEIVE && IsListening(socket)) {
        errno = ENOTCONN;
        return M_SOCKET_ERROR;
    }
    int native = how == M_SD_RECEIVE ? SHUT_RD : how == M_SD_SEND ? SHUT_WR : SHUT_RDWR;
    return shutdown(socket, native);
}

// Winsock lets a listener bind a port whose earlier connections are still closing
// (TIME_WAIT); here that takes SO_REUSEADDR, which still refuses a second listener.
int MBind(MSocket socket, const MSocketAddress* address) {
    int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    return bind(socket, &address->any, static_cast<socklen_t>(address->Length()));
}

int MListen(MSocket socket, int backlog) {
    return listen(socket, backlog);
}

// The receive time-out of a listening socket bounds accept here, but not in Winsock:
// a wait that merely timed out goes on. The accepted socket inherits both time-outs.
MSocket MAccept(MSocket socket, MSocketAddress* peer) {
    for (;;) {
        *peer = MEmptyAddress();
        socklen_t length = sizeof peer->storage;
        int accepted = accept4(socket, &peer->any, &length, SOCK_CLOEXEC);
        if (accepted < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        return accepted < 0 ? M_INVALID_SOCKET : accepted;
    }
}

// Threads waiting here on the same listeners all wake for one connection; those that
// find it taken come back empty-handed (EAGAIN) rather than block in accept. A
// listener shut down by the stop wakes them too. The accepted socket is blocking here
// anyway: accept4 does not pass the listener's O_NONBLOCK on.
MSocket MAcceptFirst(const MSocket* listeners, int count, MSocketAddress* peer,
                     unsigned milliseconds) {
    struct pollfd watched[4];
    int n = count < 4 ? count : 4;
    for (int i = 0; i < n; i++) {
        watched[i].fd = listeners[i];
        watched[i].events = POLLIN;
        watched[i].revents = 0;
    }
    int limit = milliseconds > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(milliseconds);
    int ready = poll(watched, static_cast<nfds_t>(n), limit);
    if (ready <= 0) {
        errno = ready == 0 || errno == EINTR ? EAGAIN : errno;
        return M_INVALID_SOCKET;
    }
    for (int i = 0; i < n; i++) {
        if (watched[i].revents == 0) {
            continue;
        }
        *peer = MEmptyAddress();
        socklen_t length = sizeof peer->storage;
        int accepted = accept4(listeners[i], &peer->any, &length, SOCK_CLOEXEC);
        if (accepted >= 0) {
            return accepted;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return M_INVALID_SOCKET;
        }
    }
    errno = EAGAIN;
    return M_INVALID_SOCKET;
}

bool MIsResourceShortage(unsigned long error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

bool MIsAcceptTransient(unsigned long error) {
    return error == ECONNABORTED || error == EAGAIN || error == EWOULDBLOCK || error == EINTR ||
           error == EPROTO;
}

bool MIsAddressInUse(unsigned long error) {
    return error == EADDRINUSE;
}

bool MIsPortRefused(unsigned long) {
    return false;
}

bool MIsPortListened(uint16_t) {
    return false;
}

bool MIsFamilyMissing(unsigned long error) {
    return error == EAFNOSUPPORT || error == EADDRNOTAVAIL || error == EPFNOSUPPORT;
}
