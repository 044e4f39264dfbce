// The disk server: the listening socket, the handler pool and the stop.
#include "net/server.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/kiv.h"
#include "mlib/mcodepage.h"
#include "mlib/mdisk.h"
#include "mlib/mlogtext.h"
#include "mlib/msocket.h"
#include "net/disk_guard.h"
#include "net/growth_wire.h"
#include "net/http_request.h"
#include "net/http_server.h"
#include "net/peer_access.h"
#include "net/protocol.h"
#include "net/volume_list.h"

namespace {

typedef std::chrono::steady_clock Clock;

// Connections the system may hold until a thread accepts them. A queue of 5
// overflows as soon as one cycle queries more than five targets on the same server:
// further connections are then refused (Windows) or wait a second for a retry.
const int LISTEN_BACKLOG = 64;
// How long a thread rests when accept fails for lack of resources, which a retry at
// once would not find either.
const unsigned ACCEPT_PAUSE_MS = 100;
// How long a thread waits on two listening sockets before it looks for the stop.
const unsigned STOP_CHECK_MS = 200;

// How long the server waits before it tries again to listen where it could not: 10 s,
// as its log line says, unless a test shortens it.
std::atomic<unsigned> g_listenRetryMs{10000};

// The pages HTTP requests get, where WEB is 1; null: none.
std::atomic<WebPages*> g_webPages{nullptr};

// The most the system is taken to allow; a test lowers it to take the ways of systems
// that allow less.
std::atomic<int> g_listenerFamilies{LISTEN_BOTH_ON_ONE_SOCKET};

// The folder-growth source of the next run of the server; null: GROWTH is off.
std::atomic<GrowthSource*> g_growthSource{nullptr};

IpAddress PeerOf(const FswSocket* connection) {
    return Unmapped(AddressOfSocket(connection->address));
}

std::string PeerText(const IpAddress& peer) {
    return MEscapeForLog(FormatIpAddress(peer));
}

std::string Trimmed(const char* text) {
    std::string value = text;
    size_t begin = value.find_first_not_of(" \t");
    size_t end = value.find_last_not_of(" \t");
    return begin == std::string::npos ? "" : value.substr(begin, end - begin + 1);
}

// Whether an IPv6 address is link-local (fe80::/10): it names an address on one link,
// which a bind needs a zone for, and SVADDR has none.
bool IsLinkLocal(const IpAddress& address) {
    return address.family == 6 && address.bytes[0] == 0xfe && (address.bytes[1] & 0xc0) == 0x80;
}

// Whether an address is the unspecified one of its family (0.0.0.0, ::).
bool IsUnspecified(const IpAddress& address) {
    for (uint8_t byte : address.bytes) {
        if (byte != 0) {
            return false;
        }
    }
    return true;
}

// How an attempt to listen ended.
enum ListenOutcome : int {
    LISTENING,
    LISTEN_REFUSED,  // SVADDR cannot be listened on: the server stays down
    LISTEN_RETRY,    // the address or port is not to be had now: try again later
    LISTEN_STOPPED,  // the stop came meanwhile
};

// Why a listening socket could not be set up.
struct ListenFailure {
    bool bindFailed = false;  // the bind, rather than a step before it
    unsigned long error = 0;
};

// One listening socket of the family bound to the address and port; M_INVALID_SOCKET
// and what failed on failure.
MSocket OpenListener(const IpAddress& address, uint16_t port, bool v6Only, ListenFailure* failure) {
    MSocket listener = MCreateSocketOf(address.family == 6 ? AF_INET6 : AF_INET, 6);
    if (listener == M_INVALID_SOCKET) {
        failure->error = MGetLastError();
        return listener;
    }
    MSocketAddress local = SocketAddressOf(address, port);
    bool ready = MSetSocketTimeouts(listener, SOCKET_TIMEOUT_MS) &&
                 (address.family == 4 || MSetIPv6Only(listener, v6Only));
    if (ready && MBind(listener, &local) != 0) {
        failure->bindFailed = true;
        ready = false;
    }
    if (ready && MListen(listener, LISTEN_BACKLOG) == 0) {
        return listener;
    }
    failure->error = MGetLastError();
    MCloseSocket(listener);
    return M_INVALID_SOCKET;
}

// The sockets of every address: one of both families where the system allows it, else
// an IPv6-only one and an IPv4 one; IPv4 alone where the machine has no IPv6, with no
// line of its own.
bool OpenEveryAddress(uint16_t port, MSocket* sockets, ListenFailure* failure) {
    IpAddress anyV6;
    anyV6.family = 6;
    int families = g_listenerFamilies;
    ListenFailure v6Failure;
    if (families == LISTEN_BOTH_ON_ONE_SOCKET) {
        sockets[0] = OpenListener(anyV6, port, false, &v6Failure);
        if (sockets[0] != M_INVALID_SOCKET) {
            return true;
        }
    }
    bool noIPv6 = families == LISTEN_IPV4_ONLY || MIsFamilyMissing(v6Failure.error);
    if (!noIPv6 && !v6Failure.bindFailed) {
        // One socket cannot take both families here.
        sockets[0] = OpenListener(anyV6, port, true, &v6Failure);
        noIPv6 = sockets[0] == M_INVALID_SOCKET && MIsFamilyMissing(v6Failure.error);
    }
    if (noIPv6) {
        sockets[0] = OpenListener(IPv4Of(0), port, false, failure);
        return sockets[0] != M_INVALID_SOCKET;
    }
    if (sockets[0] == M_INVALID_SOCKET) {
        *failure = v6Failure;  // the port is taken, say
        return false;
    }
    // The port the first one has, which the system chose where port is 0.
    sockets[1] = OpenListener(IPv4Of(0), MGetLocalPort(sockets[0]), false, failure);
    if (sockets[1] == M_INVALID_SOCKET) {
        MCloseSocket(sockets[0]);
        sockets[0] = M_INVALID_SOCKET;
        return false;
    }
    return true;
}

// Where the server listens: every local address, or the one SVADDR names.
struct ListenTarget {
    bool everyAddress = true;
    IpAddress address;
};

// The target SVADDR names (every local address when it is empty), or the line that says
// why it cannot be listened on, which no retry would change; empty when there is a target.
std::string CheckListenAddress(const char* setting, ListenTarget* target) {
    std::string wanted = Trimmed(setting);
    target->everyAddress = wanted.empty();
    if (wanted.empty()) {
        return "";
    }
    std::string shown = " (" + MEscapeForLog(wanted) + ")";
    if (!ParseIpAddress(wanted, &target->address)) {
        return "SVADDR の値が正しくないため、待ち受けできません" + shown;
    }
    target->address = Unmapped(target->address);
    if (!CanBeLocalAddress(target->address)) {
        return "SVADDR の値はこのマシンのアドレスになりえないため、待ち受けできません" + shown;
    }
    if (IsLinkLocal(target->address)) {
        return "SVADDR のリンクローカルアドレスはゾーンを指定できないため、待ち受けできません" +
               shown;
    }
    return "";
}

// The listening sockets of the target: sockets[0], and sockets[1] beside it where one
// socket cannot take both families; false and what failed when they cannot be had.
bool OpenTarget(const ListenTarget& target, uint16_t port, MSocket* sockets,
                ListenFailure* failure) {
    if (target.everyAddress) {
        return OpenEveryAddress(port, sockets, failure);
    }
    sockets[0] = OpenListener(target.address, port, true, failure);
    return sockets[0] != M_INVALID_SOCKET;
}

// What a failure to listen leads to: a port or address not to be had now, or a lack of
// resources, is tried again (its line written when logFailure is set, once for a run of
// retries); anything else keeps the server down, with its line.
ListenOutcome OnListenFailure(Kiv* app, const ListenFailure& failure, uint16_t port,
                              bool logFailure) {
    unsigned long error = failure.error;
    // Windows refuses a port that another socket holds for itself alone like one of its
    // own reserved ranges; only a listener on the port tells them apart. listen() too
    // may find the port taken, where the system checks it only then.
    bool inUse = MIsAddressInUse(error) || (MIsPortRefused(error) && MIsPortListened(port));
    if (!failure.bindFailed && !inUse && !MIsResourceShortage(error)) {
        app->Log("socket() error!");
        return LISTEN_REFUSED;
    }
    if (logFailure && inUse) {
        // The holder may be another copy of fsw, or any other program.
        app->Log(
            "ポート %u は他のプログラムか fsw の別のコピーが使用しています。"
            "空くまで10秒ごとに確かめます",
            unsigned{port});
    } else if (logFailure && MIsPortRefused(error)) {
        // Hyper-V, WSL and Docker reserve ranges of the dynamic ports for themselves.
        app->Log(
            "ポート %u はシステムに予約された範囲にあるため使えません。"
            "\"netsh int ipv4 show excludedportrange protocol=tcp\" で確認できます。"
            "10秒ごとに再試行します",
            unsigned{port});
    } else if (logFailure) {
        char text[256];
        GetErrorText(text, error, sizeof text);
        app->Log("待ち受けできません。10秒ごとに再試行します (%s)", text);
    }
    return LISTEN_RETRY;
}

// Hands the sockets to m_listenSocket and m_listenSocketIPv4, with the lines that say
// where the server listens; closes them instead if the stop came meanwhile.
ListenOutcome TakeListeners(Kiv* app, const ListenTarget& target, const MSocket* sockets) {
    {
        MLockGuard hold(app->m_acceptLock);
        if (app->m_serverStop) {
            for (int i = 0; i < 2; i++) {
                if (sockets[i] != M_INVALID_SOCKET) {
                    MCloseSocket(sockets[i]);
                }
            }
            return LISTEN_STOPPED;
        }
        app->m_listenSocket.handle = sockets[0];
        app->m_listenSocketIPv4.handle = sockets[1];
    }
    const IpAddress& address = target.address;
    app->Log("待ち受けを開始しました (アドレス %s, ポート %u)",
             target.everyAddress ? "すべて" : FormatIpAddress(address).c_str(),
             unsigned{MGetLocalPort(sockets[0])});
    if (address.family == 6 && IsUnspecified(address)) {
        app->Log(
            "SVADDR が :: のため、IPv6 の接続だけを受け付けます (IPv4 も受け付けるには SVADDR "
            "を空にします)");
    }
    return LISTENING;
}

// Sets up m_listenSocket (and m_listenSocketIPv4 beside it where needed) on port
// m_serverPort of the address SVADDR names (every local address when it is empty).
ListenOutcome Listen(Kiv* app, bool logFailure) {
    ListenTarget target;
    std::string refusal = CheckListenAddress(app->m_serverAddress, &target);
    if (!refusal.empty()) {
        app->Log("%s", refusal.c_str());
        return LISTEN_REFUSED;
    }
    uint16_t port = static_cast<uint16_t>(app->m_serverPort);
    MSocket sockets[2] = {M_INVALID_SOCKET, M_INVALID_SOCKET};
    ListenFailure failure;
    if (!OpenTarget(target, port, sockets, &failure)) {
        return OnListenFailure(app, failure, port, logFailure);
    }
    return TakeListeners(app, target, sockets);
}

// Listens, trying again every g_listenRetryMs while the address or port is not to be
// had; false when the server is not to run (its line is written) or the stop came.
bool ListenWhenPossible(Kiv* app) {
    for (bool logged = false;; logged = true) {
        switch (Listen(app, !logged)) {
            case LISTENING:
                return true;
            case LISTEN_REFUSED:
            case LISTEN_STOPPED:
                return false;
            case LISTEN_RETRY:
                break;
        }
        for (unsigned waited = 0; waited < g_listenRetryMs; waited += 50) {
            if (app->m_serverStop) {
                return false;
            }
            MSleep(50);
        }
    }
}

// What is refused is logged sparingly: one line per burst at the limit, one line per
// peer per minute for the others.
struct Refusals {
    bool atLimit = false;
    PeerLogThrottle notAllowed;
    PeerLogThrottle overShare;
};

// The handler threads of one run of the server. There is no listener thread of its own:
// a thread that waits for a connection waits in accept, and serves what it accepts. Two
// wait there at once (MAX_ACCEPTORS); the system gives each connection to one
// of them, so a connection waits for one thread to wake, as with a server that accepts
// and answers on one thread, and while one serves, the other still waits in accept, so
// a slow client never holds the listener. The other idle threads sleep as
// reserves, woken when no thread waits in accept any more, and end after
// HANDLER_IDLE_MS without being needed. Shared by the threads and the server's own
// thread, so that whichever ends last still finds it.
struct HandlerPool : std::enable_shared_from_this<HandlerPool> {
    explicit HandlerPool(Kiv* app)
        : app(app),
          growth(g_growthSource),
          listeners{app->m_listenSocket.handle, app->m_listenSocketIPv4.handle},
          listenerCount(app->m_listenSocketIPv4.handle == M_INVALID_SOCKET ? 1 : 2),
          threads(0),
          accepting(0),
          reserves(0),
          wanted(0),
          stopping(false) {}

