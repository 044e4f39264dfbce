// The notification command at the end of real cycle summaries, with a recording command:
// once for a problem, not again for the same state, again after RENOTIFY (test clock),
// once for the recovery; what it gets; descriptions that try to run something; the bound;
// a notification held while one runs, with the command as it is then; the stop, which
// ends a running one.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/kiv.h"
#include "app/wall_clock.h"
#include "mlib/mcommand.h"
#include "tests/support/app_fixture.h"
#include "tests/support/cycle_view.h"

namespace {

const int64_t START = 1800000000;  // the test clock's first cycle

CheckResult Target(const char* description, int32_t status) {
    CheckResult result;
    memset(&result, 0, sizeof result);
    strcpy(result.host, "192.0.2.7");
    result.port = 50801;
    strcpy(result.path, description);  // one target per description
    strcpy(result.description, description);
    result.threshold = 10;
    result.status = status;
    return result;
}

class NotifierTest : public ::testing::Test {
protected:
    NotifierTest() : view(&sink) {
        t.app.m_notify = 0;
        t.app.m_renotify = 1440;
        t.app.m_forecastDays = 0;
        // Each run appends a separator, its variables and its input to the record.
        t.app.m_notifyCommand =
            "{ echo =====; printf 'FSW_BELOW=%s\\nFSW_CHANGED=%s\\nFSW_ERRORS=%s\\nFSW_EVENT=%s\\n"
            "FSW_FORECAST=%s\\nFSW_HOST=%s\\nFSW_LEVEL=%s\\nFSW_TEXT=%s\\nFSW_TITLE=%s\\n"
            "FSW_REASONS=%s\\n' "
            "\"$FSW_BELOW\" \"$FSW_CHANGED\" \"$FSW_ERRORS\" \"$FSW_EVENT\" \"$FSW_FORECAST\" "
            "\"$FSW_HOST\" \"$FSW_LEVEL\" \"$FSW_TEXT\" \"$FSW_TITLE\" \"$FSW_REASONS\"; cat; } >> '" +
            t.dir.File("record") + "'";
        SetTestUnixNow(START);
    }
    ~NotifierTest() override { SetTestUnixNow(0); }

    // A cycle's summary at the test clock's minute, then the wait for its command.
    void Cycle(std::vector<CheckResult> results, int64_t minute) {
        SetTestUnixNow(START + minute * 60);
        t.app.m_results = results;
        view.OnCycleDone();
        ASSERT_TRUE(WaitUntil([&] { return !view.m_notifier.Running(); }, 20000));
    }
    // The runs recorded so far, each its variables and input.
    std::vector<std::string> Runs() const {
        std::vector<std::string> runs;
        std::string record = ReadFileBytes(t.dir.File("record"));
        size_t at = 0;
        while ((at = record.find("=====\n", at)) != std::string::npos) {
            at += 6;
            size_t next = record.find("=====\n", at);
            runs.push_back(record.substr(at, next == std::string::npos ? next : next - at));
        }
        return runs;
    }

