// The query client against fake servers on 127.0.0.1: the request it sends, every rule
// of a reply with its status and log lines, the grading of the sizes, and the record it
// stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/kiv.h"
#include "app/wall_clock.h"
#include "mlib/mcodepage.h"
#include "mlib/mdisk.h"
#include "mlib/msys.h"
#include "mlib/mvolumes.h"
#include "monitor/messages.h"
#include "net/cycle_queue.h"
#include "net/query_client.h"
#include "net/server.h"
#include "net/volume_list.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"
#include "tests/support/message_sink.h"

namespace {

// The worked values of the grading, through the limit and value of each unit.
TEST(Grading, TheWorkedValuesGiveTheirStatuses) {
    struct Case {
        uint32_t threshold;
        uint32_t unit;
        uint64_t freeBytes;
        uint64_t totalBytes;
        CheckStatus status;
    };
    const uint64_t MiB = 1048576;
    const Case cases[] = {
        {20, UNIT_PERCENT, 15, 1000, STATUS_DANGER},
        {20, UNIT_PERCENT, 50, 1000, STATUS_WARNING},
        {20, UNIT_PERCENT, 200, 1000, STATUS_CAUTION},
        {20, UNIT_PERCENT, 201, 1000, STATUS_NORMAL},
        {1000, UNIT_MB, 100 * MiB, 0, STATUS_DANGER},
        {1000, UNIT_MB, 499 * MiB, 0, STATUS_WARNING},
        {1000, UNIT_MB, 500 * MiB, 0, STATUS_CAUTION},
        {1000, UNIT_MB, 1001 * MiB, 0, STATUS_NORMAL},
    };
    for (const Case& c : cases) {
        uint64_t value = MeasuredValue(c.unit, c.freeBytes, c.totalBytes);
        EXPECT_EQ(c.status, GradeFreeSpace(value, ThresholdLimit(c.threshold, c.unit)))
            << c.threshold << " unit " << c.unit << " free " << c.freeBytes;
    }
}

TEST(Grading, BoundariesOfTheHalfAndTheTenth) {
    EXPECT_EQ(STATUS_DANGER, GradeFreeSpace(100, 1000));  // exactly a tenth
    EXPECT_EQ(STATUS_WARNING, GradeFreeSpace(101, 1000));
    EXPECT_EQ(STATUS_WARNING, GradeFreeSpace(499, 1000));
    EXPECT_EQ(STATUS_CAUTION, GradeFreeSpace(500, 1000));  // exactly half: the test is strict
    EXPECT_EQ(STATUS_CAUTION, GradeFreeSpace(1000, 1000));
    EXPECT_EQ(STATUS_NORMAL, GradeFreeSpace(1001, 1000));
    EXPECT_EQ(STATUS_DANGER, GradeFreeSpace(0, 0));  // threshold 0
    EXPECT_EQ(STATUS_NORMAL, GradeFreeSpace(1, 0));
}

// A cycle's rows in turn: each gets the cycle's time left, a turn with less than
// CYCLE_QUERY_MIN_MS left is late, and the volumes of all rows share one cap.
TEST(CycleQueue, RowsInTurnLateTurnsAndTheVolumeCap) {
    typedef std::chrono::steady_clock Clock;
    Clock::time_point start = Clock::now();
    CycleQueue queue;
    queue.Start({3, 5, 7}, start + std::chrono::milliseconds(5000));
    const struct {
        int atMs;
        CycleQueue::Turn turn;
        size_t row;
        unsigned leftMs;
    } turns[] = {{0, CycleQueue::TURN_QUERY, 3, 5000},
                 {4001, CycleQueue::TURN_LATE, 5, 0},
                 {4000, CycleQueue::TURN_QUERY, 7, 1000},
                 {0, CycleQueue::TURN_DONE, 99, 99}};
    for (const auto& c : turns) {
        size_t row = 99;
        unsigned leftMs = 99;
        EXPECT_EQ(c.turn, queue.Next(start + std::chrono::milliseconds(c.atMs), &row, &leftMs))
            << c.row;
        EXPECT_EQ(c.row, row);
        EXPECT_EQ(c.leftMs, leftMs) << c.row;
    }
    EXPECT_EQ(600u, queue.TakeVolumes(600));
    EXPECT_EQ(CYCLE_MAX_VOLUMES - 600, queue.TakeVolumes(600));
    EXPECT_EQ(0u, queue.TakeVolumes(1));
}

class QueryTest : public ::testing::Test {
protected:
    CheckResult Query(const HostEntry& target) { return RunQuery(&t, &sink, target); }