    Kiv* app;
    GrowthSource* const growth;  // null: growth requests are closed without a reply
    // The listening sockets as set up; the stop closes them through m_listenSocket and
    // m_listenSocketIPv4, whose handles the threads therefore do not read.
    const MSocket listeners[2];
    const int listenerCount;
    std::mutex lock;                // guards everything below
    std::condition_variable wake;   // a reserve is wanted, or the stop came
    std::condition_variable ended;  // the last thread has left
    int threads;                    // in the pool; not those left in a measurement
    int accepting;                  // waiting in accept
    int reserves;                   // sleeping until wanted
    int wanted;                     // reserves asked to wait in accept
    bool stopping;                  // the listening socket is closed: threads end
    // Connections being served, by each of PeerShareKeys.
    std::unordered_map<std::string, int> peers;
    Refusals refusals;
    bool shortOfResources = false;  // accept lacked resources, and it was logged
};

// Threads that wait in accept at once: two, so that a thread that has served a
// connection goes straight back to accept while the other takes the next. With one, the
// thread that took a connection had to wake a reserve to take its place: a wake-up and a
// switch on every query, which cost a single client a few per cent of its queries.
const int MAX_ACCEPTORS = 2;
// Threads the pool may hold: one per connection served, and those that accept.
const int MAX_POOL_THREADS = MAX_CONNECTION_HANDLERS + MAX_ACCEPTORS;

// The pool's threads, of every run of the server; changed with them, under the lock.
std::atomic<int> g_liveHandlers{0};

struct HandlerStart {
    std::shared_ptr<HandlerPool> pool;
};

void HandlerThread(void* start);

// Starts a thread, which will wait in accept; under the pool's lock. False, and a log
// line, if none can be started.
bool AddThread(const std::shared_ptr<HandlerPool>& pool) {
    std::unique_ptr<HandlerStart> start = std::make_unique<HandlerStart>(HandlerStart{pool});
    pool->threads++;
    g_liveHandlers++;
    if (MBeginThread(HandlerThread, start.get())) {
        start.release();  // the thread's now
        return true;
    }
    pool->threads--;
    g_liveHandlers--;
    pool->app->Log("スレッドが開始できません");
    return false;
}

// No thread waits in accept any more: a reserve goes there, or a new thread; with the
// pool full, the next thread that finishes its connection. Under the pool's lock.
void WantAcceptor(const std::shared_ptr<HandlerPool>& pool) {
    if (pool->accepting > 0 || pool->stopping) {
        return;
    }
    if (pool->reserves > pool->wanted) {
        pool->wanted++;
        pool->wake.notify_one();
    } else if (pool->threads < MAX_POOL_THREADS) {
        AddThread(pool);
    }
}

// The thread leaves the pool; the last one tells the server's thread. Under the lock.
void LeavePool(HandlerPool* pool) {
    g_liveHandlers--;
    if (--pool->threads == 0) {
        pool->ended.notify_all();
    }
}

// The peer has one connection fewer being served.
void DropPeer(HandlerPool* pool, const IpAddress& peer) {
    std::vector<std::string> keys = PeerShareKeys(peer);
    std::lock_guard<std::mutex> hold(pool->lock);
    for (const std::string& key : keys) {
        if (--pool->peers[key] <= 0) {
            pool->peers.erase(key);
        }
    }
}

// The connection of the peer has been served: its place is free.
void Release(HandlerPool* pool, const IpAddress& peer) {
    DropPeer(pool, peer);
    Kiv* app = pool->app;
    MLockGuard hold(app->m_serverCountLock);
    if (app->m_serverThreadCount > 0) {
        app->m_serverThreadCount--;
    }
}

// Whether the accepted connection, which has the listening socket's time-outs, is
// served. It is closed at once, without a reply, once the stop has begun, when its peer
// is not allowed, or when the handlers or the peer's share of them are at their limit.
// A connection served is counted.
bool Admit(HandlerPool* pool, FswSocket* connection) {
    Kiv* app = pool->app;
    if (app->m_serverStop) {
        // The stop waits until no connection is served: clients that keep coming must
        // not keep it waiting.
        return false;
    }
    IpAddress peer = PeerOf(connection);
    std::unique_lock<std::mutex> hold(pool->lock);
    pool->shortOfResources = false;  // a burst of failed accepts has ended
    Refusals& refusals = pool->refusals;
    if (!app->m_allow.Allows(peer)) {
        if (refusals.notAllowed.ShouldLog(FormatIpAddress(peer), Clock::now())) {
            app->Log("許可されていないアドレスからの接続を切断しました (%s)",
                     PeerText(peer).c_str());
        }
        return false;
    }
    if (app->m_serverThreadCount >= MAX_CONNECTION_HANDLERS) {
        if (!refusals.atLimit) {
            app->Log("接続数が上限(%d)に達しているため、新しい接続を切断します",
                     MAX_CONNECTION_HANDLERS);
            refusals.atLimit = true;
        }
        return false;
    }
    refusals.atLimit = false;
    std::vector<std::string> keys = PeerShareKeys(peer);
    for (const std::string& key : keys) {
        auto found = pool->peers.find(key);
        int served = found == pool->peers.end() ? 0 : found->second;
        int share = PeerShare(app->m_serverThreadCount, served);
        if (served >= share) {
            if (refusals.overShare.ShouldLog(key, Clock::now())) {
                app->Log("1つのアドレスからの接続数が上限(%d)に達しているため切断しました (%s)",
                         share, PeerText(peer).c_str());
            }
            return false;
        }
    }
    // Its waits look at the stop, which ends those for data that has not come.
    connection->WatchCancel(&app->m_serverCancel);
    for (const std::string& key : keys) {
        pool->peers[key]++;
    }
    hold.unlock();
    // Counted before the thread serves it: a stop that finds no connection counted finds
    // none on its way to a handler either.
    MLockGuard count(app->m_serverCountLock);
    app->m_serverThreadCount++;
    return true;
}

// accept failing for lack of resources would fail again at once: the thread rests a
// moment, and the failure is logged once per burst.
void OnAcceptFailed(HandlerPool* pool) {
    Kiv* app = pool->app;
    unsigned long error = MGetLastError();
    if (MIsAcceptTransient(error)) {
        return;  // that connection is gone; the next accept goes on
    }
    if (!MIsResourceShortage(error)) {
        app->Log("client socket error!");
        return;
    }
    {
        std::lock_guard<std::mutex> hold(pool->lock);
        if (!pool->shortOfResources) {
            char text[256];
            GetErrorText(text, error, sizeof text);
            app->Log("リソース不足のため接続を受け付けられません。少し待って再試行します (%s)",
                     text);
            pool->shortOfResources = true;
        }
    }
    MSleep(ACCEPT_PAUSE_MS);
}

// Waits until the thread is to accept: at once while too few do, else as
// a reserve until wanted. False when the thread is to end: the stop came, or it was a
// reserve for HANDLER_IDLE_MS in vain.
bool AwaitTurn(HandlerPool* pool) {
    std::unique_lock<std::mutex> hold(pool->lock);
    if (pool->accepting >= MAX_ACCEPTORS && !pool->stopping) {
        pool->reserves++;
        pool->wake.wait_for(hold, std::chrono::milliseconds(HANDLER_IDLE_MS),
                            [&] { return pool->wanted > 0 || pool->stopping; });
        pool->reserves--;
        if (pool->wanted == 0 || pool->stopping) {
            LeavePool(pool);
            return false;
        }
        pool->wanted--;
    }
    if (pool->stopping) {
        LeavePool(pool);
        return false;
    }
    pool->accepting++;
    return true;
}

// Waits in accept until there is a connection to serve, and returns it. Null once the
// stop has closed the listening socket; every thread then ends.
std::unique_ptr<FswSocket> Accept(const std::shared_ptr<HandlerPool>& pool) {
    Kiv* app = pool->app;
    for (;;) {
        std::unique_ptr<FswSocket> connection = std::make_unique<FswSocket>();
        connection->handle = pool->listenerCount == 1
                                 ? MAccept(pool->listeners[0], &connection->address)
                                 : MAcceptFirst(pool->listeners, pool->listenerCount,
                                                &connection->address, STOP_CHECK_MS);
        if (connection->handle == M_INVALID_SOCKET) {
            bool waitEnded = pool->listenerCount > 1 && MLastCallWouldBlock();
            if (app->m_serverStop) {
                std::lock_guard<std::mutex> hold(pool->lock);
                pool->accepting--;
                pool->stopping = true;
                pool->wake.notify_all();
                return nullptr;
            }
            if (!waitEnded) {
                OnAcceptFailed(pool.get());
            }
            continue;
        }
        if (!Admit(pool.get(), connection.get())) {
            continue;
        }
        std::lock_guard<std::mutex> hold(pool->lock);
        pool->accepting--;
        WantAcceptor(pool);
        return connection;
    }
}

bool Serve(HandlerPool* pool, std::unique_ptr<FswSocket> connection);

// A pool thread: waits for its turn, accepts, serves what it accepted, and again.
void HandlerThread(void* raw) {
    std::unique_ptr<HandlerStart> start(static_cast<HandlerStart*>(raw));
    std::shared_ptr<HandlerPool> pool = std::move(start->pool);
    while (AwaitTurn(pool.get())) {
        std::unique_ptr<FswSocket> connection = Accept(pool);
        if (connection == nullptr) {
            std::lock_guard<std::mutex> hold(pool->lock);
            LeavePool(pool.get());
            return;
        }
        if (!Serve(pool.get(), std::move(connection))) {
            return;  // left in a measurement; nothing of the server is touched any more
        }
    }
}

void AnswerOverrun(void* context, FswSocket* connection, const std::string& path);

}  // namespace

