// Check cycles with a fake view: the counting of problems, the balloon of each level,
// one summary per cycle after the last result, the refusals of overlapping starts and
// guarded actions, and the stop's wait for the query threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/kiv.h"
#include "monitor/main_lifecycle.h"
#include "monitor/messages.h"
#include "tests/support/app_fixture.h"
#include "tests/support/cycle_view.h"
#include "tests/support/fake_peer.h"
#include "tests/support/message_sink.h"

namespace {

typedef CycleView FakeView;

CheckResult WithStatus(int32_t status) {
    CheckResult result;
    memset(&result, 0, sizeof result);
    result.status = status;
    return result;
}

std::vector<CheckResult> WithStatuses(std::vector<int32_t> statuses) {
    std::vector<CheckResult> results;
    for (int32_t status : statuses) {
        results.push_back(WithStatus(status));
    }
    return results;
}

TEST(CountProblems, CountsBelowAndErrorsAndRaisesTheLevel) {
    struct Case {
        std::vector<int32_t> statuses;
        unsigned level, below, errors;
    };
    const Case cases[] = {
        {{}, 1, 0, 0},        {{1, 1, 0}, 1, 0, 0},    {{0, 0, 6}, 1, 0, 0}, {{1, 2}, 2, 1, 0},
        {{3, 2}, 2, 2, 0},    {{5, 5}, 3, 0, 2},       {{2, 5}, 3, 1, 1},    {{4}, 4, 1, 0},
        {{5, 4, 2}, 4, 2, 1}, {{4, 5, 3, 1}, 4, 2, 1},
    };
    for (const Case& c : cases) {
        unsigned below = 99;
        unsigned errors = 99;
        EXPECT_EQ(c.level, CheckCycle::CountProblems(WithStatuses(c.statuses), &below, &errors))
            << ::testing::PrintToString(c.statuses);
        EXPECT_EQ(c.below, below) << ::testing::PrintToString(c.statuses);
        EXPECT_EQ(c.errors, errors) << ::testing::PrintToString(c.statuses);
    }
}

class CycleTest : public ::testing::Test {
protected:
    CycleTest() : view(&sink) {}

    // The summary over the given results with the given notification mode.
    std::vector<std::string> Summary(std::vector<int32_t> statuses, uint32_t notify) {
        t.app.m_results = WithStatuses(statuses);
        t.app.m_notify = notify;
        view.calls.clear();
        view.OnCycleDone();
        return view.calls;
    }

