// The disk server left on a network: who may ask (ALLOW, SVADDR, the port, one peer's
// share), what reaches the log, measurements that never return, and stops under load.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "mlib/mcodepage.h"
#include "mlib/mdisk.h"
#include "mlib/msocket.h"
#include "net/disk_guard.h"
#include "net/server.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"

namespace {

typedef std::chrono::steady_clock Clock;

const std::string DISK_ERROR_REPLY = WireHeader(1825, 2, 0, 512, 0);

// Writes the settings file of the test's application object and loads it.
void Configure(TestApp* t, const std::string& keys) {
    BuildPath(t->app.m_iniPath, sizeof t->app.m_iniPath, t->dir.Path().c_str(), "fsw.ini");
    WriteFileBytes(t->app.m_iniPath, "[fsw]\r\n" + keys);
    t->app.LoadSettings();
}

std::string ListeningLine(const char* address, uint16_t port) {
    return std::string("待ち受けを開始しました (アドレス ") + address + ", ポート " +
           std::to_string(port) + ")";
}

size_t ReplySize(uint16_t port, const char* source, const std::string& path) {
    return AskFrom(port, source, DiskRequest(path)).size();
}

TEST(ServerAddress, SvaddrBindsOneAddressAndAMalformedOneKeepsTheServerDown) {
    {
        TestApp t;
        Configure(&t, "SVADDR=127.0.0.1\r\n");
        uint16_t port = t.StartServer();
        ASSERT_NE(0, port);
        EXPECT_EQ(std::vector<std::string>{ListeningLine("127.0.0.1", port)}, t.LogMessages());
        EXPECT_EQ(28u, ReplySize(port, "127.0.0.1", t.dir.Path()));
        FswSocket elsewhere;
        EXPECT_FALSE(elsewhere.Connect("127.0.0.2", port));
    }
    TestApp t;
    Configure(&t, "SVADDR=127.1\r\n");
    EXPECT_EQ(0, t.StartServer());
    EXPECT_EQ(std::vector<std::string>{"SVADDR の値が正しくないため、待ち受けできません (127.1)"},
              t.LogMessages());
}

TEST(ServerAddress, APortOutside1To65535IsRefusedInsteadOfWrapping) {
    for (uint32_t port : {0u, 70000u}) {
        TestApp t;
        t.app.m_serverPort = port;
        MThread thread;
        EXPECT_FALSE(StartServerThread(&thread));
        EXPECT_FALSE(thread.HasHandle());
        EXPECT_EQ((std::vector<std::string>{"サーバを起動します",
                                            "SVPORT の値 " + std::to_string(port) +
                                                " は使えません (1～65535)。サーバは起動しません"}),
                  t.LogMessages());
    }
}

TEST(ServerAllow, OnlyAllowedPeersAreServedAndTheRestClosedWithOneLineAMinute) {
    struct Case {
        const char* allow;
        std::vector<std::string> startLines;
        std::vector<std::pair<const char*, bool>> peers;  // served?
    };
    const std::vector<Case> cases = {
        {"127.0.0.1, 127.0.0.3",
         {"接続を許可するアドレス: 127.0.0.1,127.0.0.3"},
         {{"127.0.0.1", true}, {"127.0.0.2", false}, {"127.0.0.3", true}}},
        {"127.0.0.0/30",
         {"接続を許可するアドレス: 127.0.0.0/30"},
         {{"127.0.0.3", true}, {"127.0.0.4", false}}},
        {"bad,127.0.0.2/33, 127.0.0.3/31",
         {"ALLOW の項目が正しくないため無視します (bad)",
          "ALLOW の項目が正しくないため無視します (127.0.0.2/33)",
          "接続を許可するアドレス: 127.0.0.2/31"},
         {{"127.0.0.2", true}, {"127.0.0.1", false}}},
        {"nonsense",
         {"ALLOW の項目が正しくないため無視します (nonsense)",
          "ALLOW に有効な項目がないため、すべての接続を拒否します"},
         {{"127.0.0.1", false}}},
        {"", {}, {{"127.0.0.1", true}, {"127.0.0.2", true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.allow);
        TestApp t;
        Configure(&t, std::string("ALLOW=") + c.allow + "\r\n");
        uint16_t port = t.StartServer();
        ASSERT_NE(0, port);
        std::vector<std::string> expected = {ListeningLine("すべて", port)};
        expected.insert(expected.end(), c.startLines.begin(), c.startLines.end());
        EXPECT_EQ(expected, t.LogMessages());
        t.RestartLog();
        for (const auto& peer : c.peers) {
            for (int attempt = 0; attempt < 2; attempt++) {
                EXPECT_EQ(peer.second ? 28u : 0u, ReplySize(port, peer.first, t.dir.Path()))
                    << peer.first;
            }
            EXPECT_EQ(peer.second ? 0u : 1u,
                      t.LogCount(std::string("許可されていないアドレスからの接続を切断しました (") +
                                 peer.first + ")"))
                << peer.first;
        }
    }
}

TEST(ServerAllow, AReloadAppliesTheNewListAtOnceAndLogsIt) {
    TestApp t;
    Configure(&t, "");
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    EXPECT_EQ(28u, ReplySize(port, "127.0.0.2", t.dir.Path()));
    t.RestartLog();
    WriteFileBytes(t.app.m_iniPath, "[fsw]\r\nALLOW=127.0.0.1\r\n");
    t.app.LoadSettings();
    EXPECT_EQ(std::vector<std::string>{"接続を許可するアドレス: 127.0.0.1"}, t.LogMessages());
    EXPECT_EQ(0u, ReplySize(port, "127.0.0.2", t.dir.Path()));
    EXPECT_EQ(28u, ReplySize(port, "127.0.0.1", t.dir.Path()));
}

TEST(ServerShare, OnePeerHoldsAtMost16HandlersWhileOthersAreStillServed) {
    TestApp t;
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    std::vector<std::unique_ptr<FswSocket>> held;
    for (int i = 0; i < MAX_HANDLERS_PER_PEER; i++) {
        held.emplace_back(new FswSocket);
        ASSERT_TRUE(ConnectLocal(held.back().get(), port));
        ASSERT_TRUE(WaitUntil([&] { return t.app.m_serverThreadCount == i + 1; }, 2000));
    }
    for (int extra = 0; extra < 2; extra++) {
        EXPECT_EQ(0u, ReplySize(port, "127.0.0.1", t.dir.Path())) << "over its share";
    }
    EXPECT_EQ(28u, ReplySize(port, "127.0.0.2", t.dir.Path())) << "another peer";
    EXPECT_TRUE(
        WaitUntil([&] { return t.app.m_serverThreadCount == MAX_HANDLERS_PER_PEER; }, 2000));
    EXPECT_EQ(1u, t.LogCount("1つのアドレスからの接続数が上限(16)に達しているため切断しました "
                             "(127.0.0.1)"));
    held.clear();
    ASSERT_TRUE(WaitUntil([&] { return t.app.m_serverThreadCount == 0; }, 10000));
    EXPECT_EQ(28u, ReplySize(port, "127.0.0.1", t.dir.Path())) << "its share is free again";
}

TEST(ServerLog, APathFromTheNetworkWritesOneLineWithItsControlsAndStrayBytesEscaped) {
    TestApp t;
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    const std::string forged =
        "\r\n2024/01/07 08:05:09\tfsw\t[/] 空き容量 1バイト / 全体容量 1バイト";
    const std::string shown =
        "\\r\\n2024/01/07 08:05:09\\tfsw\\t[/] 空き容量 1バイト / 全体容量 1バイト";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"x\x1b[2J" + forged, "許可されていない形式のパスです。path=x\\x1b[2J" + shown},
        {t.dir.File("z") + "\x82",
         "ディスク情報を取得できませんでした。path=" + LoggedPath(t.dir.File("z")) + "\\x82"},
    };
    for (const auto& c : cases) {
        t.RestartLog();
        std::string wire = MAnsiToWire(c.first.data(), c.first.size());
        EXPECT_EQ(DISK_ERROR_REPLY, AskFrom(port, "127.0.0.1", DiskRequest(wire)));
        EXPECT_EQ(std::vector<std::string>{c.second}, t.LogMessages());
    }
}

// Every handler ends before the end line, also when the stop comes while connections
// are being handed over; the locks are deleted right after each round.
TEST(ServerStop, StopsUnderLoadLeaveNoHandlerRunningPastTheEndLine) {
    for (int round = 0; round < 20; round++) {
        TestApp t;
        uint16_t port = t.StartServer();
        ASSERT_NE(0, port);
        std::string request = DiskRequest(t.dir.Path());
        std::atomic<bool> done(false);
        std::vector<std::thread> clients;
        for (int i = 0; i < 8; i++) {
            clients.emplace_back([&] {
                while (!done) {
                    AskFrom(port, "127.0.0.1", request);
                }
            });
        }
        MSleep(20);
        t.StopServer();
        EXPECT_EQ(0, LiveHandlerThreads()) << "round " << round;
        std::vector<std::string> atStop = t.LogMessages();
        done = true;
        for (std::thread& client : clients) {
            client.join();
        }
        MSleep(20);
        EXPECT_EQ(atStop, t.LogMessages()) << "round " << round;
        ASSERT_FALSE(atStop.empty());
        EXPECT_EQ("サーバを終了します", atStop.back()) << "round " << round;
    }
}

// Measurements of paths that hold "hung" wait until the gate opens, as on a mount
// whose server has gone; the others are real. The gate is never freed: a thread may
// return from it after its test.
struct Gate {
    std::mutex lock;
    std::condition_variable opened;
    bool open = true;
};

Gate& TheGate() {
    static Gate* gate = new Gate;
    return *gate;
}

bool MeasureOrHang(const char* path, uint64_t* freeBytes, uint64_t* totalBytes) {
    if (strstr(path, "hung") == nullptr) {
        return MMeasureVolume(path, freeBytes, totalBytes);
    }
    Gate& gate = TheGate();
    std::unique_lock<std::mutex> hold(gate.lock);
    gate.opened.wait(hold, [&] { return gate.open; });
    return false;
}

const char TIMED_OUT[] = "ディスク容量の取得が時間内に終わりません。path=";

class HungMeasurementTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetGate(false);
        MSetDiskFreeSpaceHook(MeasureOrHang);
    }
    void TearDown() override {
        SetGate(true);
        EXPECT_TRUE(WaitUntil([] { return TheDiskGuard().StuckCount() == 0; }, 5000))
            << "a thread left in the file system returns once it answers";
        MSetDiskFreeSpaceHook(nullptr);
    }
    static void SetGate(bool open) {
        {
            std::lock_guard<std::mutex> hold(TheGate().lock);
            TheGate().open = open;
        }
        TheGate().opened.notify_all();
    }
};