// Sets the server up, then sleeps while the pool's threads listen and serve: it ends
// only once every one of them has ended, so no handler outlives the stop.
unsigned M_THREAD_CALL ServerThread(void*) {
    Kiv* app = theApp;
    if (!ListenWhenPossible(app)) {
        if (!app->m_serverStop) {
            return 2;
        }
        app->Log("サーバを終了します");
        return 0;
    }
    LogAllowList(app);
    std::shared_ptr<HandlerPool> pool = std::make_shared<HandlerPool>(app);
    TheDiskGuard().StartWatch(AnswerOverrun, pool.get());
    {
        std::unique_lock<std::mutex> hold(pool->lock);
        if (!AddThread(pool)) {
            hold.unlock();
            TheDiskGuard().StopWatch();
            return 2;
        }
        app->m_serverListening = true;
        // A measurement that overran no longer holds its thread in the pool, so this
        // waits for the watch's deadline at most.
        pool->ended.wait(hold, [&] { return pool->stopping && pool->threads == 0; });
    }
    app->m_serverListening = false;
    TheDiskGuard().StopWatch();
    app->Log("サーバを終了します");
    return 0;
}

void SetServerGrowthSource(GrowthSource* growth) {
    g_growthSource = growth;
}

bool StartServerThread(MThread* thread, GrowthSource* growth) {
    theApp->Log("サーバを起動します");
    SetServerGrowthSource(growth);
    uint32_t port = theApp->m_serverPort;
    if (port == 0 || port > 65535) {
        theApp->Log("SVPORT の値 %u は使えません (1～65535)。サーバは起動しません", port);
        return false;
    }
    if (!thread->Start(ServerThread)) {
        theApp->Log("サーバを何故か起動できません");
        return false;
    }
    return true;
}

