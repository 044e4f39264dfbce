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

#include "app/kiv.h"
#include "mlib/mcodepage.h"
#include "mlib/mdisk.h"
#include "mlib/mlogtext.h"
#include "mlib/msocket.h"
#include "net/disk_guard.h"
#include "net/peer_access.h"
#include "net/protocol.h"

namespace {

typedef std::chrono::steady_clock Clock;

// Connections the system may hold until a thread accepts them. A queue of 5
// overflows as soon as one cycle queries more than five targets on the same server:
// further connections are then refused (Windows) or wait a second for a retry.
const int LISTEN_BACKLOG = 64;
// How long a thread rests when accept fails for lack of resources, which a retry at
// once would not find either.
const unsigned ACCEPT_PAUSE_MS = 100;

uint32_t PeerOf(const FswSocket* connection) {
    return MNtohl(connection->address.sin_addr.s_addr);
}

std::string PeerText(uint32_t peer) {
    return MEscapeForLog(FormatIPv4(peer));
}

std::string Trimmed(const char* text) {
    std::string value = text;
    size_t begin = value.find_first_not_of(" \t");
    size_t end = value.find_last_not_of(" \t");
    return begin == std::string::npos ? "" : value.substr(begin, end - begin + 1);
}

// Sets up m_listenSocket on port m_serverPort of the address SVADDR names (every local
// address when it is empty); a log line and false on failure, then one that says where
// the server listens.
bool Listen(Kiv* app) {
    std::string wanted = Trimmed(app->m_serverAddress);
    uint32_t address = 0;  // INADDR_ANY
    if (!wanted.empty() && !ParseIPv4(wanted, &address)) {
        app->Log("SVADDR の値が正しくないため、待ち受けできません (%s)",
                 MEscapeForLog(wanted).c_str());
        return false;
    }
    FswSocket& listener = app->m_listenSocket;
    memset(&listener.address, 0, sizeof listener.address);
    listener.address.sin_family = AF_INET;
    listener.address.sin_port = MHtons(static_cast<uint16_t>(app->m_serverPort));
    listener.address.sin_addr.s_addr = MHtonl(address);
    if (!listener.Create(6)) {
        app->Log("socket() error!");
        return false;
    }
    if (listener.handle == M_INVALID_SOCKET || MBind(listener.handle, &listener.address) != 0) {
        app->Log("bind() error!");
        return false;
    }
    if (listener.handle == M_INVALID_SOCKET || MListen(listener.handle, LISTEN_BACKLOG) != 0) {
        app->Log("listen() error!");
        return false;
    }
    app->Log("待ち受けを開始しました (アドレス %s, ポート %u)",
             wanted.empty() ? "すべて" : FormatIPv4(address).c_str(),
             unsigned{MGetLocalPort(listener.handle)});
    return true;
}

// What is refused is logged sparingly: one line per burst at the limit, one line per
// peer per minute for the others.
struct Refusals {
    bool atLimit = false;
    PeerLogThrottle notAllowed;
    PeerLogThrottle overShare;
};

// The handler threads of one run of the server. There is no listener thread of its own:
// a thread that waits for a connection waits in accept, and serves what it accepts. One
// or two wait there at once (AcceptorsWanted); the system gives each connection to one
// of them, so a connection waits for one thread to wake, as with a server that accepts
// and answers on one thread, and when one takes a connection another takes its place
// in accept, so a slow client never holds the listener. The other idle threads sleep as
// reserves, woken when no thread waits in accept any more, and end after
// HANDLER_IDLE_MS without being needed. Shared by the threads and the server's own
// thread, so that whichever ends last still finds it.
struct HandlerPool : std::enable_shared_from_this<HandlerPool> {
    explicit HandlerPool(Kiv* app)
        : app(app),
          listener(app->m_listenSocket.handle),
          threads(0),
          accepting(0),
          reserves(0),
          wanted(0),
          stopping(false) {}

