// Fake peers of the disk query protocol on 127.0.0.1: wire bytes built by hand, a
// server that answers one connection with a script, and a reader of whole replies.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mlib/mresolve.h"
#include "net/fsw_socket.h"

// Big-endian bytes of a number.
std::string Be16(uint16_t value);
std::string Be32(uint32_t value);
std::string Be64(uint64_t value);
// A 12-byte header as it travels.
std::string WireHeader(uint16_t magic, uint16_t version, uint16_t type, uint16_t status,
                       uint32_t length);

// A whole disk request for the path, as the client sends it.
std::string DiskRequest(const std::string& path, uint16_t version = 2);
// A server's good reply to it: the volume's free and total bytes.
std::string DiskReply(uint64_t freeBytes, uint64_t totalBytes);

// Reads until the peer closes or a receive fails (the socket's time-out included);
// closedByPeer tells which.
std::string ReadUntilClosed(FswSocket* socket, bool* closedByPeer = nullptr);
// Connects a client socket to 127.0.0.1 at port.
bool ConnectLocal(FswSocket* socket, uint16_t port);
// A port of 127.0.0.1 that was free a moment ago.
uint16_t FreePort();
// Waits until a server listens on the port (Linux only); false if none does in time.
bool WaitForListening(uint16_t port, unsigned milliseconds);
// The same from another loopback address of this machine (127.0.0.2, ...), so that
// one test can be several peers.
bool ConnectLocalFrom(FswSocket* socket, uint16_t port, const char* source);
// Sends the request from the loopback address source and returns all the server sent
// back, "(no connection)" if it could not connect.
std::string AskFrom(uint16_t port, const char* source, const std::string& request);

// Sends the request to host (a name or an address of either family) at port and
// returns all the server sent back, "(no connection)" if it could not connect.
std::string AskAt(const char* host, uint16_t port, const std::string& request);

// While it lives, every name lookup of the process answers with the given addresses
// (port 0), in that order, as a resolver would.
class FixedResolver {
public:
    explicit FixedResolver(const std::vector<std::string>& addresses);
    ~FixedResolver();
    FixedResolver(const FixedResolver&) = delete;
    FixedResolver& operator=(const FixedResolver&) = delete;

private:
    static int Answer(const char* name, MAddressFamily family, MSocketAddress* found, int most);
    MHostResolver m_previous;
};

// A request sent on a connection of its own, its reply not yet read.
struct PendingRequest {
    std::unique_ptr<FswSocket> socket;  // with receive and send time-outs of 30 s
    std::chrono::steady_clock::time_point sent;
};
PendingRequest SendFrom(uint16_t port, const char* source, const std::string& request);
double SecondsSince(std::chrono::steady_clock::time_point start);

// A listener on an ephemeral port that serves one connection at a time by a script:
// read a number of bytes, send a reply, then close.
class FakeServer {
public:
    FakeServer();
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    uint16_t Port() const { return m_port; }
    // Serves the next connection: reads readBytes bytes (what arrives of them is kept),
    // sends reply (nothing if empty), one byte every trickleMilliseconds if not 0,
    // waits holdMilliseconds, closes. A client that closes ends the trickle and the
    // wait at once.
    void Serve(int readBytes, const std::string& reply, unsigned holdMilliseconds = 0,
               unsigned trickleMilliseconds = 0);
    // Waits for the connection being served to end; what its client sent.
    std::string Received();
    // Whether the connection being served has been accepted.
    bool Accepted() const { return m_accepted; }

private:
    FswSocket m_listener;
    uint16_t m_port;
    std::thread m_thread;
    std::string m_received;
    std::atomic<bool> m_accepted;
};

// While it lives, every name lookup of the process hangs, as with a name server that
// never answers. At its end the hung lookups are let go and waited for.
class HungResolver {
public:
    HungResolver();
    ~HungResolver();
    HungResolver(const HungResolver&) = delete;
    HungResolver& operator=(const HungResolver&) = delete;

    // Lets the hung lookups go now (failing) and waits at most the time until their
    // threads have ended; false if they did not.
    bool Release(unsigned milliseconds);

private:
    static int Hang(const char* name, MAddressFamily family, MSocketAddress* found, int most);
    MHostResolver m_previous;
};

// A listener whose queue is full and that never accepts: a connection attempt to it
// gets no answer at all, as with a host that is switched off.
class BlackHoleServer {
public:
    BlackHoleServer();
    uint16_t Port() const { return m_port; }

private:
    FswSocket m_listener;
    FswSocket m_queued[4];
    uint16_t m_port;
};

// A listener that serves many connections at once, each on a thread of its own: it reads a
// disk request and answers 500 of 1000 bytes free, after holdMilliseconds when the request
// is for slowPath (for every path when slowPath is empty), at once otherwise. It counts the
// connections it holds at a time.
class SlowServer {
public:
    explicit SlowServer(unsigned holdMilliseconds, const std::string& slowPath = "");
    ~SlowServer();
    SlowServer(const SlowServer&) = delete;
    SlowServer& operator=(const SlowServer&) = delete;

    uint16_t Port() const { return m_port; }
    int Peak() const { return m_peak; }  // requests held unanswered at once at most
    int Served() const { return m_served; }

private:
    void Answer(std::unique_ptr<FswSocket> connection);

    FswSocket m_listener;
    uint16_t m_port;
    unsigned m_holdMilliseconds;
    std::string m_slowPath;
    std::atomic<bool> m_stop;
    std::atomic<int> m_held;
    std::atomic<int> m_peak;
    std::atomic<int> m_served;
    std::thread m_acceptor;
    std::vector<std::thread> m_handlers;  // the acceptor's only
};