int LiveHandlerThreads() {
    return g_liveHandlers;
}

bool WaitForServerListening(const MThread& thread, unsigned milliseconds) {
    for (unsigned waited = 0;; waited += 5) {
        if (theApp->m_serverListening) {
            return true;
        }
        if (!thread.IsRunning() || waited >= milliseconds) {
            return false;
        }
        MSleep(5);
    }
}

void LogAllowList(Kiv* app) {
    for (const std::string& entry : app->m_allow.Malformed()) {
        app->Log("ALLOW の項目が正しくないため無視します (%s)", MEscapeForLog(entry).c_str());
    }
    if (!app->m_allow.IsRestricted()) {
        return;
    }
    std::string allowed = app->m_allow.Describe();
    if (allowed.empty()) {
        app->Log("ALLOW に有効な項目がないため、すべての接続を拒否します");
    } else {
        app->Log("接続を許可するアドレス: %s", allowed.c_str());
    }
}

namespace {

// What a conversation answers: the sizes, or the disk error.
struct Reply {
    bool measured = false;
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
};

// Sends the reply, the header and the sizes after a measurement, in one piece: one
// system call and one segment rather than two. The line names the part that did not go
// out whole.
void SendReply(Kiv* app, FswSocket* connection, const Reply& reply) {
    PacketHeader header;
    header.magic = FSW_MAGIC;
    header.version = FSW_PROTOCOL_VERSION;
    header.type = TYPE_REPLY;
    header.status = reply.measured ? STATUS_OK : STATUS_DISK_ERROR;
    header.length = reply.measured ? DISK_INFO_SIZE : 0;
    HeaderToNet(&header);
    DiskInfo info;
    info.freeBytes = reply.freeBytes;
    info.totalBytes = reply.totalBytes;
    U64ToNet(&info.freeBytes);
    U64ToNet(&info.totalBytes);
    char bytes[PACKET_HEADER_SIZE + DISK_INFO_SIZE];
    memcpy(bytes, &header, PACKET_HEADER_SIZE);
    memcpy(bytes + PACKET_HEADER_SIZE, &info, DISK_INFO_SIZE);
    int size = reply.measured ? static_cast<int>(sizeof bytes) : PACKET_HEADER_SIZE;
    int sent = 0;
    while (sent < size) {
        int r = MSend(connection->handle, bytes + sent, size - sent);
        if (r == M_SOCKET_ERROR || r == 0) {
            break;
        }
        sent += r;
    }
    if (!reply.measured && sent < size) {
        app->Log("ディスク情報エラーを送信できませんでした。");
    } else if (sent < PACKET_HEADER_SIZE) {
        app->Log("ディスク情報ヘッダを送信できませんでした。");
    } else if (sent < size) {
        app->Log("ディスク情報を送信できませんでした。");
    }
}

// The line that says why the path gets the disk error.
void LogRefusal(Kiv* app, const char* format, const std::string& path) {
    app->Log(format, MEscapeForLog(path).c_str());
}

const char TIMED_OUT_LINE[] = "ディスク容量の取得が時間内に終わりません。path=%s";

// Reads and checks the request, which must arrive whole before the deadline; its type and
// the path as the client sent it, or false when the conversation ends without a reply. The
// first bytes of a connection that is not of the protocol go to *foreign.
bool ReadRequest(Kiv* app, FswSocket* connection, SocketDeadline deadline, bool growthServed,
                 std::string* path, uint16_t* type, std::string* foreign) {
    // The header and as much of the path as has come with it, in one call.
    char bytes[PACKET_HEADER_SIZE + MAX_REQUEST_PATH + 1];
    int got = connection->RecvAtLeastBefore(bytes, PACKET_HEADER_SIZE,
                                            static_cast<int>(sizeof bytes) - 1, deadline);
    if (got < PACKET_HEADER_SIZE) {
        return false;
    }
    PacketHeader header;
    memcpy(&header, bytes, sizeof header);
    HeaderFromNet(&header);
    if (header.magic != FSW_MAGIC) {
        foreign->assign(bytes, static_cast<size_t>(got));
        return false;
    }
    if (header.version > FSW_PROTOCOL_VERSION) {
        app->Log("未対応バージョン : %d", static_cast<int>(header.version));
        return false;
    }
    if (header.type != TYPE_DISK_INFO && header.type != TYPE_VOLUME_LIST &&
        !(header.type == TYPE_FOLDER_GROWTH && growthServed)) {
        return false;
    }
    *type = header.type;
    if (header.type == TYPE_VOLUME_LIST && header.length == 0) {
        return true;  // every volume
    }
    char* received = bytes + PACKET_HEADER_SIZE;
    int wanted =
        static_cast<int>(header.length < MAX_REQUEST_PATH ? header.length : MAX_REQUEST_PATH);
    int have = got - PACKET_HEADER_SIZE;
    if (wanted == 0 || (have < wanted && connection->RecvAllBefore(received + have, wanted - have,
                                                                   deadline) != wanted - have)) {
        app->Log("ディスク情報を受信できませんでした。");
        return false;
    }
    // Up to the first NUL, as the path is used as a C string; bytes past its length are
    // no part of it.
    path->assign(received, strnlen(received, static_cast<size_t>(wanted)));
    return true;
}

// Measures the path and decides the reply, with its log line, which is written before
// the reply goes out. False when the measurement overran and the watch has answered and
// taken the connection: the thread then belongs to the server no more.
bool Decide(Kiv* app, FswSocket* connection, const std::string& wirePath, Reply* reply) {
    std::string path = MWireToAnsi(wirePath.data(), wirePath.size());
    if (!MIsMeasurablePath(path.c_str(), app->m_allowUnc == 1)) {
        LogRefusal(app, "許可されていない形式のパスです。path=%s", path);
        return true;
    }
    switch (TheDiskGuard().Measure(path, connection, &reply->freeBytes, &reply->totalBytes)) {
        case MEASURE_ABANDONED:
            return false;
        case MEASURE_OK:
            break;
        case MEASURE_FAILED:
            LogRefusal(app, "ディスク情報を取得できませんでした。path=%s", path);
            return true;
        case MEASURE_TIMED_OUT:
            LogRefusal(app, TIMED_OUT_LINE, path);
            return true;
        case MEASURE_PATH_STUCK:
            LogRefusal(app, "このパスのディスク容量の取得がまだ終わっていません。path=%s", path);
            return true;
        case MEASURE_PATH_BUSY:
            LogRefusal(app, "同じパスへの問い合わせが多すぎます。path=%s", path);
            return true;
        case MEASURE_TOO_MANY_STUCK:
            LogRefusal(app, "終わらないディスク容量の取得が多すぎます。path=%s", path);
            return true;
    }
    reply->measured = true;
    app->Log("[%s] 空き容量 %I64uバイト / 全体容量 %I64uバイト", MEscapeForLog(path).c_str(),
             static_cast<unsigned long long>(reply->freeBytes),
             static_cast<unsigned long long>(reply->totalBytes));
    return true;
}

void EndConversation(std::unique_ptr<FswSocket> connection) {
    if (connection->handle != M_INVALID_SOCKET) {
        MShutdown(connection->handle, M_SD_BOTH);
    }
}

// The watch's part for a handler whose measurement overran: what the handler would have
// done (the line, the place given back, the reply, the end), and its thread let go
// from the pool.
void AnswerOverrun(void* context, FswSocket* taken, const std::string& path) {
    HandlerPool* pool = static_cast<HandlerPool*>(context);
    std::unique_ptr<FswSocket> connection(taken);
    LogRefusal(pool->app, TIMED_OUT_LINE, path);
    Release(pool, PeerOf(taken));
    SendReply(pool->app, taken, Reply());
    EndConversation(std::move(connection));
    std::lock_guard<std::mutex> hold(pool->lock);
    LeavePool(pool);
    // The thread left behind may have been the one to accept next.
    WantAcceptor(pool->shared_from_this());
}

// One conversation: the request, the answer, the end. The connection's place (its
// count and its peer's) is given back just before the reply goes out: a client that has
// its answer may connect again at once and must find its share free. False when the
// measurement overran and the watch has taken the connection: the thread then belongs
// to the server no more.
bool Serve(HandlerPool* pool, std::unique_ptr<FswSocket> connection) {
    Kiv* app = pool->app;
    std::string path;
    uint16_t type = TYPE_DISK_INFO;
    Reply reply;
    std::string foreign;
    SocketDeadline deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(SOCKET_TIMEOUT_MS);
    bool replying = ReadRequest(app, connection.get(), deadline, pool->growth != nullptr, &path,
                                &type, &foreign);
    if (!replying && app->m_web == 1 && LooksLikeHttp(foreign.data(), foreign.size())) {
        ServeHttp(connection.get(), foreign, deadline, g_webPages, *app,
                  PeerText(PeerOf(connection.get())));
        Release(pool, PeerOf(connection.get()));
        EndConversation(std::move(connection));
        return true;
    }
    if (replying && type != TYPE_DISK_INFO) {
        bool list = type == TYPE_VOLUME_LIST;
        std::string bytes = list ? VolumeListReply(*app, app->m_allowUnc == 1, app->m_serverStop,
                                                   path)
                                 : GrowthReplyBytes(*pool->growth, *app, path);
        Release(pool, PeerOf(connection.get()));
        if (connection->SendAll(bytes.data(), static_cast<int>(bytes.size())) !=
            static_cast<int>(bytes.size())) {
            app->Log(list ? "ボリューム一覧を送信できませんでした。"
                          : "フォルダの増加を送信できませんでした。");
        }
        EndConversation(std::move(connection));
        return true;
    }
    if (replying && !Decide(app, connection.get(), path, &reply)) {
        connection.release();  // the watch's now
        return false;
    }
    Release(pool, PeerOf(connection.get()));
    if (replying) {
        SendReply(app, connection.get(), reply);
    }
    EndConversation(std::move(connection));
    return true;
}

}  // namespace

