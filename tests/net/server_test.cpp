// The disk server on 127.0.0.1 against fake clients: every rule of a request, the
// replies, the log lines, the time-outs of accepted connections, the limit on
// handlers, garbage, and the stop.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "mlib/mdisk.h"
#include "mlib/msocket.h"
#include "net/protocol.h"
#include "net/server.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"

namespace {

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = t.StartServer();
        ASSERT_NE(0, port);
        ASSERT_EQ(std::vector<std::string>{"待ち受けを開始しました (アドレス すべて, ポート " +
                                           std::to_string(port) + ")"},
                  t.LogMessages());
        t.RestartLog();
    }

    // Sends the bytes on a new connection and returns all the server sent back.
    std::string Ask(const std::string& request) {
        FswSocket client;
        if (!ConnectLocal(&client, port)) {
            return "(no connection)";
        }
        client.SendAll(request.data(), static_cast<int>(request.size()));
        return ReadUntilClosed(&client);
    }

    static std::string Request(const std::string& path, uint16_t version = 2) {
        return DiskRequest(path, version);
    }

    TestApp t;
    uint16_t port = 0;
};

uint64_t BigEndian64(const std::string& bytes, size_t offset) {
    uint64_t value = 0;
    for (size_t i = 0; i < 8; i++) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

TEST_F(ServerTest, AnswersAPathWithItsVolumesSizesAndLogsTheSameFigures) {
    std::string path = t.dir.Path();
    std::string reply = Ask(Request(path));
    ASSERT_EQ(28u, reply.size());
    EXPECT_EQ(WireHeader(1825, 2, 0, 256, 16), reply.substr(0, 12));
    uint64_t freeBytes = BigEndian64(reply, 12);
    uint64_t totalBytes = BigEndian64(reply, 20);
    uint64_t ownFree = 0;
    uint64_t ownTotal = 0;
    ASSERT_TRUE(MGetDiskFreeSpace(path.c_str(), &ownFree, &ownTotal));
    EXPECT_EQ(ownTotal, totalBytes);
    EXPECT_GT(totalBytes, 0u);
    EXPECT_LE(freeBytes, totalBytes);
    EXPECT_EQ(1u, t.LogCount("[" + LoggedPath(path) + "] 空き容量 " + std::to_string(freeBytes) +
                             "バイト / 全体容量 " + std::to_string(totalBytes) + "バイト"));
}

TEST_F(ServerTest, ServesVersions0And1LikeVersion2) {
    for (uint16_t version : {0, 1}) {
        std::string reply = Ask(Request(t.dir.Path(), version));
        ASSERT_EQ(28u, reply.size()) << "version " << version;
        EXPECT_EQ(WireHeader(1825, 2, 0, 256, 16), reply.substr(0, 12));
    }
}

TEST_F(ServerTest, APathThatCannotBeMeasuredGetsTheDiskErrorReplyAndALogLine) {
    std::string path = t.dir.File("missing");
    EXPECT_EQ(WireHeader(1825, 2, 0, 512, 0), Ask(Request(path)));
    EXPECT_EQ(1u, t.LogCount("ディスク情報を取得できませんでした。path=" + LoggedPath(path)));
}

TEST_F(ServerTest, ShortHeadersWrongMagicAndWrongTypeEndWithoutReplyOrLogLine) {
    std::string path = t.dir.Path();
    std::vector<std::string> refused = {
        "",
        "\x07\x21\x00\x02\x00",
        WireHeader(0x2107, 2, 1, 0, static_cast<uint32_t>(path.size())) + path,
        WireHeader(1825, 2, 3, 0, static_cast<uint32_t>(path.size())) + path,
        WireHeader(1825, 2, 0, 0, static_cast<uint32_t>(path.size())) + path,
    };
    for (const std::string& request : refused) {
        FswSocket client;
        ASSERT_TRUE(ConnectLocal(&client, port));
        if (!request.empty()) {
            client.SendAll(request.data(), static_cast<int>(request.size()));
        }
        MShutdown(client.handle, M_SD_SEND);
        EXPECT_EQ("", ReadUntilClosed(&client)) << request.size() << " bytes";
    }
    EXPECT_TRUE(t.LogMessages().empty());
}

TEST_F(ServerTest, AVersionAbove2IsLoggedAndGetsNoReply) {
    EXPECT_EQ("", Ask(Request(t.dir.Path(), 3)));
    EXPECT_EQ(std::vector<std::string>{"未対応バージョン : 3"}, t.LogMessages());
}

TEST_F(ServerTest, ALengthOf0IsLoggedAsNotReceivedAndGetsNoReply) {
    EXPECT_EQ("", Ask(WireHeader(1825, 2, 1, 0, 0)));
    EXPECT_EQ(std::vector<std::string>{"ディスク情報を受信できませんでした。"}, t.LogMessages());
}

TEST_F(ServerTest, AHugeLengthIsCutTo1023PathBytes) {
    std::string kept = t.dir.File(std::string(1023, 'a')).substr(0, 1023);
    std::string path = kept + std::string(977, 'b');
    for (uint32_t length : {2000u, 0xFFFFFFFFu}) {
        Ask(WireHeader(1825, 2, 1, 0, length) + path);
        EXPECT_EQ(1u, t.LogCount("ディスク情報を取得できませんでした。path=" + LoggedPath(kept)))
            << "length " << length;
        t.RestartLog();
    }
}

TEST_F(ServerTest, ARequestShorterThanItsLengthIsNotReceived) {
    FswSocket client;
    ASSERT_TRUE(ConnectLocal(&client, port));
    std::string request = WireHeader(1825, 2, 1, 0, 50) + "/tmp";
    client.SendAll(request.data(), static_cast<int>(request.size()));
    MShutdown(client.handle, M_SD_SEND);  // no more to send
    EXPECT_EQ("", ReadUntilClosed(&client));
    EXPECT_EQ(std::vector<std::string>{"ディスク情報を受信できませんでした。"}, t.LogMessages());
}

// The accepted socket carries the time-outs: a client that sends nothing, or trickles
// its request, is closed by the server, not left to hold its handler.
TEST_F(ServerTest, SilentAndTricklingClientsAreClosedByTheServer) {
    FswSocket silent;
    ASSERT_TRUE(ConnectLocal(&silent, port));
    MSetSocketTimeouts(silent.handle, 30000);
    FswSocket trickling;
    ASSERT_TRUE(ConnectLocal(&trickling, port));
    MSetSocketTimeouts(trickling.handle, 30000);
    std::string request = Request(t.dir.Path());
    bool trickleClosed = false;
    for (size_t i = 0; i < request.size() && !trickleClosed; i++) {
        trickleClosed = MSend(trickling.handle, &request[i], 1) != 1;
        MSleep(400);  // the whole request would take longer than one time-out
    }
    bool closedByPeer = false;
    EXPECT_EQ("", ReadUntilClosed(&silent, &closedByPeer));
    EXPECT_TRUE(closedByPeer);
    EXPECT_EQ("", ReadUntilClosed(&trickling));
    EXPECT_TRUE(WaitUntil([&] { return t.app.m_serverThreadCount == 0; }, 10000));
    std::vector<std::string> log = t.LogMessages();
    EXPECT_TRUE(log.empty() ||
                log == std::vector<std::string>{"ディスク情報を受信できませんでした。"})
        << ::testing::PrintToString(log);
}

TEST_F(ServerTest, AtMost64HandlersRunAndTheRestAreClosedAtOnceWithOneLogLinePerBurst) {
    // One at a time, so that the listen queue never overflows; from as many peers as
    // it takes, each within its share.
    std::vector<std::unique_ptr<FswSocket>> held;
    int peerNumber = 1;
    int ofPeer = 0;
    for (int i = 0; i < MAX_CONNECTION_HANDLERS; i++) {
        if (ofPeer >= PeerShare(i, ofPeer)) {
            peerNumber++;
            ofPeer = 0;
        }
        ofPeer++;
        held.emplace_back(new FswSocket);
        std::string peer = "127.0.0." + std::to_string(peerNumber);
        ASSERT_TRUE(ConnectLocalFrom(held.back().get(), port, peer.c_str()));
        ASSERT_TRUE(WaitUntil([&] { return t.app.m_serverThreadCount == i + 1; }, 2000));
    }
    for (int extra = 0; extra < 3; extra++) {
        FswSocket refused;
        ASSERT_TRUE(ConnectLocalFrom(&refused, port, "127.0.0.99"));
        MSetSocketTimeouts(refused.handle, 30000);
        std::string request = Request(t.dir.Path());
        refused.SendAll(request.data(), static_cast<int>(request.size()));
        EXPECT_EQ("", ReadUntilClosed(&refused)) << "connection " << extra + 65;
    }
    EXPECT_EQ(MAX_CONNECTION_HANDLERS, t.app.m_serverThreadCount) << "the 64 still wait";
    EXPECT_EQ(1u, t.LogCount("接続数が上限(64)に達しているため、新しい接続を切断します"));

    held.clear();  // the clients go; their handlers end
    ASSERT_TRUE(WaitUntil([&] { return t.app.m_serverThreadCount == 0; }, 10000));
    EXPECT_EQ(28u, Ask(Request(t.dir.Path())).size()) << "service resumed";
}

TEST_F(ServerTest, SurvivesGarbageAndStillAnswers) {
    std::mt19937 random(1825);
    for (int i = 0; i < 200; i++) {
        std::string garbage(random() % 64, '\0');
        for (char& c : garbage) {
            c = static_cast<char>(random());
        }
        if (i % 3 == 0 && garbage.size() >= 2) {
            garbage[0] = '\x07';  // valid magic, so the later checks are reached too
            garbage[1] = '\x21';
        }
        FswSocket client;
        ASSERT_TRUE(ConnectLocal(&client, port));
        client.SendAll(garbage.data(), static_cast<int>(garbage.size()));
        MShutdown(client.handle, M_SD_SEND);
        ReadUntilClosed(&client);
    }
    EXPECT_EQ(28u, Ask(Request(t.dir.Path())).size());
    EXPECT_TRUE(WaitUntil([&] { return t.app.m_serverThreadCount == 0; }, 10000));
}

TEST_F(ServerTest, StoppingWhileIdleLogsItsThreeLinesInOrderAndEndsTheListener) {
    t.StopServer();
    EXPECT_EQ((std::vector<std::string>{"クライアントからの受信を停止",
                                        "サーバの全スレッド終了待ち", "サーバを終了します"}),
              t.LogMessages());
    EXPECT_EQ(M_INVALID_SOCKET, t.app.m_listenSocket.handle);
    FswSocket late;
    EXPECT_FALSE(ConnectLocal(&late, port));
}

TEST_F(ServerTest, StoppingWaitsForAHandlerInTheMiddleOfARequest) {
    FswSocket silent;
    ASSERT_TRUE(ConnectLocal(&silent, port));
    MSetSocketTimeouts(silent.handle, 30000);
    ASSERT_TRUE(WaitUntil([&] { return t.app.m_serverThreadCount == 1; }, 4000));
    t.StopServer();
    EXPECT_EQ(0, t.app.m_serverThreadCount);
    bool closedByPeer = false;
    ReadUntilClosed(&silent, &closedByPeer);
    EXPECT_TRUE(closedByPeer);
    std::vector<std::string> log = t.LogMessages();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("サーバを終了します", log.back());
}

// Another program holds the port (here the test's listener), which may be another copy:
// one line that says so, and the server comes up once the port is free.
TEST(ServerPort, APortInUseIsTriedAgainWithOneLineAndServedOnceFree) {
    SetListenRetryInterval(50);
    TestApp t;
    std::unique_ptr<FswSocket> occupier(new FswSocket);
    ASSERT_TRUE(occupier->Create(6));
    sockaddr_in any;
    memset(&any, 0, sizeof any);
    any.sin_family = AF_INET;
    ASSERT_EQ(0, MBind(occupier->handle, &any));
    ASSERT_EQ(0, MListen(occupier->handle, 1));
    uint16_t busy = MGetLocalPort(occupier->handle);
    t.app.m_serverPort = busy;
    MThread server;
    ASSERT_TRUE(server.Start(ServerThread));
    EXPECT_FALSE(WaitForServerListening(server, 300));
    ASSERT_TRUE(WaitUntil([&] { return !t.LogMessages().empty(); }, 5000));
    std::string line =
        "ポート " + std::to_string(busy) +
        " は他のプログラムか fsw の別のコピーが使用しています。空くまで10秒ごとに確かめます";
    EXPECT_EQ(std::vector<std::string>{line}, t.LogMessages());
    occupier.reset();
    ASSERT_TRUE(WaitUntil([&] { return t.app.m_serverListening.load(); }, 5000));
    EXPECT_EQ((std::vector<std::string>{line, "待ち受けを開始しました (アドレス すべて, ポート " +
                                                  std::to_string(busy) + ")"}),
              t.LogMessages());
    EXPECT_EQ(28u, AskAt("127.0.0.1", busy, DiskRequest(t.dir.Path())).size());
    t.app.StopServer();
    EXPECT_TRUE(server.Wait());
    server.CloseHandle();
    SetListenRetryInterval(10000);
}

}  // namespace