    // The target's result when the fake server answers the reply bytes.
    CheckResult QueryWithReply(const std::string& reply, const char* path = "/data",
                               uint32_t threshold = 10, uint32_t unit = UNIT_PERCENT) {
        server.Serve(12 + static_cast<int>(MAnsiToWire(path, strlen(path)).size()), reply);
        // The fake serves one connection: the row's folder growth counts as asked already.
        t.app.m_folderGrowth.Store("127.0.0.1", server.Port(), path, GROWTH_NOT_SERVED, {}, UnixNow());
        CheckResult result = Query(LocalTarget(server.Port(), path, threshold, unit, "説明"));
        request = server.Received();
        return result;
    }

    std::string Hp() const { return "127.0.0.1 (" + std::to_string(server.Port()) + ")"; }

    static std::string Sizes(uint64_t freeBytes, uint64_t totalBytes) {
        return WireHeader(1825, 2, 0, 256, 16) + Be64(freeBytes) + Be64(totalBytes);
    }

    TestApp t;
    MessageSink sink;
    FakeServer server;
    std::string request;
};

TEST_F(QueryTest, SendsOneRequestInNetworkOrderAndGradesTheAnswer) {
    CheckResult result = QueryWithReply(Sizes(150, 1000), "/data", 20, UNIT_PERCENT);
    EXPECT_EQ(WireHeader(1825, 2, 1, 0, 5) + "/data", request);
    EXPECT_EQ(STATUS_CAUTION, result.status);
    EXPECT_EQ(150u, result.value);
    EXPECT_EQ(150u, result.freeBytes);
    EXPECT_EQ(1000u, result.totalBytes);
    EXPECT_EQ(20u, result.threshold);
    EXPECT_EQ(unsigned{UNIT_PERCENT}, result.unit);
    EXPECT_STREQ("127.0.0.1", result.host);
    EXPECT_STREQ("/data", result.path);
    EXPECT_STREQ("説明", result.description);
    EXPECT_GE(result.year, 2020);
    EXPECT_TRUE(t.LogMessages().empty());
}

TEST_F(QueryTest, APathTravelsAsShiftJisAndKeepsItsOwnTextInTheResult) {
    CheckResult result = QueryWithReply(Sizes(1, 2), "/表");
    EXPECT_EQ(WireHeader(1825, 2, 1, 0, 3) + "/\x95\x5C", request);
    EXPECT_STREQ("/表", result.path);
}

TEST_F(QueryTest, EachFaultOfTheReplyGivesItsStatusReasonAndLogLines) {
    struct Case {
        const char* what;
        std::string reply;
        CheckStatus status;
        ErrorReason reason;
        std::vector<std::string> log;  // with "HP" standing for host and port
    };
    const Case cases[] = {
        {"nothing", "", STATUS_ERROR, REASON_CLOSED, {"HPH 受信エラー"}},
        {"short header",
         WireHeader(1825, 2, 0, 256, 16).substr(0, 7),
         STATUS_ERROR,
         REASON_CLOSED,
         {"HPH 受信エラー"}},
        {"garbage", std::string(40, '\xAB'), STATUS_ERROR, REASON_BAD_REPLY, {"HPパケットエラー"}},
        {"version 3",
         WireHeader(1825, 3, 0, 256, 16) + Be64(1) + Be64(2),
         STATUS_ERROR,
         REASON_BAD_REPLY,
         {"未対応バージョン : 3", "HPパケットエラー"}},
        {"disk error", WireHeader(1825, 2, 0, 512, 0), STATUS_ERROR, REASON_NOT_MEASURED, {}},
        // A broken body is an error like a broken header: the target is listed and
        // counted, not hidden.
        {"no body", WireHeader(1825, 2, 0, 256, 16), STATUS_ERROR, REASON_BAD_REPLY,
         {"HP受信エラー"}},
        {"short body",
         WireHeader(1825, 2, 0, 256, 16) + "0123456789",
         STATUS_ERROR,
         REASON_BAD_REPLY,
         {"HP受信エラー"}},
        {"body of 8", WireHeader(1825, 2, 0, 256, 8) + Be64(5), STATUS_ERROR, REASON_BAD_REPLY,
         {"HP受信エラー"}},
        {"length 0", WireHeader(1825, 2, 0, 256, 0), STATUS_ERROR, REASON_BAD_REPLY,
         {"HP受信エラー"}},
        {"body of 20",
         WireHeader(1825, 2, 0, 256, 20) + Be64(5) + Be64(9) + "1234",
         STATUS_ERROR,
         REASON_BAD_REPLY,
         {"HP受信データエラー"}},
        {"more free than total",
         WireHeader(1825, 2, 0, 256, 16) + Be64(2001) + Be64(1000),
         STATUS_ERROR,
         REASON_BAD_REPLY,
         {"HP受信データエラー"}},
        // No volume holds nothing: graded, it would be 危険 at "0.0 %".
        {"a total of 0",
         WireHeader(1825, 2, 0, 256, 16) + Be64(0) + Be64(0),
         STATUS_ERROR,
         REASON_BAD_REPLY,
         {"HP受信データエラー"}},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::remove(t.dir.File("fsw.log").c_str());
        t.app.OpenLog(t.dir.File("fsw.log").c_str(), LOG_OVERWRITE);
        // A target of its own, whose first error is a change of its reason.
        std::string path = "/" + std::to_string(index++);
        CheckResult result = QueryWithReply(c.reply, path.c_str());
        EXPECT_EQ(c.status, result.status) << c.what;
        EXPECT_EQ(c.reason, result.reason) << c.what;
        EXPECT_EQ(0u, result.value) << c.what;
        EXPECT_EQ(10u, result.threshold) << c.what;
        std::vector<std::string> expected;
        for (std::string line : c.log) {
            expected.push_back(line.find("HP") == 0 ? Hp() + line.substr(2) : line);
        }
        expected.push_back(Hp() + " " + path + ": " + ErrorReasonText(c.reason));
        EXPECT_EQ(expected, t.LogMessages()) << c.what;
    }
}

// A reason is logged when it changes: the same failure in the next cycle adds no line,
// another reason adds its lines, and an answer again says so once.
TEST_F(QueryTest, AReasonIsLoggedOncePerChange) {
    const std::string closed = Hp() + "H 受信エラー";
    const std::string reason = Hp() + " /data: 応答せずに切断されました";
    const std::string bad = Hp() + " /data: 応答が正しくありません";
    const std::string again = Hp() + " /data: 再び確認できました";
    const struct {
        std::string reply;
        std::vector<std::string> log;
    } cycles[] = {
        {"", {closed, reason}},
        {"", {closed, reason}},
        {std::string(40, '\xAB'), {closed, reason, Hp() + "パケットエラー", bad}},
        {Sizes(500, 1000), {closed, reason, Hp() + "パケットエラー", bad, again}},
        {Sizes(500, 1000), {closed, reason, Hp() + "パケットエラー", bad, again}},
    };
    for (const auto& c : cycles) {
        QueryWithReply(c.reply);
        EXPECT_EQ(c.log, t.LogMessages());
    }
}

// The failures no fake peer brings about on demand: a request that does not go out,
// the time limit in each step, and the stop.
TEST(QueryFailureLines, EachFailureKindHasItsLine) {
    struct Case {
        DiskQueryOutcome outcome;
        DiskQueryStage stage;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {DISK_QUERY_SEND_FAILED, DISK_QUERY_SENDING, {"h (7)送信エラー"}},
        {DISK_QUERY_TIMED_OUT, DISK_QUERY_CONNECTING, {"h (7)に接続できません"}},
        {DISK_QUERY_TIMED_OUT, DISK_QUERY_SENDING, {"h (7)送信エラー"}},
        {DISK_QUERY_TIMED_OUT, DISK_QUERY_READING_HEADER, {"h (7)H 受信エラー"}},
        {DISK_QUERY_TIMED_OUT, DISK_QUERY_READING_BODY, {"h (7)受信エラー"}},
        {DISK_QUERY_CANCELLED, DISK_QUERY_READING_BODY, {"h (7)問合せを中止しました"}},
        {DISK_QUERY_NEWER_VERSION,
         DISK_QUERY_READING_HEADER,
         {"未対応バージョン : 9", "h (7)パケットエラー"}},
    };
    for (const Case& c : cases) {
        TestApp t;
        DiskQueryResult query;
        memset(&query, 0, sizeof query);
        query.outcome = c.outcome;
        query.stage = c.stage;
        query.version = 9;
        LogQueryFailure("h", 7, query);
        EXPECT_EQ(c.log, t.LogMessages()) << c.outcome << " at " << c.stage;
    }
}

TEST_F(QueryTest, OlderReplyVersionsAndAnyReplyTypeAreAccepted) {
    std::string reply = WireHeader(1825, 1, 7, 256, 16) + Be64(900) + Be64(1000);
    EXPECT_EQ(STATUS_NORMAL, QueryWithReply(reply).status);
}

TEST_F(QueryTest, ATargetThatCannotBeReachedIsAnErrorWithItsThresholdAndTime) {
    uint16_t closedPort;
    {
        FakeServer gone;
        closedPort = gone.Port();
    }
    CheckResult result = Query(LocalTarget(closedPort, "/", 5, UNIT_GB, "d"));
    EXPECT_EQ(STATUS_ERROR, result.status);
    EXPECT_EQ(0u, result.value);
    EXPECT_EQ(5u, result.threshold);
    EXPECT_EQ(unsigned{UNIT_GB}, result.unit);
    EXPECT_EQ(closedPort, result.port);
    EXPECT_EQ(0u, result.freeBytes);
    EXPECT_GE(result.year, 2020);
    EXPECT_GT(result.checkTime, 1577836800);  // 2020
    EXPECT_EQ(REASON_REFUSED, result.reason);
    std::string hp = "127.0.0.1 (" + std::to_string(closedPort) + ")";
    EXPECT_EQ((std::vector<std::string>{hp + "に接続できません", hp + " /: 接続を拒否されました"}),
              t.LogMessages());
}

TEST_F(QueryTest, EdgeCasesOfTheUnitsThroughTheWire) {
    // No volume has a size of 0: such a reply is an error, whatever the unit, not a danger.
    EXPECT_EQ(STATUS_ERROR, QueryWithReply(Sizes(0, 0), "/", 1, UNIT_PERCENT).status);
    EXPECT_EQ(STATUS_ERROR, QueryWithReply(Sizes(0, 0), "/", 1, UNIT_GB).status);
    // Unit 7 compares bytes.
    EXPECT_EQ(STATUS_CAUTION, QueryWithReply(Sizes(7, 100), "/", 7, 7).status);
    EXPECT_EQ(STATUS_NORMAL, QueryWithReply(Sizes(8, 100), "/", 7, 7).status);
    // 4000000000 GB does not overflow: free space equal to it is at the threshold.
    uint64_t limit = 4000000000ull * 1073741824ull;
    CheckResult at = QueryWithReply(Sizes(limit, ~0ull), "/", 4000000000u, UNIT_GB);
    EXPECT_EQ(STATUS_CAUTION, at.status);
    EXPECT_EQ(limit, at.value);
    EXPECT_EQ(STATUS_NORMAL,
              QueryWithReply(Sizes(limit + 1, ~0ull), "/", 4000000000u, UNIT_GB).status);
    // Threshold 0: only an empty volume is in danger.
    EXPECT_EQ(STATUS_DANGER, QueryWithReply(Sizes(0, 100), "/", 0, UNIT_MB).status);
    EXPECT_EQ(STATUS_NORMAL, QueryWithReply(Sizes(1, 100), "/", 0, UNIT_MB).status);
}

TEST_F(QueryTest, AnEmptyPathIsAnsweredWithNothingByTheRealServer) {
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    CheckResult result = Query(LocalTarget(port, "", 10, UNIT_PERCENT));
    EXPECT_EQ(STATUS_ERROR, result.status);
    std::vector<std::string> log = t.LogMessages();
    EXPECT_NE(log.end(), std::find(log.begin(), log.end(), "ディスク情報を受信できませんでした。"));
    EXPECT_NE(log.end(), std::find(log.begin(), log.end(),
                                   "127.0.0.1 (" + std::to_string(port) + ")H 受信エラー"));
}

TEST_F(QueryTest, TheRealServerAnswersTheRealClient) {
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    CheckResult result = Query(LocalTarget(port, t.dir.Path().c_str(), 0, UNIT_PERCENT));
    EXPECT_EQ(STATUS_NORMAL, result.status) << "threshold 0 % on a volume with room";
    EXPECT_GT(result.value, 0u);
    EXPECT_LE(result.value, 1000u);
}

// A row of the host list with an IPv6 address, with or without brackets, is checked and
// keeps the host as the list writes it; a name with only an IPv6 address too. Doubled
// brackets name no server, not even the address inside them.
TEST_F(QueryTest, AHostListRowWithAnIPv6AddressOrNameIsChecked) {
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    FixedResolver resolver({"::1"});
    const struct {
        const char* host;
        int32_t status;
        int32_t reason;
    } cases[] = {{"::1", STATUS_NORMAL, REASON_NONE},
                 {"[::1]", STATUS_NORMAL, REASON_NONE},
                 {"v6only.test", STATUS_NORMAL, REASON_NONE},
                 {"[[::1]]", STATUS_ERROR, REASON_UNRESOLVED}};
    for (const auto& c : cases) {
        HostEntry target = LocalTarget(port, t.dir.Path().c_str(), 0, UNIT_PERCENT);
        CopyField(target.host, sizeof target.host, c.host);
        CheckResult result = Query(target);
        EXPECT_EQ(c.status, result.status) << c.host;
        EXPECT_EQ(c.reason, result.reason) << c.host;
        EXPECT_STREQ(c.host, result.host);
    }
}

// The volumes the real server lists in the tests below.
std::vector<std::string> g_listed;
bool ListForTest(bool, std::vector<std::string>* paths) {
    *paths = g_listed;
    return true;
}

class AllVolumesTest : public QueryTest {
protected:
    AllVolumesTest() { MSetVolumeListHook(ListForTest); }
    ~AllVolumesTest() override { MSetVolumeListHook(nullptr); }

