// Fake peers of the disk query protocol.
#include "tests/support/fake_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#ifdef __linux__
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "mlib/msocket.h"
#include "net/ip_address.h"
#include "tests/support/test_support.h"

std::string Be16(uint16_t value) {
    std::string bytes;
    bytes += static_cast<char>(value >> 8);
    bytes += static_cast<char>(value & 0xFF);
    return bytes;
}

std::string Be32(uint32_t value) {
    return Be16(static_cast<uint16_t>(value >> 16)) + Be16(static_cast<uint16_t>(value));
}

std::string Be64(uint64_t value) {
    return Be32(static_cast<uint32_t>(value >> 32)) + Be32(static_cast<uint32_t>(value));
}

std::string WireHeader(uint16_t magic, uint16_t version, uint16_t type, uint16_t status,
                       uint32_t length) {
    return Be16(magic) + Be16(version) + Be16(type) + Be16(status) + Be32(length);
}

std::string DiskRequest(const std::string& path, uint16_t version) {
    return WireHeader(1825, version, 1, 0, static_cast<uint32_t>(path.size())) + path;
}

std::string DiskReply(uint64_t freeBytes, uint64_t totalBytes) {
    return WireHeader(1825, 2, 0, 256, 16) + Be64(freeBytes) + Be64(totalBytes);
}