    TestApp t;
    MessageSink sink;
    FakeView view;
};

const std::string BELOW_1 = "空き領域がしきい値を下回ったディスクが 1個あります。";
const std::string BOTH_1_1 =
    "空き領域がしきい値を下回ったディスクが 1個あります。\r\n"
    "空き領域が確認できないディスクが 1個あります。";

TEST_F(CycleTest, TheBalloonOfEachRowOfTheTable) {
    EXPECT_EQ((std::vector<std::string>{"list 1", "balloon 空き領域減少 2 " + BELOW_1, "restore"}),
              Summary({STATUS_CAUTION}, 1));
    EXPECT_EQ((std::vector<std::string>{"list 2",
                                        "balloon 空き領域エラー 3 "
                                        "空き領域を確認できないディスクが 2個あります。",
                                        "restore"}),
              Summary({STATUS_ERROR, STATUS_ERROR}, 1));
    EXPECT_EQ(
        (std::vector<std::string>{"list 2", "balloon 空き領域エラー 3 " + BOTH_1_1, "restore"}),
        Summary({STATUS_CAUTION, STATUS_ERROR}, 1));
    EXPECT_EQ((std::vector<std::string>{"list 1", "balloon 空き領域減少 3 " + BELOW_1, "restore"}),
              Summary({STATUS_DANGER}, 1));
    EXPECT_EQ((std::vector<std::string>{"list 4",
                                        "balloon 空き領域減少 3 "
                                        "空き領域がしきい値を下回ったディスクが 2個あります。\r\n"
                                        "空き領域が確認できないディスクが 1個あります。",
                                        "restore"}),
              Summary({STATUS_WARNING, STATUS_DANGER, STATUS_ERROR, STATUS_NORMAL}, 1));
}

TEST_F(CycleTest, TheNotificationModeChoosesBalloonStatusWindowBothOrNothing) {
    EXPECT_EQ((std::vector<std::string>{"list 1", "restore"}), Summary({STATUS_DANGER}, 0));
    EXPECT_EQ((std::vector<std::string>{"list 1", "status", "restore"}),
              Summary({STATUS_DANGER}, 2));
    EXPECT_EQ((std::vector<std::string>{"list 1", "balloon 空き領域減少 3 " + BELOW_1, "status",
                                        "restore"}),
              Summary({STATUS_DANGER}, 3));
    EXPECT_EQ((std::vector<std::string>{"list 1", "balloon 空き領域減少 3 " + BELOW_1, "restore"}),
              Summary({STATUS_DANGER}, 5))
        << "only bits 0 and 1 count";
}

TEST_F(CycleTest, AllNormalOnlyRefreshesTheListAndRestoresTheTip) {
    EXPECT_EQ((std::vector<std::string>{"list 2", "restore"}),
              Summary({STATUS_NORMAL, STATUS_NORMAL, STATUS_NONE}, 3));
}

TEST_F(CycleTest, ThreeTargetsGiveThreeResultsAndExactlyOneSummaryAfterTheLast) {
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    uint16_t closedPort;
    {
        FakeServer gone;
        closedPort = gone.Port();
    }
    const char* path = t.dir.Path().c_str();
    t.app.m_hosts = {LocalTarget(port, path, 0, UNIT_PERCENT, "ok"),
                     LocalTarget(closedPort, path, 10, UNIT_PERCENT, "unreachable"),
                     LocalTarget(port, path, 4000000000u, UNIT_GB, "low")};
    t.app.m_notify = 1;
    view.StartCheck(TIMER_CHECK);
    ASSERT_TRUE(sink.WaitFor(WM_APP_CYCLE_DONE, 1, 30000));
    EXPECT_FALSE(sink.WaitFor(WM_APP_CYCLE_DONE, 2, 300)) << "one summary only";
    EXPECT_EQ(0, t.app.m_queryThreadCount);

    std::vector<int32_t> statuses;
    for (const CheckResult& result : t.app.m_results) {
        statuses.push_back(result.status);
    }
    std::sort(statuses.begin(), statuses.end());
    EXPECT_EQ((std::vector<int32_t>{STATUS_NORMAL, STATUS_DANGER, STATUS_ERROR}), statuses);
    EXPECT_EQ((std::vector<std::string>{"tip ディスク残量問合せ中...", "list 3",
                                        "balloon 空き領域減少 3 " + BOTH_1_1, "restore"}),
              view.calls);
}

// 100 rows against a server that holds every answer: never more than CYCLE_QUERY_THREADS
// queries at once, and each row answered; the results in host-list order, whichever
// thread ended first.
TEST_F(CycleTest, AHundredRowsRunAtMostTheBoundedNumberOfQueriesAtOnce) {
    SlowServer server(200);
    ASSERT_NE(0, server.Port());
    for (int i = 0; i < 100; i++) {
        std::string path = "/p" + std::to_string(i);
        t.app.m_hosts.push_back(LocalTarget(server.Port(), path.c_str(), 10, UNIT_PERCENT));
    }
    view.StartCheck(TIMER_CHECK);
    ASSERT_TRUE(sink.WaitFor(WM_APP_CYCLE_DONE, 1, 30000));
    EXPECT_EQ(100, server.Served());
    EXPECT_LE(server.Peak(), static_cast<int>(CYCLE_QUERY_THREADS));
    EXPECT_GT(server.Peak(), 1) << "the queries overlap";
    ASSERT_EQ(100u, t.app.m_results.size());
    for (size_t i = 0; i < 100; i++) {
        const CheckResult& result = t.app.m_results[i];
        EXPECT_EQ(STATUS_NORMAL, result.status) << result.path;
        EXPECT_EQ("/p" + std::to_string(i), result.path);
        EXPECT_EQ(i, result.listRow);
    }
}

// A reply trickled a byte a second and a name whose lookup never answers are errors
// within the query's bound of 10 s (2 s of slack for a busy machine), and the next
// cycle runs.
TEST_F(CycleTest, StalledTargetsAreErrorsWithinTheBoundAndTheNextCycleRuns) {
    HungResolver hung;
    FakeServer trickling;
    trickling.Serve(13, WireHeader(1825, 2, 0, 256, 16) + Be64(5) + Be64(9), 0, 1000);
    HostEntry unresolved = LocalTarget(trickling.Port(), "/", 10, UNIT_PERCENT, "unresolved");
    CopyField(unresolved.host, sizeof unresolved.host, "never-answers.test");
    t.app.m_hosts = {LocalTarget(trickling.Port(), "/", 10, UNIT_PERCENT, "trickling"), unresolved};
    view.StartCheck(TIMER_CHECK);
    ASSERT_TRUE(sink.WaitFor(WM_APP_CYCLE_DONE, 1, 12000));
    std::vector<std::string> log = t.LogMessages();
    std::sort(log.begin(), log.end());
    std::string port = std::to_string(trickling.Port());
    EXPECT_EQ((std::vector<std::string>{"127.0.0.1 (" + port + ") /: 時間内に応答がありません",
                                        "127.0.0.1 (" + port + ")H 受信エラー",
                                        "never-answers.test (" + port +
                                            ") /: 時間内に応答がありません",
                                        "never-answers.test (" + port + ")に接続できません"}),
              log);
    ASSERT_EQ(2u, t.app.m_results.size());
    for (const CheckResult& result : t.app.m_results) {
        EXPECT_EQ(STATUS_ERROR, result.status) << result.host;
        EXPECT_EQ(REASON_TIMED_OUT, result.reason) << result.host;
    }

    t.app.m_hosts.clear();
    view.calls.clear();
    view.StartCheck(TIMER_CHECK);
    EXPECT_EQ((std::vector<std::string>{"tip ディスク残量問合せ中...", "list 0", "restore"}),
              view.calls);
}

TEST_F(CycleTest, ExcludedTargetsStartNoThreadOnlyTheValue1Excludes) {
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    HostEntry excluded = LocalTarget(port, t.dir.Path().c_str(), 0, UNIT_PERCENT, "excluded");
    excluded.excluded = 1;
    HostEntry queried = LocalTarget(port, t.dir.Path().c_str(), 0, UNIT_PERCENT, "queried");
    queried.excluded = 2;
    t.app.m_hosts = {excluded, queried};
    view.StartCheck(TIMER_CHECK);
    ASSERT_TRUE(sink.WaitFor(WM_APP_CYCLE_DONE, 1, 30000));
    ASSERT_EQ(1u, t.app.m_results.size());
    EXPECT_STREQ("queried", t.app.m_results[0].description);
}

// localhost and 127.0.0.1 for one port and path are one target, asked once and shown as
// its first row spells it.
TEST_F(CycleTest, LocalhostAnd127001AreOneTargetShownAsTheFirstRowSpellsIt) {
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    const char* path = t.dir.Path().c_str();
    HostEntry spelled = LocalTarget(port, path, 0, UNIT_PERCENT, "by name");
    CopyField(spelled.host, sizeof spelled.host, "localhost");
    t.app.m_hosts = {spelled, LocalTarget(port, path, 0, UNIT_PERCENT, "by address")};
    view.StartCheck(TIMER_CHECK);
    ASSERT_TRUE(sink.WaitFor(WM_APP_CYCLE_DONE, 1, 30000));
    ASSERT_EQ(1u, t.app.m_results.size());
    EXPECT_STREQ("localhost", t.app.m_results[0].host);
    EXPECT_STREQ("by name", t.app.m_results[0].description);
    EXPECT_EQ(1u, t.LogCount("127.0.0.1 (" + std::to_string(port) + ") " + t.dir.Path() +
                             " は1行目のlocalhostと同じ対象のため問い合わせません"));
}

TEST_F(CycleTest, ACycleWithNoTargetToQuerySumsUpAtOnceWithAnEmptyList) {
    t.app.m_results = WithStatuses({STATUS_DANGER});  // the previous cycle's
    HostEntry excluded = LocalTarget(1, "/", 10, UNIT_PERCENT);
    excluded.excluded = 1;
    for (const std::vector<HostEntry>& hosts :
         {std::vector<HostEntry>{}, std::vector<HostEntry>{excluded}}) {
        t.app.m_hosts = hosts;
        view.calls.clear();
        view.StartCheck(TIMER_CHECK);
        EXPECT_EQ((std::vector<std::string>{"tip ディスク残量問合せ中...", "list 0", "restore"}),
                  view.calls);
        EXPECT_TRUE(t.app.m_results.empty());
        EXPECT_EQ(0, t.app.m_queryThreadCount);
    }
    EXPECT_FALSE(sink.WaitFor(WM_APP_CYCLE_DONE, 1, 100));
}

TEST_F(CycleTest, OtherTimersDoNothing) {
    t.app.m_hosts = {LocalTarget(1, "/", 10, UNIT_PERCENT)};
    t.app.m_results = WithStatuses({STATUS_NORMAL});
    view.StartCheck(TIMER_TRAY_RETRY);
    view.StartCheck(0);
    EXPECT_TRUE(view.calls.empty());
    EXPECT_EQ(1u, t.app.m_results.size());
    EXPECT_TRUE(t.LogMessages().empty());
}

TEST_F(CycleTest, ATickWhileACycleRunsLogsTheCountAndStartsNothing) {
    t.app.m_hosts = {LocalTarget(1, "/", 10, UNIT_PERCENT)};
    t.app.m_results = WithStatuses({STATUS_NORMAL});
    t.app.m_queryThreadCount = 2;
    view.StartCheck(TIMER_CHECK);
    t.app.m_queryThreadCount = 0;
    EXPECT_TRUE(view.calls.empty());
    EXPECT_EQ(1u, t.app.m_results.size()) << "the running cycle's results stay";
    EXPECT_EQ(std::vector<std::string>{"問合せ継続中... thread count ... 2"}, t.LogMessages());
}

TEST_F(CycleTest, TheGuardedStartRefusesWithABoxWhileACycleRunsAndStartsOtherwise) {
    MessageBoxRecorder boxes;
    HWND owner = sink.Handle();
    t.app.m_queryThreadCount = 1;
    view.GuardedStartCheck(owner);
    t.app.m_queryThreadCount = 0;
    EXPECT_TRUE(view.calls.empty());
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(owner, shown[0].owner);
    EXPECT_EQ("処理中", shown[0].caption);
    EXPECT_EQ("既に問合せ処理中！！", shown[0].text);
    EXPECT_EQ(unsigned{MB_ICONEXCLAMATION}, shown[0].type);

    t.app.m_client = 0;  // a start by hand runs with periodic cycles off too
    view.GuardedStartCheck(owner);
    EXPECT_EQ((std::vector<std::string>{"tip ディスク残量問合せ中...", "list 0", "restore"}),
              view.calls);
    EXPECT_EQ(1u, boxes.Boxes().size());
}

// A disk that loses 1 GB an hour with 9 GB left is full within a day: with FORECAST on,
// the summary comes up for it as for a disk below its threshold; with FORECAST=0 it does not.
TEST_F(CycleTest, ADiskSoonFullRaisesTheSummaryUnlessTheForecastIsOff) {
    const int64_t now = static_cast<int64_t>(time(nullptr));
    CheckResult result = WithStatus(STATUS_NORMAL);
    result.port = 50801;
    result.totalBytes = 100000000000ull;
    for (int hoursAgo = 4; hoursAgo >= 1; hoursAgo--) {
        result.checkTime = now - hoursAgo * 3600;
        result.freeBytes = (9 + hoursAgo) * 1000000000ull;
        t.app.m_history.Record({result}, 0, result.checkTime);
    }
    result.checkTime = now;
    result.freeBytes = 9000000000ull;
    t.app.m_results = {result};
    t.app.m_notify = 3;
    t.app.m_forecastDays = 1;
    view.OnCycleDone();
    EXPECT_EQ(
        (std::vector<std::string>{"list 1",
                                  "balloon 空き領域減少 2 "
                                  "空き領域が1日以内になくなる見込みのディスクが 1個あります。",
                                  "status", "restore"}),
        view.calls);
    t.app.m_forecastDays = 0;
    view.calls.clear();
    view.OnCycleDone();
    EXPECT_EQ((std::vector<std::string>{"list 1", "restore"}), view.calls);
}

TEST_F(CycleTest, AGuardedActionInProgressHoldsOffCyclesAndOtherGuardedActions) {
    MessageBoxRecorder boxes;
    t.app.m_hosts = {LocalTarget(1, "/", 10, UNIT_PERCENT)};
    {
        GuardedAction action(view);
        ASSERT_EQ(GUARD_GRANTED, action.Answer());
        view.StartCheck(TIMER_CHECK);  // a timer tick while one of its boxes is open
        EXPECT_EQ(GUARD_ACTION_RUNS, GuardedAction(view).Answer());
        view.GuardedStartCheck(sink.Handle());
    }
    EXPECT_TRUE(view.calls.empty());
    EXPECT_EQ(0, t.app.m_queryThreadCount);
    EXPECT_EQ(std::vector<std::string>{"他の操作の処理中のため問合せを見送ります"},
              t.LogMessages());
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(CheckCycle::GUARD_BUSY_TEXT, boxes.Boxes()[0].text);

    t.app.m_queryThreadCount = 1;
    EXPECT_EQ(GUARD_CYCLE_RUNS, GuardedAction(view).Answer());
    t.app.m_queryThreadCount = 0;
    EXPECT_EQ(GUARD_GRANTED, GuardedAction(view).Answer()) << "the mark went with its scope";
}

// The last query thread lowers the count under m_queryCountLock and lets go of it
// after; the stop must not end (and the locks be deleted after it) before it has,
// whatever CLIENT says.
TEST_F(CycleTest, TheStopEndsOnlyOnceTheLastQueryThreadHasLetGoOfTheCountLock) {
    for (uint32_t client : {0u, 1u}) {
        SCOPED_TRACE(client);
        t.app.m_client = client;
        std::atomic<bool> holding{false};
        std::atomic<bool> released{false};
        std::thread last([&] {
            MLockGuard hold(t.app.m_queryCountLock);  // the count is 0 already
            holding = true;
            MSleep(300);
            released = true;
        });
        ASSERT_TRUE(WaitUntil([&] { return holding.load(); }, 5000));
        view.StopRoles();
        EXPECT_TRUE(released.load());
        last.join();
    }
}

}  // namespace