TEST_F(HungMeasurementTest, AHungPathIsAnswered512WithinSixSecondsWhileOtherPathsAreAnswered) {
    TestApp t;
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    t.RestartLog();
    std::string hung = t.dir.File("hung");
    std::vector<PendingRequest> waiting;
    for (int i = 0; i <= MAX_HANDLERS_PER_PATH; i++) {  // one more than the path's share
        waiting.push_back(
            SendFrom(port, i % 2 == 0 ? "127.0.0.1" : "127.0.0.2", DiskRequest(hung)));
    }
    EXPECT_EQ(28u, ReplySize(port, "127.0.0.3", t.dir.Path())) << "other paths meanwhile";
    for (PendingRequest& pending : waiting) {
        EXPECT_EQ(DISK_ERROR_REPLY, ReadUntilClosed(pending.socket.get()));
        EXPECT_LT(SecondsSince(pending.sent), 6.0);
    }
    EXPECT_EQ(static_cast<size_t>(MAX_HANDLERS_PER_PATH), t.LogCount(TIMED_OUT + LoggedPath(hung)));
    EXPECT_EQ(1u, t.LogCount("同じパスへの問い合わせが多すぎます。path=" + LoggedPath(hung)));
    EXPECT_EQ(1, TheDiskGuard().StuckCount()) << "one thread in the file system for the path";

    Clock::time_point asked = Clock::now();
    EXPECT_EQ(DISK_ERROR_REPLY, AskFrom(port, "127.0.0.1", DiskRequest(hung)));
    EXPECT_LT(SecondsSince(asked), 1.0) << "a stuck path is not waited for again";
    EXPECT_EQ(1u, t.LogCount("このパスのディスク容量の取得がまだ終わっていません。path=" +
                             LoggedPath(hung)));
}