    std::vector<std::string> PathsOf(const std::vector<CheckResult>& results) {
        std::vector<std::string> paths;
        for (const CheckResult& result : results) {
            paths.push_back(result.path);
            EXPECT_TRUE(result.ofAllVolumes) << result.path;
            EXPECT_STREQ("説明", result.description);
        }
        return paths;
    }
};

TEST_F(AllVolumesTest, AnOldServerGivesNoListAndTheRowSaysSo) {
    server.Serve(12, "");
    std::vector<CheckResult> results =
        RunQueries(&t, &sink, {LocalTarget(server.Port(), "*", 10, UNIT_PERCENT, "説明")}, 0);
    EXPECT_EQ(WireHeader(1825, 2, 2, 0, 0), server.Received());
    ASSERT_EQ(std::vector<std::string>{"*"}, PathsOf(results));
    EXPECT_EQ(STATUS_ERROR, results[0].status);
    EXPECT_EQ(REASON_CLOSED, results[0].reason);
    EXPECT_EQ(1u, t.LogCount(Hp() + "はボリューム一覧を返しませんでした (古い版のサーバか、この"
                                    "クライアントを許可していません)"));
}

TEST_F(AllVolumesTest, TheRealServerListsEachVolumeGradedAndTheUnmeasurableAsErrors) {
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    g_listed = {"/", t.dir.Path(), "/no/such/volume"};
    std::vector<CheckResult> results =
        RunQueries(&t, &sink, {LocalTarget(port, "*", 0, UNIT_PERCENT, "説明")}, 0);
    ASSERT_EQ(g_listed, PathsOf(results));
    EXPECT_EQ(STATUS_NORMAL, results[0].status);
    EXPECT_EQ(STATUS_NORMAL, results[1].status);
    EXPECT_GT(results[1].totalBytes, 0u);
    EXPECT_EQ(STATUS_ERROR, results[2].status);
    EXPECT_EQ(REASON_NOT_MEASURED, results[2].reason);
}

TEST_F(AllVolumesTest, AnExplicitRowOfTheSameServerTakesItsVolumeOut) {
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    g_listed = {"/", t.dir.Path()};
    std::vector<HostEntry> rows = {
        LocalTarget(port, "*", 10, UNIT_PERCENT, "説明"),
        LocalTarget(port, (t.dir.Path() + "/sub").c_str(), 10, UNIT_PERCENT, "other"),
        LocalTarget(port + 1, "/", 10, UNIT_PERCENT, "other port")};
    EXPECT_EQ(std::vector<std::string>{"/"}, PathsOf(RunQueries(&t, &sink, rows, 0)));
    // Excluded rows take no part: neither an earlier "*" row nor an explicit path.
    rows[0].excluded = 1;
    rows[1].excluded = 1;
    rows.push_back(LocalTarget(port, "*", 10, UNIT_PERCENT, "説明"));
    EXPECT_EQ(g_listed, PathsOf(RunQueries(&t, &sink, rows, 3)));
}

// No byte from a peer may make a line of the history, the log, the metrics or the status
// list: a listed path with any control byte is left out, as are "*" (the failed list's row)
// and a path listed twice, each with a log line; the rest are watched.
TEST_F(AllVolumesTest, ListedPathsThatCouldBreakALineOrShareARowAreLeftOut) {
    std::vector<std::string> paths = {"/ok", "*", "/ok",
                                      "/v\r\n2026/01/01 00:00:00\tvictim\t50801\t/\t4\t1\t100\r\n"};
    for (int c = 0; c < 0x20; c++) {
        paths.push_back("/v" + std::string(1, static_cast<char>(c == 0 ? 0x7F : c)) + "w");
    }
    paths.push_back(std::string("/v\0w", 4));
    std::string body = Be16(static_cast<uint16_t>(paths.size()));
    for (const std::string& path : paths) {
        body += Be16(0) + Be16(static_cast<uint16_t>(path.size())) + path + Be64(1) + Be64(2);
    }
    server.Serve(12, WireHeader(1825, 2, 0, 256, static_cast<uint32_t>(body.size())) + body);
    std::vector<CheckResult> results =
        RunQueries(&t, &sink, {LocalTarget(server.Port(), "*", 10, UNIT_PERCENT, "説明")}, 0);
    EXPECT_EQ(std::vector<std::string>{"/ok"}, PathsOf(results));
    EXPECT_EQ(1u, t.LogCount(Hp() + "の一覧のパス * は「*」であるため監視しません"));
    EXPECT_EQ(1u, t.LogCount(Hp() + "の一覧のパス /ok は重複しているため監視しません"));
    std::vector<std::string> lines = t.LogMessages();
    EXPECT_EQ(34, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                  return line.find("は制御文字を含むため監視しません") != std::string::npos;
              }));

    // A list with nothing to watch is one row that says so.
    server.Serve(12, WireHeader(1825, 2, 0, 256, 2) + Be16(0));
    results = RunQueries(&t, &sink, {LocalTarget(server.Port(), "*", 10, UNIT_PERCENT, "説明")}, 0);
    ASSERT_EQ(std::vector<std::string>{"*"}, PathsOf(results));
    EXPECT_EQ(STATUS_ERROR, results[0].status);
    EXPECT_TRUE(results[0].noVolumes);
}

std::atomic<bool> g_hangOn{false};
bool HangOnHung(const char* path, uint64_t* freeBytes, uint64_t* totalBytes) {
    for (int i = 0; g_hangOn && strcmp(path, "/hung") == 0 && i < 1000; i++) {
        MSleep(10);
    }
    return MMeasureVolume(path, freeBytes, totalBytes);
}

// A hung volume is listed as not measured in time, and the others still count.
TEST_F(AllVolumesTest, AHungVolumeIsListedUnmeasuredWithinTheBound) {
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    g_listed = {"/", "/hung"};
    g_hangOn = true;
    MSetDiskFreeSpaceHook(HangOnHung);
    std::vector<CheckResult> results =
        RunQueries(&t, &sink, {LocalTarget(port, "*", 0, UNIT_PERCENT, "説明")}, 0);
    g_hangOn = false;
    ASSERT_EQ(g_listed, PathsOf(results));
    EXPECT_EQ(STATUS_NORMAL, results[0].status);
    EXPECT_EQ(STATUS_ERROR, results[1].status);
    EXPECT_EQ(1u, t.LogCount("ディスク容量の取得が時間内に終わりません。path=/hung"));
    MSetDiskFreeSpaceHook(nullptr);
}

}  // namespace
