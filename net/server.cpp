// The disk server: the listener, the connection handlers and the stop.
#include "net/server.h"

#include <chrono>
#include <cstring>
#include <string>

#include "app/kiv.h"
#include "mlib/mcodepage.h"
#include "mlib/mdisk.h"
#include "mlib/msocket.h"
#include "net/protocol.h"

namespace {

// Connections the system may hold for the listener until it accepts them. A queue of 5
// overflows as soon as one cycle queries more than five targets on the same server:
// further connections are then refused (Windows) or wait a second for a retry.
const int LISTEN_BACKLOG = 64;

// Sets up m_listenSocket on port m_serverPort of every local address; a log line and
// false on failure.
bool Listen(Kiv* app) {
    FswSocket& listener = app->m_listenSocket;
    memset(&listener.address, 0, sizeof listener.address);
    listener.address.sin_family = AF_INET;
    listener.address.sin_port = MHtons(app->m_serverPort);
    listener.address.sin_addr.s_addr = 0;  // INADDR_ANY
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
    return true;
}

// Hands an accepted connection to a new handler and waits until it has taken it. The
// connection is closed at once when the handlers are at their limit (one log line per
// burst of such connections), when it cannot get its time-outs, or when no thread
// can be started.
void HandOff(Kiv* app, FswSocket* connection, ThreadStartBlock* block, MEvent* wake,
             bool* refusing) {
    if (app->m_serverThreadCount >= MAX_CONNECTION_HANDLERS) {
        if (!*refusing) {
            app->Log("接続数が上限(%d)に達しているため、新しい接続を切断します",
                     MAX_CONNECTION_HANDLERS);
            *refusing = true;
        }
        delete connection;
        return;
    }
    *refusing = false;
    if (!connection->SetTimeouts()) {
        app->Log("client socket error!");
        delete connection;
        return;
    }
    ResetStartBlock(block, wake);
    block->socket = connection;
    if (!MBeginThread(ConnectionThread, block)) {
        app->Log("スレッドが開始できません");
        delete connection;
        return;
    }
    WaitStarted(block);
}

}  // namespace

unsigned M_THREAD_CALL ServerThread(void*) {
    Kiv* app = theApp;
    if (!Listen(app)) {
        return 2;
    }
    app->m_serverListening = true;
    MEvent wake;
    MEvent* wakeOrPoll = wake.Create() ? &wake : nullptr;
    ThreadStartBlock block;
    bool refusing = false;
    while (!app->m_serverStop) {
        MLockGuard hold(app->m_acceptLock);
        FswSocket* connection = new FswSocket;
        connection->handle = MAccept(app->m_listenSocket.handle, &connection->address);
        if (connection->handle == M_INVALID_SOCKET) {
            if (!app->m_serverStop) {
                app->Log("client socket error!");
            }
            delete connection;
            continue;
        }
        HandOff(app, connection, &block, wakeOrPoll, &refusing);
    }
    app->m_serverListening = false;
    app->Log("サーバを終了します");
    return 0;
}

bool StartServerThread(MThread* thread) {
    theApp->Log("サーバを起動します");
    if (!thread->Start(ServerThread)) {
        theApp->Log("サーバを何故か起動できません");
        return false;
    }
    return true;
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

// Measures the path and answers: the sizes, or the disk error reply.
void Answer(Kiv* app, FswSocket* connection, const std::string& wirePath) {
    std::string path = MWireToAnsi(wirePath.data(), wirePath.size());
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
    if (!MGetDiskFreeSpace(path.c_str(), &freeBytes, &totalBytes)) {
        app->Log("ディスク情報を取得できませんでした。path=%s", path.c_str());
        if (!SendReplyHeader(connection, STATUS_DISK_ERROR, 0)) {
            app->Log("ディスク情報エラーを送信できませんでした。");
        }
        return;
    }
    app->Log("[%s] 空き容量 %I64uバイト / 全体容量 %I64uバイト", path.c_str(),
             static_cast<unsigned long long>(freeBytes),
             static_cast<unsigned long long>(totalBytes));
    if (!SendReplyHeader(connection, STATUS_OK, DISK_INFO_SIZE)) {
        app->Log("ディスク情報ヘッダを送信できませんでした。");
        return;
    }
    DiskInfo info;
    info.freeBytes = freeBytes;
    info.totalBytes = totalBytes;
    U64ToNet(&info.freeBytes);
    U64ToNet(&info.totalBytes);
    char bytes[DISK_INFO_SIZE];
    memcpy(bytes, &info, sizeof bytes);
    if (connection->SendAll(bytes, sizeof bytes) != DISK_INFO_SIZE) {
        app->Log("ディスク情報を送信できませんでした。");
    }
}

}  // namespace

void ConnectionThread(void* startBlock) {
    Kiv* app = theApp;
    {
        MLockGuard hold(app->m_serverCountLock);
        app->m_serverThreadCount++;
    }
    ThreadStartBlock* block = static_cast<ThreadStartBlock*>(startBlock);
    FswSocket* connection = block->socket;
    SignalStarted(block);

    std::string path;
    if (ReadRequest(app, connection, &path)) {
        Answer(app, connection, path);
    }

    if (connection->handle != M_INVALID_SOCKET) {
        MShutdown(connection->handle, M_SD_BOTH);
    }
    delete connection;
    {
        MLockGuard hold(app->m_serverCountLock);
        if (app->m_serverThreadCount > 0) {
            app->m_serverThreadCount--;
        }
    }
}

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