TEST_F(HungMeasurementTest, TheStopEndsWithinSixSecondsAndSixteenStuckPathsRefuseTheRest) {
    {
        TestApp t;
        uint16_t port = t.StartServer();
        ASSERT_NE(0, port);
        std::vector<PendingRequest> waiting;
        for (int i = 0; i < MAX_STUCK_MEASUREMENTS; i++) {
            waiting.push_back(
                SendFrom(port, "127.0.0.1", DiskRequest(t.dir.File("hung" + std::to_string(i)))));
        }
        ASSERT_TRUE(
            WaitUntil([&] { return t.app.m_serverThreadCount == MAX_STUCK_MEASUREMENTS; }, 5000));
        Clock::time_point stopping = Clock::now();
        t.StopServer();
        EXPECT_LT(SecondsSince(stopping), 6.0);
        for (PendingRequest& pending : waiting) {
            EXPECT_EQ(DISK_ERROR_REPLY, ReadUntilClosed(pending.socket.get()));
        }
        EXPECT_EQ("サーバを終了します", t.LogMessages().back());
    }
    EXPECT_EQ(MAX_STUCK_MEASUREMENTS, TheDiskGuard().StuckCount());
    TestApp t;
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    t.RestartLog();
    EXPECT_EQ(DISK_ERROR_REPLY, AskFrom(port, "127.0.0.1", DiskRequest(t.dir.Path())));
    EXPECT_EQ(std::vector<std::string>{"終わらないディスク容量の取得が多すぎます。path=" +
                                       LoggedPath(t.dir.Path())},
              t.LogMessages());
    SetGate(true);
    ASSERT_TRUE(WaitUntil([] { return TheDiskGuard().StuckCount() == 0; }, 5000));
    EXPECT_EQ(28u, ReplySize(port, "127.0.0.1", t.dir.Path())) << "once they have returned";
}

}  // namespace