// Connections being served end at once: a handler waiting for a request that has not
// come (a silent client) gives up, one whose request is there answers it, and
// measurements get STOP_MEASURE_MS more at most, so a hung one is answered "disk error"
// now rather than after its time-out.
void Kiv::StopServer() {
    {
        MLockGuard hold(m_acceptLock);
        m_serverStop = true;
        if (m_listenSocket.handle != M_INVALID_SOCKET) {
            MShutdown(m_listenSocket.handle, M_SD_RECEIVE);
        }
    }
    Log("クライアントからの受信を停止");
    m_serverCancel.Cancel();
    TheDiskGuard().Hurry();
    Log("サーバの全スレッド終了待ち");
    while (m_serverThreadCount > 0) {
        MSleep(20);
    }
    {
        MLockGuard hold(m_serverCountLock);  // the last handler has let go of it too
    }
    // Closing alone does not end an accept blocked in another thread everywhere; a
    // shutdown first does.
    MLockGuard hold(m_acceptLock);
    for (FswSocket* listener : {&m_listenSocket, &m_listenSocketIPv4}) {
        if (listener->handle != M_INVALID_SOCKET) {
            MShutdown(listener->handle, M_SD_BOTH);
        }
        listener->Close();
    }
}

int PeerShare(int servedInAll, int servedForPeer) {
    int left = MAX_CONNECTION_HANDLERS - (servedInAll - servedForPeer);
    int share = left / 4;
    return share < 1 ? 1 : share > MAX_HANDLERS_PER_PEER ? MAX_HANDLERS_PER_PEER : share;
}

void LimitListenerFamilies(ListenerFamilies families) {
    g_listenerFamilies = families;
}

void SetWebPages(WebPages* pages) {
    g_webPages = pages;
}

void SetListenRetryInterval(unsigned milliseconds) {
    g_listenRetryMs = milliseconds;
}
