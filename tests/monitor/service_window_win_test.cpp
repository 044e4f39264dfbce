// Windows only. The service's front end without the service manager: what its start
// reports when it runs and when it cannot, the stop asked for by the control handler, and
// a cycle with problems, each in fsw's log and as an event of a fake host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "monitor/messages.h"
#include "monitor/service_window_win.h"
#include "tests/support/shell_support_win.h"

namespace {

class FakeHost : public ServiceHost {
public:
    struct Event {
        ServiceEvent event;
        ServiceEventLevel level;
        std::string text;
    };
    void ReportRunning() override { running++; }
    bool TakeReload() override { return true; }
    void WriteEvent(ServiceEvent event, ServiceEventLevel level, const std::string& text) override {
        events.push_back(Event{event, level, text});
    }
    int running = 0;
    std::vector<Event> events;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& each : lines) {
        if (each == line) {
            return true;
        }
    }
    return false;
}

class ServiceWindow : public ShellFixture {
protected:
    ServiceWindow() { MStartupNetwork(); }
    ~ServiceWindow() override {
        if (IsWindow(front.hwnd)) {
            DestroyWindow(front.hwnd);
        }
        MSG quit;
        while (PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        MCleanupNetwork();
    }

    FakeHost host;
    ServiceWin front{host};
    MessageBoxRecorder boxes;  // none may show
};

TEST_F(ServiceWindow, RunsUntilTheStopAndReportsStartAndStopWithTheLogsLines) {
    ASSERT_TRUE(front.Open(app.instance, app, app.StartOfFrontEnd()));
    EXPECT_EQ(1, host.running);
    ASSERT_NE(HWND{NULL}, front.LoopWindow());
    EXPECT_FALSE(IsWindowVisible(front.LoopWindow()));
    EXPECT_EQ(10u, front.TimerInterval()) << "the check timer is set";

    PostMessageA(front.LoopWindow(), WM_APP_SERVICE_STOP, 0, 0);
    EXPECT_EQ(0, app.MessageLoop(front.LoopWindow()));
    EXPECT_FALSE(IsWindow(front.hwnd));
    std::vector<std::string> log = LogMessages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("サービスの停止要求を受けました", log[log.size() - 2]);
    EXPECT_EQ(app.VersionLine("終了"), log.back());
    // Neither role is on: the log and the event log say that it does nothing.
    ASSERT_EQ(3u, host.events.size());
    EXPECT_EQ(EVENT_LEVEL_WARNING, host.events[0].level);
    EXPECT_NE(std::string::npos, host.events[0].text.find("サーバもクライアントも動作しません"));
    EXPECT_TRUE(Contains(log, host.events[0].text));
    EXPECT_EQ(SERVICE_EVENT_START, host.events[1].event);
    EXPECT_EQ(app.VersionLine("起動"), host.events[1].text);
    EXPECT_EQ(SERVICE_EVENT_STOP, host.events[2].event);
    EXPECT_EQ(log.back(), host.events[2].text);
    EXPECT_TRUE(boxes.Boxes().empty());
}

// A start that cannot run leaves no window and no loop to end, and says why.
TEST_F(ServiceWindow, AStartThatCannotListenOrWriteItsLogFailsWithItsReason) {
    app.m_server = 1;
    app.m_serverPort = 0;  // refused by the server: it never listens
    EXPECT_FALSE(front.Open(app.instance, app, app.StartOfFrontEnd()));
    EXPECT_EQ(SERVICE_PORT_UNUSABLE, front.Failure());
    EXPECT_EQ(0, host.running);
    EXPECT_FALSE(IsWindow(front.hwnd));
    ASSERT_EQ(1u, host.events.size());
    EXPECT_EQ(SERVICE_EVENT_START_FAILED, host.events[0].event);
    EXPECT_EQ(EVENT_LEVEL_ERROR, host.events[0].level);
    EXPECT_TRUE(Contains(LogMessages(), host.events[0].text)) << host.events[0].text;
    EXPECT_EQ(app.VersionLine("終了"), LogMessages().back());
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no loop to end";

    app.m_server = 0;
    app.m_logMode = LOG_APPEND;
    app.CloseLog();
    host.events.clear();
    EXPECT_FALSE(front.Open(app.instance, app, app.StartOfFrontEnd()));
    EXPECT_EQ(SERVICE_LOG_UNWRITABLE, front.Failure());
    ASSERT_EQ(1u, host.events.size());
    EXPECT_NE(std::string::npos, host.events[0].text.find("ログファイルを開けない"));
}

// Whatever NOTI says, a cycle with an error goes to the log and the event log.
TEST_F(ServiceWindow, ACycleWithProblemsIsLoggedAndReportedAndAQuietOneIsNot) {
    app.m_notify = 0;
    ASSERT_TRUE(front.Open(app.instance, app, app.StartOfFrontEnd()));
    host.events.clear();
    CheckResult result;
    memset(&result, 0, sizeof result);
    result.status = STATUS_NORMAL;
    app.m_results = {result};
    front.FinishCycle();
    EXPECT_TRUE(host.events.empty());

    result.status = STATUS_ERROR;
    app.m_results = {result, result};
    front.FinishCycle();
    ASSERT_EQ(1u, host.events.size());
    EXPECT_EQ(SERVICE_EVENT_CYCLE, host.events[0].event);
    EXPECT_EQ(EVENT_LEVEL_ERROR, host.events[0].level);
    EXPECT_EQ("空き領域エラー: 空き領域を確認できないディスクが 2個あります。",
              host.events[0].text);
    EXPECT_EQ(host.events[0].text, LogMessages().back());
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(ServiceBoxLine, ABoxBecomesOneLogLineWithItsCaption) {
    EXPECT_EQ("エラー: タイマ設定に失敗！", BoxLogLine("エラー", "タイマ設定に失敗！"));
    EXPECT_EQ("処理中: a b", BoxLogLine("処理中", "a\r\nb"));
    EXPECT_EQ(": text", BoxLogLine(NULL, "text"));
}

}  // namespace
