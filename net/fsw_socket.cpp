// The socket wrapper.
#include "net/fsw_socket.h"

#include <cstring>

#include "app/host_entry.h"
#include "mlib/msocket.h"

FswSocket::FswSocket() : handle(M_INVALID_SOCKET) {
    memset(&address, 0, sizeof address);
}

FswSocket::~FswSocket() {
    Close();
}

void FswSocket::Close() {
    if (handle != M_INVALID_SOCKET) {
        MCloseSocket(handle);
        handle = M_INVALID_SOCKET;
    }
}

bool FswSocket::Create(int protocol) {
    if (handle != M_INVALID_SOCKET) {
        MShutdown(handle, M_SD_BOTH);
        Close();
    }
    handle = MCreateSocket(protocol);
    if (handle == M_INVALID_SOCKET) {
        return false;
    }
    if (!SetTimeouts()) {
        Close();
        return false;
    }
    return true;
}

bool FswSocket::SetTimeouts() {
    return handle != M_INVALID_SOCKET && MSetSocketTimeouts(handle, SOCKET_TIMEOUT_MS);
}

bool FswSocket::Connect(const char* host, uint16_t port) {
    if (handle != M_INVALID_SOCKET) {
        MShutdown(handle, M_SD_BOTH);
        Close();
    }
    memset(&address, 0, sizeof address);
    if (!Create(0)) {
        return false;
    }
    char name[128];
    CopyField(name, sizeof name, host);  // a longer name is cut to 127 bytes
    address.sin_family = AF_INET;
    address.sin_port = MHtons(port);
    uint32_t ip = MInetAddr(name);
    if (ip == M_INADDR_NONE && !MResolveHostIPv4(name, &ip)) {
        Close();
        return false;
    }
    memcpy(&address.sin_addr, &ip, sizeof ip);
    if (MConnect(handle, &address) != 0) {  // bounded by the send time-out
        Close();
        return false;
    }
    return true;
}

// A failure or a closing peer fails the whole call; what came before is not reported.
int FswSocket::RecvAll(char* buffer, int n) {
    if (n <= 0 || handle == M_INVALID_SOCKET) {
        return -1;
    }
    int total = 0;
    while (total < n) {
        int r = MRecv(handle, buffer + total, n - total);
        if (r == M_SOCKET_ERROR || r == 0) {
            return -1;
        }
        total += r;
    }
    return total;
}

namespace {

// Milliseconds from now until a moment, 0 when it has passed.
unsigned MillisecondsUntil(SocketDeadline moment) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    moment - std::chrono::steady_clock::now())
                    .count();
    return left <= 0 ? 0 : static_cast<unsigned>(left);
}

}  // namespace

// Each wait ends at the deadline or after one time-out without data, whichever comes
// first; a wait cut short (a signal) is simply taken up again.
int FswSocket::RecvAllBefore(char* buffer, int n, SocketDeadline deadline) {
    if (n <= 0 || handle == M_INVALID_SOCKET) {
        return -1;
    }
    int total = 0;
    SocketDeadline idleEnd =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(SOCKET_TIMEOUT_MS);
    while (total < n) {
        unsigned left = MillisecondsUntil(deadline < idleEnd ? deadline : idleEnd);
        if (left == 0) {
            return -1;
        }
        int ready = MWaitSocket(handle, M_WAIT_READ, left);
        if (ready == M_SOCKET_ERROR) {
            return -1;
        }
        if (ready == 0) {
            continue;
        }
        int r = MRecv(handle, buffer + total, n - total);
        if (r == M_SOCKET_ERROR || r == 0) {
            return -1;
        }
        total += r;
        idleEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(SOCKET_TIMEOUT_MS);
    }
    return total;
}

int FswSocket::SendAll(const char* buffer, int n) {
    if (n <= 0 || handle == M_INVALID_SOCKET) {
        return -1;
    }
    int total = 0;
    while (total < n) {
        int r = MSend(handle, buffer + total, n - total);
        if (r == M_SOCKET_ERROR || r == 0) {
            return -1;
        }
        total += r;
    }
    return total;
}