std::string ReadUntilClosed(FswSocket* socket, bool* closedByPeer) {
    std::string bytes;
    char buffer[4096];
    for (;;) {
        int got = MRecv(socket->handle, buffer, sizeof buffer);
        if (got <= 0) {
            if (closedByPeer != nullptr) {
                *closedByPeer = got == 0;
            }
            return bytes;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

bool ConnectLocal(FswSocket* socket, uint16_t port) {
    return socket->Connect("127.0.0.1", port);
}

bool ConnectLocalFrom(FswSocket* socket, uint16_t port, const char* source) {
    if (!socket->Create(0)) {
        return false;
    }
    sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = MInetAddr(source);
#ifdef IP_BIND_ADDRESS_NO_PORT
    // The port is left to connect(), which only needs the four-tuple unique: a bind that
    // picks it scans every port bound on the address, and under the load benchmark's tens
    // of thousands of closed connections that scan, not the server, was the limit.
    int noPort = 1;
    setsockopt(socket->handle, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &noPort, sizeof noPort);
#endif
    memset(&socket->address, 0, sizeof socket->address);
    socket->address.v4.sin_family = AF_INET;
    socket->address.v4.sin_port = MHtons(port);
    socket->address.v4.sin_addr.s_addr = MInetAddr("127.0.0.1");
    if (MBind(socket->handle, &local) != 0 || MConnect(socket->handle, &socket->address) != 0) {
        socket->Close();
        return false;
    }
    return true;
}

std::string AskFrom(uint16_t port, const char* source, const std::string& request) {
    FswSocket client;
    if (!ConnectLocalFrom(&client, port, source)) {
        return "(no connection)";
    }
    client.SendAll(request.data(), static_cast<int>(request.size()));
    return ReadUntilClosed(&client);
}

std::string AskAt(const char* host, uint16_t port, const std::string& request) {
    FswSocket client;
    if (!client.Connect(host, port)) {
        return "(no connection)";
    }
    client.SendAll(request.data(), static_cast<int>(request.size()));
    return ReadUntilClosed(&client);
}

namespace {

std::vector<IpAddress> g_fixedAnswer;  // set while a FixedResolver lives, read by lookups

}  // namespace

FixedResolver::FixedResolver(const std::vector<std::string>& addresses) {
    g_fixedAnswer.clear();
    for (const std::string& text : addresses) {
        IpAddress address;
        EXPECT_TRUE(ParseIpAddress(text, &address)) << text;
        g_fixedAnswer.push_back(address);
    }
    m_previous = MSetHostResolver(Answer);
}

FixedResolver::~FixedResolver() {
    MSetHostResolver(m_previous);
}

// As the system's resolver: only the family asked for.
int FixedResolver::Answer(const char*, MAddressFamily family, MSocketAddress* found, int most) {
    int count = 0;
    for (const IpAddress& address : g_fixedAnswer) {
        bool wanted = family == M_FAMILY_ANY || (family == M_FAMILY_IPV6) == (address.family == 6);
        if (wanted && count < most) {
            found[count++] = SocketAddressOf(address, 0);
        }
    }
    return count;
}

PendingRequest SendFrom(uint16_t port, const char* source, const std::string& request) {
    PendingRequest pending{std::unique_ptr<FswSocket>(new FswSocket),
                           std::chrono::steady_clock::now()};
    if (ConnectLocalFrom(pending.socket.get(), port, source)) {
        MSetSocketTimeouts(pending.socket->handle, 30000);
        pending.socket->SendAll(request.data(), static_cast<int>(request.size()));
    }
    return pending;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

namespace {

// Listens on an ephemeral port of 127.0.0.1; the port, or 0.
uint16_t ListenLocal(FswSocket* listener, int backlog) {
    if (!listener->Create(6)) {
        return 0;
    }
    memset(&listener->address, 0, sizeof listener->address);
    listener->address.v4.sin_family = AF_INET;
    listener->address.v4.sin_addr.s_addr = MInetAddr("127.0.0.1");
    if (MBind(listener->handle, &listener->address) != 0 ||
        MListen(listener->handle, backlog) != 0) {
        listener->Close();
        return 0;
    }
    return MGetLocalPort(listener->handle);
}

}  // namespace

uint16_t FreePort() {
    FswSocket probe;
    return ListenLocal(&probe, 1);
}

// The kernel's tables of TCP sockets are read rather than a connection made: a
// connection would keep a handler of the server busy for nothing. A listener of both
// families shows in the IPv6 table only.
bool WaitForListening(uint16_t port, unsigned milliseconds) {
    char local[16];
    snprintf(local, sizeof local, ":%04X ", unsigned{port});
    auto listensIn = [&](const char* file, size_t remoteLength) {
        std::string table = ReadFileBytes(file);
        for (size_t at = table.find(local); at != std::string::npos;
             at = table.find(local, at + 1)) {
            // local address, remote address, then the state: 0A is LISTEN.
            if (table.compare(at + 6 + remoteLength, 3, " 0A") == 0) {
                return true;
            }
        }
        return false;
    };
    return WaitUntil(
        [&] { return listensIn("/proc/net/tcp", 13) || listensIn("/proc/net/tcp6", 37); },
        milliseconds);
}

FakeServer::FakeServer() : m_port(ListenLocal(&m_listener, 16)), m_accepted(false) {}

// The queue of a listener with backlog 0 holds a connection or two; once those are
// made, further attempts are dropped unanswered.
BlackHoleServer::BlackHoleServer() : m_port(ListenLocal(&m_listener, 0)) {
    MSocketAddress address = m_listener.address;
    address.v4.sin_port = MHtons(m_port);
    for (FswSocket& queued : m_queued) {
        if (!queued.Create(0) || !MSetSocketTimeouts(queued.handle, 300) ||
            MConnect(queued.handle, &address) != 0) {
            break;  // the queue is full
        }
    }
}

// A connection of its own unblocks a script still waiting in accept.
FakeServer::~FakeServer() {
    if (m_thread.joinable()) {
        FswSocket unblock;
        ConnectLocal(&unblock, m_port);
        m_thread.join();
    }
}

namespace {

// Waits at most the time for the client to close, reading what else it sends; true if
// it closed.
bool ClientClosedWithin(FswSocket* connection, unsigned milliseconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        end - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            return false;
        }
        if (MWaitSocket(connection->handle, M_WAIT_READ, static_cast<unsigned>(left)) == 1) {
            char bytes[256];
            if (MRecv(connection->handle, bytes, sizeof bytes) <= 0) {
                return true;
            }
        }
    }
}

}  // namespace

void FakeServer::Serve(int readBytes, const std::string& reply, unsigned holdMilliseconds,
                       unsigned trickleMilliseconds) {
    Received();
    m_received.clear();
    m_accepted = false;
    m_thread = std::thread([this, readBytes, reply, holdMilliseconds, trickleMilliseconds] {
        FswSocket connection;
        connection.handle = MAccept(m_listener.handle, &connection.address);
        if (connection.handle == M_INVALID_SOCKET || !connection.SetTimeouts()) {
            return;
        }
        m_accepted = true;
        std::string got;
        char buffer[4096];
        while (static_cast<int>(got.size()) < readBytes) {
            int wanted = readBytes - static_cast<int>(got.size());
            int room = static_cast<int>(sizeof buffer);
            int n = MRecv(connection.handle, buffer, wanted < room ? wanted : room);
            if (n <= 0) {
                break;
            }
            got.append(buffer, static_cast<size_t>(n));
        }
        m_received = got;
        if (trickleMilliseconds == 0 && !reply.empty()) {
            connection.SendAll(reply.data(), static_cast<int>(reply.size()));
        }
        for (size_t i = 0; trickleMilliseconds > 0 && i < reply.size(); i++) {
            if (connection.SendAll(&reply[i], 1) != 1 ||
                ClientClosedWithin(&connection, trickleMilliseconds)) {
                return;
            }
        }
        if (holdMilliseconds > 0 && ClientClosedWithin(&connection, holdMilliseconds)) {
            return;
        }
        MShutdown(connection.handle, M_SD_BOTH);
    });
}

std::string FakeServer::Received() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_received;
}

namespace {

std::mutex g_hangLock;
std::condition_variable g_hangEnded;
bool g_hanging = false;

}  // namespace

HungResolver::HungResolver() {
    {
        std::lock_guard<std::mutex> hold(g_hangLock);
        g_hanging = true;
    }
    m_previous = MSetHostResolver(Hang);
}

HungResolver::~HungResolver() {
    Release(10000);
    MSetHostResolver(m_previous);
}

bool HungResolver::Release(unsigned milliseconds) {
    {
        std::lock_guard<std::mutex> hold(g_hangLock);
        g_hanging = false;
    }
    g_hangEnded.notify_all();
    return WaitUntil([] { return MRunningLookups() == 0; }, milliseconds);
}

int HungResolver::Hang(const char*, MAddressFamily, MSocketAddress*, int) {
    std::unique_lock<std::mutex> hold(g_hangLock);
    g_hangEnded.wait(hold, [] { return !g_hanging; });
    return 0;
}

SlowServer::SlowServer(unsigned holdMilliseconds, const std::string& slowPath)
    : m_port(ListenLocal(&m_listener, 128)),
      m_holdMilliseconds(holdMilliseconds),
      m_slowPath(slowPath),
      m_stop(false),
      m_held(0),
      m_peak(0),
      m_served(0) {
    m_acceptor = std::thread([this] {
        while (!m_stop) {
            std::unique_ptr<FswSocket> connection(new FswSocket);
            connection->handle = MAccept(m_listener.handle, &connection->address);
            if (m_stop || connection->handle == M_INVALID_SOCKET) {
                break;
            }
            int held = ++m_held;
            for (int peak = m_peak; held > peak && !m_peak.compare_exchange_weak(peak, held);) {
            }
            m_handlers.emplace_back(&SlowServer::Answer, this, std::move(connection));
        }
    });
}

void SlowServer::Answer(std::unique_ptr<FswSocket> connection) {
    std::string path;
    char header[12];
    if (connection->SetTimeouts() && connection->RecvAll(header, sizeof header) == 12) {
        size_t length = (static_cast<size_t>(static_cast<unsigned char>(header[10])) << 8) |
                        static_cast<unsigned char>(header[11]);
        path.resize(length);
        if (length == 0 || connection->RecvAll(&path[0], static_cast<int>(length)) > 0) {
            if (m_slowPath.empty() || path == m_slowPath) {
                for (unsigned waited = 0; waited < m_holdMilliseconds && !m_stop; waited += 10) {
                    MSleep(10);
                }
            }
            // Uncounted before the answer goes out: the client's next connection can
            // only come after it.
            m_held--;
            m_served++;
            std::string reply = DiskReply(500, 1000);
            connection->SendAll(reply.data(), static_cast<int>(reply.size()));
            connection->Close();
            return;
        }
    }
    m_held--;
    connection->Close();
}

// A connection of its own unblocks the acceptor.
SlowServer::~SlowServer() {
    m_stop = true;
    FswSocket unblock;
    ConnectLocal(&unblock, m_port);
    m_acceptor.join();
    for (std::thread& handler : m_handlers) {
        handler.join();
    }
}