    Kiv* app;
    // The listening socket as set up; the stop closes it through m_listenSocket, whose
    // handle the threads therefore do not read.
    const MSocket listener;
    std::mutex lock;                          // guards everything below
    std::condition_variable wake;             // a reserve is wanted, or the stop came
    std::condition_variable ended;            // the last thread has left
    int threads;                              // in the pool; not those left in a measurement
    int accepting;                            // waiting in accept
    int reserves;                             // sleeping until wanted
    int wanted;                               // reserves asked to wait in accept
    bool stopping;                            // the listening socket is closed: threads end
    std::unordered_map<uint32_t, int> peers;  // connections being served, by peer
    Refusals refusals;
    bool shortOfResources = false;  // accept lacked resources, and it was logged
};

// Threads that may wait in accept at once.
const int MAX_ACCEPTORS = 2;
// Threads the pool may hold: one per connection served, and those that accept.
const int MAX_POOL_THREADS = MAX_CONNECTION_HANDLERS + MAX_ACCEPTORS;

// How many threads should wait in accept: two while several connections are served,
// so that a thread that finishes one goes straight back to accept; one otherwise, so
// that the thread that has just served, still running, takes the next connection
// rather than one that slept (the system hands connections to the longest waiter).
int AcceptorsWanted(const Kiv* app) {
    return app->m_serverThreadCount > 1 ? MAX_ACCEPTORS : 1;
}

// The pool's threads, of every run of the server; changed with them, under the lock.
std::atomic<int> g_liveHandlers{0};

struct HandlerStart {
    std::shared_ptr<HandlerPool> pool;
};

void HandlerThread(void* start);

// Starts a thread, which will wait in accept; under the pool's lock. False, and a log
// line, if none can be started.
bool AddThread(const std::shared_ptr<HandlerPool>& pool) {
    HandlerStart* start = new HandlerStart{pool};
    pool->threads++;
    g_liveHandlers++;
    if (MBeginThread(HandlerThread, start)) {
        return true;
    }
    pool->threads--;
    g_liveHandlers--;
    delete start;
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
void DropPeer(HandlerPool* pool, uint32_t peer) {
    std::lock_guard<std::mutex> hold(pool->lock);
    if (--pool->peers[peer] <= 0) {
        pool->peers.erase(peer);
    }
}

// The connection of the peer has been served: its place is free.
void Release(HandlerPool* pool, uint32_t peer) {
    DropPeer(pool, peer);
    Kiv* app = pool->app;
    MLockGuard hold(app->m_serverCountLock);
    if (app->m_serverThreadCount > 0) {
        app->m_serverThreadCount--;
    }
}

// Whether the accepted connection, which has the listening socket's time-outs, is
// served. It is closed at once, without a reply, when its peer is not allowed or when
// the handlers or the peer's share of them are at their limit. A connection served is
// counted.
bool Admit(HandlerPool* pool, FswSocket* connection) {
    Kiv* app = pool->app;
    uint32_t peer = PeerOf(connection);
    std::unique_lock<std::mutex> hold(pool->lock);
    pool->shortOfResources = false;  // a burst of failed accepts has ended
    Refusals& refusals = pool->refusals;
    if (!app->m_allow.Allows(peer)) {
        if (refusals.notAllowed.ShouldLog(peer, Clock::now())) {
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
    int& served = pool->peers[peer];
    if (served >= MAX_HANDLERS_PER_PEER) {
        if (refusals.overShare.ShouldLog(peer, Clock::now())) {
            app->Log("1つのアドレスからの接続数が上限(%d)に達しているため切断しました (%s)",
                     MAX_HANDLERS_PER_PEER, PeerText(peer).c_str());
        }
        return false;
    }
    served++;
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
    if (pool->accepting >= AcceptorsWanted(pool->app) && !pool->stopping) {
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
FswSocket* Accept(const std::shared_ptr<HandlerPool>& pool) {
    Kiv* app = pool->app;
    for (;;) {
        FswSocket* connection = new FswSocket;
        connection->handle = MAccept(pool->listener, &connection->address);
        if (connection->handle == M_INVALID_SOCKET) {
            delete connection;
            if (app->m_serverStop) {
                std::lock_guard<std::mutex> hold(pool->lock);
                pool->accepting--;
                pool->stopping = true;
                pool->wake.notify_all();
                return nullptr;
            }
            OnAcceptFailed(pool.get());
            continue;
        }
        if (!Admit(pool.get(), connection)) {
            delete connection;
            continue;
        }
        std::lock_guard<std::mutex> hold(pool->lock);
        pool->accepting--;
        WantAcceptor(pool);
        return connection;
    }
}

bool Serve(HandlerPool* pool, FswSocket* connection);

// A pool thread: waits for its turn, accepts, serves what it accepted, and again.
void HandlerThread(void* raw) {
    HandlerStart* start = static_cast<HandlerStart*>(raw);
    std::shared_ptr<HandlerPool> pool = std::move(start->pool);
    delete start;
    while (AwaitTurn(pool.get())) {
        FswSocket* connection = Accept(pool);
        if (connection == nullptr) {
            std::lock_guard<std::mutex> hold(pool->lock);
            LeavePool(pool.get());
            return;
        }
        if (!Serve(pool.get(), connection)) {
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
    if (!Listen(app)) {
        return 2;
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

bool StartServerThread(MThread* thread) {
    theApp->Log("サーバを起動します");
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

// Sends the reply header; false if it did not go out whole.
bool SendReplyHeader(FswSocket* connection, uint16_t status, uint32_t length) {
    PacketHeader header;
    header.magic = FSW_MAGIC;
    header.version = FSW_PROTOCOL_VERSION;
    header.type = TYPE_REPLY;
    header.status = status;
    header.length = length;
    HeaderToNet(&header);
    char bytes[PACKET_HEADER_SIZE];
    memcpy(bytes, &header, sizeof bytes);
    return connection->SendAll(bytes, sizeof bytes) == PACKET_HEADER_SIZE;
}

// What a conversation answers: the sizes, or the disk error.
struct Reply {
    bool measured = false;
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
};

// Sends the reply: the header, and the sizes after a measurement.
void SendReply(Kiv* app, FswSocket* connection, const Reply& reply) {
    if (!reply.measured) {
        if (!SendReplyHeader(connection, STATUS_DISK_ERROR, 0)) {
            app->Log("ディスク情報エラーを送信できませんでした。");
        }
        return;
    }
    if (!SendReplyHeader(connection, STATUS_OK, DISK_INFO_SIZE)) {
        app->Log("ディスク情報ヘッダを送信できませんでした。");
        return;
    }
    DiskInfo info;
    info.freeBytes = reply.freeBytes;
    info.totalBytes = reply.totalBytes;
    U64ToNet(&info.freeBytes);
    U64ToNet(&info.totalBytes);
    char bytes[DISK_INFO_SIZE];
    memcpy(bytes, &info, sizeof bytes);
    if (connection->SendAll(bytes, sizeof bytes) != DISK_INFO_SIZE) {
        app->Log("ディスク情報を送信できませんでした。");
    }
}

// The line that says why the path gets the disk error.
void LogRefusal(Kiv* app, const char* format, const std::string& path) {
    app->Log(format, MEscapeForLog(path).c_str());
}

const char TIMED_OUT_LINE[] = "ディスク容量の取得が時間内に終わりません。path=%s";

// Reads and checks the request, which must arrive whole within one time-out; the path
// as the client sent it, or false when the conversation ends without a reply.
bool ReadRequest(Kiv* app, FswSocket* connection, std::string* path) {
    SocketDeadline deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(SOCKET_TIMEOUT_MS);
    char bytes[PACKET_HEADER_SIZE];
    if (connection->RecvAllBefore(bytes, sizeof bytes, deadline) < PACKET_HEADER_SIZE) {
        return false;
    }
    PacketHeader header;
    memcpy(&header, bytes, sizeof header);
    HeaderFromNet(&header);
    if (header.magic != FSW_MAGIC) {
        return false;
    }
    if (header.version > FSW_PROTOCOL_VERSION) {
        app->Log("未対応バージョン : %d", static_cast<int>(header.version));
        return false;
    }
    if (header.type != TYPE_DISK_INFO) {
        return false;
    }
    char received[MAX_REQUEST_PATH + 1];
    int wanted =
        static_cast<int>(header.length < MAX_REQUEST_PATH ? header.length : MAX_REQUEST_PATH);
    int got = connection->RecvAllBefore(received, wanted, deadline);
    if (got < 0 || got != wanted) {
        app->Log("ディスク情報を受信できませんでした。");
        return false;
    }
    // Up to the first NUL, as the path is used as a C string.
    path->assign(received, strnlen(received, static_cast<size_t>(got)));
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

void EndConversation(FswSocket* connection) {
    if (connection->handle != M_INVALID_SOCKET) {
        MShutdown(connection->handle, M_SD_BOTH);
    }
    delete connection;
}

// The watch's part for a handler whose measurement overran: what the handler would have
// done (the line, the place given back, the reply, the end), and its thread let go
// from the pool.
void AnswerOverrun(void* context, FswSocket* connection, const std::string& path) {
    HandlerPool* pool = static_cast<HandlerPool*>(context);
    LogRefusal(pool->app, TIMED_OUT_LINE, path);
    Release(pool, PeerOf(connection));
    SendReply(pool->app, connection, Reply());
    EndConversation(connection);
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
bool Serve(HandlerPool* pool, FswSocket* connection) {
    Kiv* app = pool->app;
    std::string path;
    Reply reply;
    bool replying = ReadRequest(app, connection, &path);
    if (replying && !Decide(app, connection, path, &reply)) {
        return false;
    }
    Release(pool, PeerOf(connection));
    if (replying) {
        SendReply(app, connection, reply);
    }
    EndConversation(connection);
    return true;
}

}  // namespace

void Kiv::StopServer() {
    m_serverStop = true;
    if (m_listenSocket.handle != M_INVALID_SOCKET) {
        MShutdown(m_listenSocket.handle, M_SD_RECEIVE);
    }
    Log("クライアントからの受信を停止");
    Log("サーバの全スレッド終了待ち");
    while (m_serverThreadCount > 0) {
        MSleep(100);
    }
    {
        MLockGuard hold(m_serverCountLock);  // the last handler has let go of it too
    }
    // Closing alone does not end an accept blocked in another thread everywhere; a
    // shutdown first does.
    if (m_listenSocket.handle != M_INVALID_SOCKET) {
        MShutdown(m_listenSocket.handle, M_SD_BOTH);
    }
    m_listenSocket.Close();
}
