// The socket wrapper.
#include "net/fsw_socket.h"

#include <cstring>
#include <string>

#include "app/host_entry.h"
#include "mlib/mresolve.h"
#include "mlib/msocket.h"
#include "net/ip_address.h"
#include "net/query_cancel.h"

FswSocket::FswSocket()
    : handle(M_INVALID_SOCKET),
      address(MEmptyAddress()),
      m_cancel(nullptr),
      m_family(M_FAMILY_ANY),
      m_resolved(false) {}

FswSocket::~FswSocket() {
    Close();
}

// A watched socket is unregistered before it is closed, so a stop never shuts down a
// handle that the system has meanwhile given to someone else.
void FswSocket::Close() {
    if (handle != M_INVALID_SOCKET) {
        if (m_cancel != nullptr) {
            m_cancel->Forget(handle);
        }
        MCloseSocket(handle);
        handle = M_INVALID_SOCKET;
    }
}

bool FswSocket::Create(int protocol) {
    return CreateOf(AF_INET, protocol);
}

bool FswSocket::CreateOf(int family, int protocol) {
    if (handle != M_INVALID_SOCKET) {
        MShutdown(handle, M_SD_BOTH);
        Close();
    }
    handle = MCreateSocketOf(family, protocol);
    if (handle == M_INVALID_SOCKET) {
        return false;
    }
    if (m_cancel != nullptr && !m_cancel->Watch(handle)) {
        MCloseSocket(handle);  // the stop came first
        handle = M_INVALID_SOCKET;
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

// The blocking form of ConnectBefore, for the plain loops RecvAll and SendAll.
bool FswSocket::Connect(const char* host, uint16_t port) {
    SocketDeadline deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * SOCKET_TIMEOUT_MS);
    if (ConnectBefore(host, port, deadline) != SOCKET_DONE) {
        return false;
    }
    if (!MSetNonBlocking(handle, false)) {
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

typedef std::chrono::steady_clock Clock;

// How long one wait lasts at most while a stop signal is watched: a socket shut down by
// another thread ends a wait at once here, but not on every platform.
const unsigned STOP_CHECK_MS = 100;

// Milliseconds from now until a moment, 0 when it has passed.
unsigned MillisecondsUntil(SocketDeadline moment) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(moment - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<unsigned>(left);
}

SocketDeadline OneTimeoutFromNow() {
    return Clock::now() + std::chrono::milliseconds(SOCKET_TIMEOUT_MS);
}

SocketDeadline Earlier(SocketDeadline a, SocketDeadline b) {
    return a < b ? a : b;
}

}  // namespace

// Once the stop is given, data that is already there is still read (one look without
// waiting): a server answers a request that came whole before its stop.
SocketOutcome FswSocket::WaitReady(MSocketWait what, SocketDeadline until) {
    for (;;) {
        bool cancelled = m_cancel != nullptr && m_cancel->IsCancelled();
        if (cancelled && what != M_WAIT_READ) {
            return SOCKET_CANCELLED;
        }
        unsigned left = MillisecondsUntil(until);
        if (left == 0 && !cancelled) {
            return SOCKET_TIMED_OUT;
        }
        if (m_cancel != nullptr && left > STOP_CHECK_MS) {
            left = STOP_CHECK_MS;
        }
        int ready = MWaitSocket(handle, what, cancelled ? 0 : left);
        if (ready == M_SOCKET_ERROR) {
            return SOCKET_FAILED;
        }
        if (ready == 1) {
            return SOCKET_DONE;
        }
        if (cancelled) {
            return SOCKET_CANCELLED;
        }
    }
}

// A literal address is used as it is (an IPv4 one as inet_addr reads it, as always);
// anything else is looked up. Text with a colon or a bracket that is no IPv6 address
// ("[[::1]]", "srv:50801") names no server.
SocketOutcome FswSocket::Resolve(const char* host, SocketDeadline deadline, MResolved* found) {
    if (!IsHostText(host)) {
        return SOCKET_FAILED;
    }
    std::string name = WithoutBrackets(host);
    IpAddress literal;
    uint32_t ip = MInetAddr(name.c_str());
    if (ip != M_INADDR_NONE || ParseIpAddress(name, &literal)) {
        if (ip != M_INADDR_NONE) {
            literal.family = 4;
            memcpy(literal.bytes, &ip, sizeof ip);
        }
        bool wanted =
            m_family == M_FAMILY_ANY || (m_family == M_FAMILY_IPV4) == (literal.family == 4);
        found->count = wanted ? 1 : 0;
        found->addresses[0] = SocketAddressOf(literal, 0);
        return wanted ? SOCKET_DONE : SOCKET_FAILED;
    }
    switch (MResolveHostBefore(name.c_str(), m_family, found, deadline,
                               m_cancel != nullptr ? m_cancel->Flag() : nullptr)) {
        case M_RESOLVE_FOUND:
            return SOCKET_DONE;
        case M_RESOLVE_TIMED_OUT:
            return SOCKET_TIMED_OUT;
        case M_RESOLVE_CANCELLED:
            return SOCKET_CANCELLED;
        default:
            return SOCKET_FAILED;
    }
}

SocketOutcome FswSocket::ConnectTo(const MSocketAddress& to, SocketDeadline deadline) {
    if (!CreateOf(to.Family(), 0)) {
        return m_cancel != nullptr && m_cancel->IsCancelled() ? SOCKET_CANCELLED : SOCKET_FAILED;
    }
    address = to;
    SocketOutcome outcome = SOCKET_DONE;
    int started = MSetNonBlocking(handle, true) ? MStartConnect(handle, &address) : M_SOCKET_ERROR;
    if (started == 1) {
        outcome = WaitReady(M_WAIT_CONNECT, Earlier(deadline, OneTimeoutFromNow()));
        if (outcome == SOCKET_DONE && MFinishConnect(handle) != 0) {
            outcome = SOCKET_FAILED;
        }
    } else if (started != 0) {
        outcome = SOCKET_FAILED;
    }
    if (outcome == SOCKET_FAILED && m_cancel != nullptr && m_cancel->IsCancelled()) {
        outcome = SOCKET_CANCELLED;  // the failure is the stop's shutdown
    }
    if (outcome != SOCKET_DONE) {
        Close();
    }
    return outcome;
}

// The addresses are tried in turn while the deadline allows: one that refuses or does
// not answer within a time-out gives way to the next.
SocketOutcome FswSocket::ConnectBefore(const char* host, uint16_t port, SocketDeadline deadline) {
    if (handle != M_INVALID_SOCKET) {
        MShutdown(handle, M_SD_BOTH);
        Close();
    }
    address = MEmptyAddress();
    m_resolved = false;
    if (m_cancel != nullptr && m_cancel->IsCancelled()) {
        return SOCKET_CANCELLED;
    }
    char name[128];
    CopyField(name, sizeof name, host);  // a longer name is cut to 127 bytes
    MResolved found;
    SocketOutcome outcome = Resolve(name, deadline, &found);
    m_resolved = outcome == SOCKET_DONE && found.count > 0;
    for (int i = 0; outcome == SOCKET_DONE && i < found.count; i++) {
        MSocketAddress to = SocketAddressOf(AddressOfSocket(found.addresses[i]), port);
        outcome = ConnectTo(to, deadline);
        bool another = i + 1 < found.count && Clock::now() < deadline;
        if (outcome == SOCKET_DONE) {
            return outcome;
        }
        if (outcome != SOCKET_CANCELLED && another) {
            outcome = SOCKET_DONE;  // the next address is tried
        }
    }
    if (outcome == SOCKET_DONE) {
        outcome = SOCKET_FAILED;  // no address, or none answered
    }
    address = MEmptyAddress();
    return outcome;
}

// Each wait ends at the deadline or after one time-out without progress, whichever
// comes first. A failure after a stop counts as the stop's, since the stop is what
// shut the socket down.
int FswSocket::MoveAllBefore(char* into, const char* from, int least, int most,
                             SocketDeadline deadline, SocketOutcome* outcome) {
    bool receive = into != nullptr;
    SocketOutcome ended = SOCKET_FAILED;
    int total = 0;
    if (least > 0 && handle != M_INVALID_SOCKET) {
        SocketDeadline idleEnd = OneTimeoutFromNow();
        ended = SOCKET_DONE;
        while (total < least && ended == SOCKET_DONE) {
            ended = WaitReady(receive ? M_WAIT_READ : M_WAIT_WRITE, Earlier(deadline, idleEnd));
            if (ended != SOCKET_DONE) {
                break;
            }
            int r = receive ? MRecv(handle, into + total, most - total)
                            : MSend(handle, from + total, most - total);
            if (r == M_SOCKET_ERROR && MLastCallWouldBlock()) {
                continue;
            }
            if (r == M_SOCKET_ERROR || r == 0) {
                ended = SOCKET_FAILED;
                break;
            }
            total += r;
            idleEnd = OneTimeoutFromNow();
        }
    }
    if (ended == SOCKET_FAILED && m_cancel != nullptr && m_cancel->IsCancelled()) {
        ended = SOCKET_CANCELLED;
    }
    if (outcome != nullptr) {
        *outcome = ended;
    }
    return ended == SOCKET_DONE ? total : -1;
}

int FswSocket::RecvAllBefore(char* buffer, int n, SocketDeadline deadline, SocketOutcome* outcome) {
    return MoveAllBefore(buffer, nullptr, n, n, deadline, outcome);
}

int FswSocket::RecvAtLeastBefore(char* buffer, int least, int most, SocketDeadline deadline,
                                 SocketOutcome* outcome) {
    return MoveAllBefore(buffer, nullptr, least, most < least ? least : most, deadline, outcome);
}

int FswSocket::SendAllBefore(const char* buffer, int n, SocketDeadline deadline,
                             SocketOutcome* outcome) {
    return MoveAllBefore(nullptr, buffer, n, n, deadline, outcome);
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