    TestApp t;
    MessageSink sink;
    CycleView view;
};

bool Has(const std::string& run, const std::string& text) {
    return run.find(text) != std::string::npos;
}

TEST_F(NotifierTest, OnceForAProblemAgainAfterRenotifyOnceForTheRecovery) {
    CheckResult ok = Target("ok", STATUS_NORMAL);
    Cycle({ok, Target("low", STATUS_NORMAL)}, 0);
    EXPECT_TRUE(Runs().empty()) << "the first cycle, all normal";
    Cycle({ok, Target("low", STATUS_DANGER)}, 10);
    Cycle({ok, Target("low", STATUS_DANGER)}, 20);
    std::vector<std::string> runs = Runs();
    ASSERT_EQ(1u, runs.size());
    const std::string& problem = runs[0];
    EXPECT_EQ(
        "FSW_BELOW=1\nFSW_CHANGED=1\nFSW_ERRORS=0\nFSW_EVENT=problem\nFSW_FORECAST=0\n"
        "FSW_HOST=" +
            MGetHostName() +
            "\nFSW_LEVEL=4\n"
            "FSW_TEXT=空き領域がしきい値を下回ったディスクが "
            "1個あります。\nFSW_TITLE=空き領域減少\nFSW_REASONS=\n",
        problem.substr(0, problem.find("状態")));
    EXPECT_TRUE(Has(problem,
                    "状態\t最終確認日時\tホスト\tパス\tしきい値\t空き領域\t説明\t満杯予測"
                    "\t前回通知時\n"));
    EXPECT_TRUE(Has(problem, "\tok\t-\t正常\n")) << problem;
    EXPECT_TRUE(Has(problem, "\tlow\t-\t正常\n")) << "the grade at the last notification";

    Cycle({ok, Target("low", STATUS_DANGER)}, 10 + 1439);
    EXPECT_EQ(1u, Runs().size());
    Cycle({ok, Target("low", STATUS_DANGER)}, 10 + 1440);
    ASSERT_EQ(2u, Runs().size());
    EXPECT_TRUE(Has(Runs()[1], "FSW_EVENT=reminder\n"));
    EXPECT_TRUE(Has(Runs()[1], "FSW_CHANGED=0\n"));

    Cycle({ok, Target("low", STATUS_NORMAL)}, 1500);
    Cycle({ok, Target("low", STATUS_NORMAL)}, 5000);
    runs = Runs();
    ASSERT_EQ(3u, runs.size());
    EXPECT_TRUE(Has(runs[2], "FSW_EVENT=recovery\nFSW_FORECAST=0\n"));
    EXPECT_TRUE(Has(runs[2], "FSW_LEVEL=1\n"));
    EXPECT_TRUE(Has(runs[2], "FSW_TITLE=空き領域正常\n"));
    EXPECT_TRUE(Has(runs[2], "\tlow\t-\t危険\n")) << runs[2];
    std::vector<std::string> log = t.LogMessages();
    EXPECT_EQ(3u, t.LogCount("通知コマンドが終了しました。(終了コード=0)"));
    EXPECT_EQ(1u, t.LogCount("通知コマンドを実行します。(FSW_EVENT=recovery)"));
}

// The balloon's two lines reach the command with a line feed between them; each error
// row's reason is a line of FSW_REASONS.
TEST_F(NotifierTest, TheTwoLineTextHasALineFeedAndTheErrorsTheirReasons) {
    CheckResult gone = Target("gone", STATUS_ERROR);
    gone.reason = REASON_CLOSED;
    Cycle({Target("caution", STATUS_CAUTION), gone, Target("lost", STATUS_ERROR)}, 0);
    ASSERT_EQ(1u, Runs().size());
    EXPECT_TRUE(Has(Runs()[0],
                    "FSW_TEXT=空き領域がしきい値を下回ったディスクが 1個あります。\n"
                    "空き領域が確認できないディスクが 2個あります。\nFSW_TITLE="));
    EXPECT_TRUE(Has(Runs()[0], "FSW_REASONS=192.0.2.7 (50801) gone: 応答せずに切断されました\n"
                               "192.0.2.7 (50801) lost: エラー\n\n"))
        << Runs()[0];
}

// The command works in the test's folder, where the description's files would appear; the
// path names files there by their full names.
TEST_F(NotifierTest, DescriptionsAndPathsThatTryToRunSomethingRunNothing) {
    t.app.m_notifyCommand = "cd '" + t.dir.Path() + "' && " + t.app.m_notifyCommand;
    const std::string description = "$(touch R1)`touch R2`;touch R3&touch R4|touch R5";
    std::string marker = t.dir.File("P");
    std::string path = "$(touch " + marker + "1)`touch " + marker + "2`; touch " + marker +
                       "3 & touch " + marker + "4 | touch " + marker + "5";
    CheckResult hostile = Target("x", STATUS_ERROR);
    ASSERT_LT(description.size(), sizeof hostile.description);
    ASSERT_LT(path.size(), sizeof hostile.path);
    strcpy(hostile.description, description.c_str());
    strcpy(hostile.path, path.c_str());
    Cycle({hostile}, 0);
    ASSERT_EQ(1u, Runs().size());
    EXPECT_TRUE(Has(Runs()[0], "\t" + path + "\t")) << "passed on as it is";
    EXPECT_TRUE(Has(Runs()[0], "\t" + description + "\t"));
    for (int i = 1; i <= 5; i++) {
        EXPECT_FALSE(FileExists(t.dir.File("R" + std::to_string(i)))) << i;
        EXPECT_FALSE(FileExists(marker + std::to_string(i))) << i;
    }
}

TEST_F(NotifierTest, ACommandThatNeverEndsIsEndedAtTheBoundAndLogged) {
    view.m_notifier.SetTimeout(1000);
    t.app.m_notifyCommand = "echo waiting; sleep 1000";
    Cycle({Target("low", STATUS_WARNING)}, 0);
    EXPECT_EQ(1u, t.LogCount("通知コマンドが1秒で終わらないため終了させました。 waiting"))
        << ::testing::PrintToString(t.LogMessages());
}

// The first command runs for a while; two cycles meanwhile leave one notification held,
// the latest, which runs when the first has ended.
TEST_F(NotifierTest, ANotificationDueWhileOneRunsIsHeldAndTellsTheLatestState) {
    std::string command = t.app.m_notifyCommand;
    t.app.m_notifyCommand = "sleep 1; " + command;
    t.app.m_results = {Target("a", STATUS_DANGER)};
    view.OnCycleDone();
    ASSERT_TRUE(view.m_notifier.Running());
    t.app.m_results = {Target("a", STATUS_ERROR)};
    view.OnCycleDone();
    t.app.m_results = {Target("a", STATUS_CAUTION)};
    view.OnCycleDone();
    ASSERT_TRUE(WaitUntil([&] { return Runs().size() == 2 && !view.m_notifier.Running(); }, 20000));
    MSleep(200);
    std::vector<std::string> runs = Runs();
    ASSERT_EQ(2u, runs.size());
    EXPECT_TRUE(Has(runs[0], "\ta\t-\t-\n"));
    EXPECT_TRUE(Has(runs[1], "FSW_LEVEL=2\n"));
    EXPECT_TRUE(Has(runs[1], "\ta\t-\t危険\n")) << "compared with what was sent: " << runs[1];
    EXPECT_EQ(1u, t.LogCount("通知コマンドの実行中のため、通知を保留します。"));

    // Held, then no longer due: back to the state last sent before the running one ends.
    t.app.m_results = {Target("a", STATUS_NORMAL)};
    view.OnCycleDone();
    t.app.m_results = {Target("a", STATUS_DANGER)};
    view.OnCycleDone();
    t.app.m_results = {Target("a", STATUS_NORMAL)};
    view.OnCycleDone();
    ASSERT_TRUE(WaitUntil([&] { return !view.m_notifier.Running(); }, 20000));
    EXPECT_EQ(3u, Runs().size()) << "the recovery only";

    // A reload empties the command while one is held: the held one is dropped.
    t.app.m_notifyCommand = "sleep 1; printf '%s\\n' 'C:\\new'";
    t.app.m_results = {Target("a", STATUS_DANGER)};
    view.OnCycleDone();
    t.app.m_results = {Target("a", STATUS_ERROR)};
    view.OnCycleDone();
    view.m_notifier.SetCommand("");
    ASSERT_TRUE(WaitUntil([&] { return !view.m_notifier.Running(); }, 20000));
    EXPECT_EQ(1u, t.LogCount("通知コマンドが終了しました。(終了コード=0) C:\\\\new"))
        << "once, the backslash doubled as in any outside text: the held one was dropped";
}

// The stop ends the command, its children, and one that left its session with setsid.
TEST_F(NotifierTest, TheStopEndsARunningCommandWithItsChildren) {
    std::string pidFile = t.dir.File("command.pid");
    t.app.m_notifyCommand =
        "setsid sh -c 'echo $$ > \"" + pidFile + "\"; exec sleep 60' & sleep 60";
    t.app.m_results = {Target("a", STATUS_DANGER)};
    view.OnCycleDone();
    std::string pid;
    ASSERT_TRUE(WaitUntil([&] { return !(pid = ReadFileBytes(pidFile)).empty(); }, 10000));
    view.StopRoles();
    std::string stat = "/proc/" + pid.substr(0, pid.find('\n')) + "/stat";
    EXPECT_TRUE(WaitUntil(
        [&] {
            std::string text = ReadFileBytes(stat);
            return text.empty() || text.find(") Z") != std::string::npos;
        },
        5000))
        << "the setsid grandchild ended";
    kill(atoi(pid.c_str()), SIGKILL);
    EXPECT_FALSE(view.m_notifier.Running());
    EXPECT_EQ(1u, t.LogCount("実行中の通知コマンドを終了させます。"));
}

TEST_F(NotifierTest, NoCommandNoRunAndTheFirstCycleAfterItIsSetIsAFirstCycle) {
    std::string command = t.app.m_notifyCommand;
    t.app.m_notifyCommand.clear();
    Cycle({Target("a", STATUS_DANGER)}, 0);
    EXPECT_EQ(0u, t.LogCount("通知コマンドを実行します。(FSW_EVENT=problem)"));
    t.app.m_notifyCommand = command;
    Cycle({Target("a", STATUS_DANGER)}, 1);
    ASSERT_EQ(1u, Runs().size());
    EXPECT_TRUE(Has(Runs()[0], "FSW_EVENT=problem\n"));
}

}  // namespace
