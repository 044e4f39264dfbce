// The main window under Wine, in-process: the tray icon and its retries, the tray
// menu and its commands, the timers, the summary of a cycle (balloon, status window,
// tooltip), the server it starts, and the shutdown sequence.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor/main_window.h"
#include "monitor/messages.h"
#include "tests/support/fake_peer.h"
#include "tests/support/list_view_faults_win.h"
#include "tests/support/lock_probe.h"
#include "tests/support/shell_support_win.h"
#include "version.h"

namespace {

HINSTANCE Instance() {
    return GetModuleHandleA(NULL);
}

std::string Tip() {
    return "ケルム Ver." + std::to_string(FSW_VERSION_MAJOR) + "." +
           std::to_string(FSW_VERSION_MINOR) + "." + std::to_string(FSW_VERSION_BUILD);
}

std::string EndLine() {
    return "ケルム Version " + std::to_string(FSW_VERSION_MAJOR) + "." +
           std::to_string(FSW_VERSION_MINOR) + "." + std::to_string(FSW_VERSION_BUILD) + " (" +
           std::to_string(FSW_VERSION_REVISION) + ") 終了";
}

CheckResult Result(int32_t status) {
    CheckResult result;
    ZeroMemory(&result, sizeof result);
    result.status = status;
    CopyField(result.host, sizeof result.host, "host");
    result.unit = 9;
    return result;
}

bool CanConnect(uint16_t port) {
    FswSocket client;
    return ConnectLocal(&client, port);
}

BOOL CALLBACK AddDialog(HWND window, LPARAM windows) {
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32770") == 0) {
        reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    }
    return TRUE;
}

// The dialogs of the calling thread, shown or not.
std::vector<HWND> ThreadDialogs() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), AddDialog, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Runs a function once, soon, from inside whatever message loop the thread is in
// (a modal dialog's, a menu's).
std::function<void()> g_soon;

void CALLBACK RunSoon(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(NULL, id);
    std::function<void()> action = g_soon;
    g_soon = nullptr;
    if (action) {
        action();
    }
}

void Soon(std::function<void()> action) {
    g_soon = action;
    SetTimer(NULL, 0, 100, RunSoon);
}

class MainWindow : public ShellFixture {
protected:
    void SetUp() override {
        InitCommonControls();
        MStartupNetwork();
        m_app->m_mainWin.SetTrayAttemptPause(0);
        m_logStart = 0;
        m_boxes.OnBox([this](const MessageBoxRecorder::Box& box) {
            m_probe.ExpectNoneHeld("the box \"" + box.text + "\" is open");
        });
    }
    void TearDown() override {
        if (IsWindow(Win().hwnd)) {
            DestroyWindow(Win().hwnd);
        }
        MSG quit;
        while (PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        UnregisterClassA(MAIN_WINDOW_CLASS, Instance());
        MCleanupNetwork();
    }
    MainWin& Win() { return m_app->m_mainWin; }
    HWND Window() { return m_app->m_mainWin.hwnd; }
    HWND Status() { return m_app->m_mainWin.m_notifyDlg.hwnd; }
    bool Create() { return Win().Create(APP_TITLE, nullptr, Instance(), NULL); }
    // The log lines written since the last call.
    std::vector<std::string> NewLog() {
        std::vector<std::string> all = LogMessages();
        std::vector<std::string> added(
            all.begin() + (m_logStart < all.size() ? m_logStart : all.size()), all.end());
        m_logStart = all.size();
        return added;
    }
    void Command(UINT id) { SendMessageA(Window(), WM_COMMAND, id, 0); }
    // Windows ending the session: the question, answered at once, then the end itself.
    static bool EndSession(HWND window) {
        return SendMessageA(window, WM_QUERYENDSESSION, 0, 0) == 1 &&
               SendMessageA(window, WM_ENDSESSION, TRUE, 0) == 0;
    }

    TrayRecorder m_tray;
    LockProbe m_probe{app};  // every box is checked to hold no lock
    MessageBoxRecorder m_boxes;
    size_t m_logStart = 0;
};

TEST_F(MainWindow, IsCreatedHiddenWithItsTrayIconStatusWindowMenuAndCheckTimer) {
    ASSERT_TRUE(Create());
    char name[64] = "";
    GetClassNameA(Window(), name, sizeof name);
    EXPECT_STREQ("FSW_WindowClass", name);
    GetWindowTextA(Window(), name, sizeof name);
    EXPECT_STREQ("ケルム", name);
    EXPECT_FALSE(IsWindowVisible(Window()));

    std::vector<TrayRecorder::Call> calls = m_tray.Calls();
    ASSERT_EQ(1u, calls.size());
    const NOTIFYICONDATAA& icon = calls[0].data;
    EXPECT_EQ(DWORD{NIM_ADD}, calls[0].message);
    EXPECT_EQ(TRAY_DATA_SIZE, icon.cbSize);
    EXPECT_EQ(offsetof(NOTIFYICONDATAA, guidItem), icon.cbSize);
    EXPECT_EQ(Window(), icon.hWnd);
    EXPECT_EQ(10u, icon.uID);
    EXPECT_EQ(UINT{NIF_MESSAGE | NIF_ICON | NIF_TIP}, icon.uFlags);
    EXPECT_EQ(32769u, icon.uCallbackMessage);
    EXPECT_NE(HICON{NULL}, icon.hIcon);
    EXPECT_EQ(Tip(), calls[0].tip);
    EXPECT_TRUE(Win().m_trayIconSet);

    ASSERT_TRUE(IsWindow(Status()));
    EXPECT_FALSE(IsWindowVisible(Status()));
    EXPECT_EQ(Window(), GetWindow(Status(), GW_OWNER));

    const UINT ids[] = {40007, 40011, 40013, 0, 40008, 0, 40009};
    const char* captions[] = {"設定", "監視状態", "今すぐチェック", "", "バージョン情報",
                              "",     "終了"};
    ASSERT_EQ(7, GetMenuItemCount(Win().m_trayMenu));
    for (int i = 0; i < 7; i++) {
        char caption[64] = "";
        GetMenuStringA(Win().m_trayMenu, i, caption, sizeof caption, MF_BYPOSITION);
        EXPECT_EQ(ids[i], GetMenuItemID(Win().m_trayMenu, i)) << i;
        EXPECT_STREQ(captions[i], caption) << i;
    }

    EXPECT_TRUE(KillTimer(Window(), 100)) << "the check timer runs";
    EXPECT_FALSE(KillTimer(Window(), 101)) << "no retry timer";
    EXPECT_TRUE(NewLog().empty());
}

TEST(CheckTimer, ThePeriodIsTheIntervalInMillisecondsUpToTheLongestATimerTakes) {
    EXPECT_EQ(60000u, CheckTimerPeriod(1));
    EXPECT_EQ(600000u, CheckTimerPeriod(10));
    EXPECT_EQ(599940000u, CheckTimerPeriod(9999));
    EXPECT_EQ(2147460000u, CheckTimerPeriod(35791));
    EXPECT_EQ(UINT{USER_TIMER_MAXIMUM}, CheckTimerPeriod(35792));
    // 71583 minutes would wrap round to 12.7 s in 32 bits.
    EXPECT_EQ(UINT{USER_TIMER_MAXIMUM}, CheckTimerPeriod(71583));
    EXPECT_EQ(UINT{USER_TIMER_MAXIMUM}, CheckTimerPeriod(4294967295u));
}

TEST_F(MainWindow, ATrayIconRefused30TimesIsLoggedAndRetriedByTimer101) {
    m_tray.SetAnswer(FALSE);
    ASSERT_TRUE(Create());
    std::vector<TrayRecorder::Call> calls = m_tray.Calls();
    ASSERT_EQ(60u, calls.size());
    for (size_t i = 0; i < calls.size(); i++) {
        EXPECT_EQ(static_cast<DWORD>(i % 2 == 0 ? NIM_ADD : NIM_MODIFY), calls[i].message) << i;
    }
    EXPECT_FALSE(Win().m_trayIconSet);
    std::vector<std::string> log = NewLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("タスクトレイへのアイコン登録に失敗しました。", log[0]);

    // A tick that fails too: one attempt, and the timer goes on.
    m_tray.Clear();
    SendMessageA(Window(), WM_TIMER, 101, 0);
    EXPECT_EQ(2u, m_tray.Calls().size());
    EXPECT_TRUE(NewLog().empty());

    // A tick that succeeds: the icon is set, the timer stopped, one log line.
    m_tray.Clear();
    m_tray.SetAnswer(TRUE);
    SendMessageA(Window(), WM_TIMER, 101, 0);
    ASSERT_EQ(1u, m_tray.Calls().size());
    EXPECT_EQ(DWORD{NIM_ADD}, m_tray.Calls()[0].message);
    EXPECT_EQ(Tip(), m_tray.Calls()[0].tip);
    EXPECT_TRUE(Win().m_trayIconSet);
    log = NewLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("タスクトレイのアイコンがセットされました。", log[0]);
    EXPECT_FALSE(KillTimer(Window(), 101)) << "the retry timer was stopped";

    m_tray.Clear();
    SendMessageA(Window(), WM_TIMER, 101, 0);
    EXPECT_TRUE(m_tray.Calls().empty()) << "a late tick with the icon set does nothing";
}

TEST_F(MainWindow, TaskbarCreatedPutsTheIconBackWithTheNormalTip) {
    ASSERT_TRUE(Create());
    m_tray.Clear();
    EXPECT_EQ(0, SendMessageA(Window(), RegisterWindowMessageA("TaskbarCreated"), 0, 0));
    std::vector<TrayRecorder::Call> calls = m_tray.Calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(DWORD{NIM_ADD}, calls[0].message);
    EXPECT_EQ(Tip(), calls[0].tip);
    EXPECT_EQ(10u, calls[0].data.uID);
}

TEST_F(MainWindow, ADoubleClickOnTheIconShowsTheStatusWindowAndOtherClicksDoNothing) {
    ASSERT_TRUE(Create());
    SendMessageA(Window(), WM_APP_TRAY, 10, WM_LBUTTONUP);
    SendMessageA(Window(), WM_APP_TRAY, 10, WM_LBUTTONDOWN);
    SendMessageA(Window(), WM_APP_TRAY, 11, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(IsWindowVisible(Status()));
    SendMessageA(Window(), WM_APP_TRAY, 10, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(IsWindowVisible(Status()));
}

TEST_F(MainWindow, ARightButtonReleaseOpensTheMenuAtTheCursor) {
    ASSERT_TRUE(Create());
    ASSERT_TRUE(SetCursorPos(300, 250));
    bool opened = false;
    RECT menuRect = {0, 0, 0, 0};
    Soon([&] {
        HWND menu = FindWindowA("#32768", NULL);
        opened = menu != NULL && IsWindowVisible(menu);
        if (opened) {
            GetWindowRect(menu, &menuRect);
        }
        EndMenu();
    });
    SendMessageA(Window(), WM_APP_TRAY, 10, WM_RBUTTONUP);
    ASSERT_TRUE(opened);
    EXPECT_EQ(300, menuRect.left);
    EXPECT_EQ(250, menuRect.top);
}

TEST_F(MainWindow, TheVersionCommandShowsTheTitleAndAllFourVersionNumbers) {
    ASSERT_TRUE(Create());
    Command(40008);
    std::vector<MessageBoxRecorder::Box> shown = m_boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(Window(), shown[0].owner);
    EXPECT_EQ("バージョン情報", shown[0].caption);
    EXPECT_EQ(unsigned{MB_ICONINFORMATION}, shown[0].type);
    EXPECT_EQ(Tip() + " (" + std::to_string(FSW_VERSION_REVISION) + ")", shown[0].text);
}

TEST_F(MainWindow, TheStatusCommandShowsTheStatusWindow) {
    ASSERT_TRUE(Create());
    Command(40011);
    EXPECT_TRUE(IsWindowVisible(Status()));
}

TEST_F(MainWindow, TheExitCommandPostsTheCloseThatEndsTheProgram) {
    ASSERT_TRUE(Create());
    Command(40009);
    EXPECT_TRUE(IsWindow(Window())) << "posted, not handled at once";
    PumpMessages(100);
    EXPECT_FALSE(IsWindow(Window()));
    std::vector<std::string> log = NewLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(EndLine(), log.back());
}

TEST_F(MainWindow, CommandsTheMenuDoesNotHoldDoNothing) {
    ASSERT_TRUE(Create());
    m_tray.Clear();
    for (UINT id : {40010u, 40012u, 40006u, 40014u, 0u}) {
        Command(id);
    }
    PumpMessages(50);
    EXPECT_TRUE(IsWindow(Window()));
    EXPECT_FALSE(IsWindowVisible(Status()));
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_TRUE(m_tray.Calls().empty());
    EXPECT_TRUE(NewLog().empty());
}

TEST_F(MainWindow, CheckNowWhileACycleRunsShowsItsBoxAndStartsNothing) {
    ASSERT_TRUE(Create());
    m_tray.Clear();
    m_app->m_queryThreadCount = 1;
    Command(40013);
    m_app->m_queryThreadCount = 0;
    std::vector<MessageBoxRecorder::Box> shown = m_boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(Window(), shown[0].owner);
    EXPECT_EQ("処理中", shown[0].caption);
    EXPECT_EQ("既に問合せ処理中！！", shown[0].text);
    EXPECT_EQ(unsigned{MB_ICONEXCLAMATION}, shown[0].type);
    EXPECT_TRUE(m_tray.Calls().empty());
}

TEST_F(MainWindow, CheckNowStartsACycleEvenWithTheClientRoleOff) {
    ASSERT_TRUE(Create());
    m_tray.Clear();
    Command(40013);  // no targets: the cycle is summed up at once
    std::vector<TrayRecorder::Call> calls = m_tray.Calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(DWORD{NIM_MODIFY}, calls[0].message);
    EXPECT_EQ("ディスク残量問合せ中...", calls[0].tip);
    EXPECT_EQ(Tip(), calls[1].tip);
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(MainWindow, ATimerTickStartsACycleOnlyWithTheClientRoleOn) {
    ASSERT_TRUE(Create());
    m_tray.Clear();
    SendMessageA(Window(), WM_TIMER, 100, 0);
    EXPECT_TRUE(m_tray.Calls().empty()) << "CLIENT 0: nothing at all";
    EXPECT_TRUE(NewLog().empty());

    m_app->m_client = 1;
    SendMessageA(Window(), WM_TIMER, 100, 0);
    std::vector<TrayRecorder::Call> calls = m_tray.Calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("ディスク残量問合せ中...", calls[0].tip);
    EXPECT_EQ(Tip(), calls[1].tip);

    m_tray.Clear();
    SendMessageA(Window(), WM_TIMER, 55, 0);
    EXPECT_TRUE(m_tray.Calls().empty()) << "only timer 100 starts cycles";

    m_app->m_queryThreadCount = 2;
    SendMessageA(Window(), WM_TIMER, 100, 0);
    m_app->m_queryThreadCount = 0;
    EXPECT_TRUE(m_tray.Calls().empty());
    EXPECT_TRUE(m_boxes.Boxes().empty());
    std::vector<std::string> log = NewLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("問合せ継続中... thread count ... 2", log[0]);
}

struct SummaryCase {
    std::vector<int32_t> statuses;
    uint32_t notify;
    const char* text;  // null: no balloon
    const char* title;
    DWORD iconFlag;
    bool statusWindow;
};

TEST_F(MainWindow, TheSummaryShowsTheBalloonAndStatusWindowAsTheNotificationModeSays) {
    const char* below1 = "空き領域がしきい値を下回ったディスクが 1個あります。";
    const SummaryCase cases[] = {
        {{STATUS_ERROR, STATUS_ERROR},
         1,
         "空き領域を確認できないディスクが 2個あります。",
         "空き領域エラー",
         NIIF_ERROR,
         false},
        {{STATUS_NORMAL, STATUS_DANGER}, 1, below1, "空き領域減少", NIIF_ERROR, false},
        {{STATUS_CAUTION}, 1, below1, "空き領域減少", NIIF_WARNING, false},
        {{STATUS_CAUTION, STATUS_ERROR},
         1,
         "空き領域がしきい値を下回ったディスクが 1個あります。\r\n"
         "空き領域が確認できないディスクが 1個あります。",
         "空き領域エラー",
         NIIF_ERROR,
         false},
        {{STATUS_WARNING, STATUS_DANGER, STATUS_ERROR},
         1,
         "空き領域がしきい値を下回ったディスクが 2個あります。\r\n"
         "空き領域が確認できないディスクが 1個あります。",
         "空き領域減少",
         NIIF_ERROR,
         false},
        {{STATUS_NORMAL, STATUS_NORMAL}, 3, nullptr, nullptr, 0, false},
        {{STATUS_NONE, STATUS_NORMAL}, 3, nullptr, nullptr, 0, false},
        {{STATUS_DANGER, STATUS_ERROR}, 0, nullptr, nullptr, 0, false},
        {{STATUS_DANGER}, 2, nullptr, nullptr, 0, true},
        {{STATUS_CAUTION}, 3, below1, "空き領域減少", NIIF_WARNING, true},
        {{STATUS_DANGER}, 5, below1, "空き領域減少", NIIF_ERROR, false},
    };
    ASSERT_TRUE(Create());
    for (const SummaryCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "NOTI " << c.notify << ", first status " << c.statuses[0]
                                        << ", " << c.statuses.size() << " results");
        ShowWindow(Status(), SW_HIDE);
        m_tray.Clear();
        m_app->m_notify = c.notify;
        m_app->m_results.clear();
        int listed = 0;
        for (int32_t status : c.statuses) {
            m_app->m_results.push_back(Result(status));
            listed += status != STATUS_NONE;
        }
        SendMessageA(Window(), WM_APP_CYCLE_DONE, 0, 0);

        HWND list = GetDlgItem(Status(), 1020);
        EXPECT_EQ(listed, SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) << "always refilled";
        std::vector<TrayRecorder::Call> balloons = m_tray.CallsWithFlag(NIF_INFO);
        if (c.text == nullptr) {
            EXPECT_TRUE(balloons.empty());
        } else {
            ASSERT_EQ(1u, balloons.size());
            EXPECT_EQ(DWORD{NIM_MODIFY}, balloons[0].message);
            EXPECT_EQ(UINT{NIF_INFO}, balloons[0].data.uFlags);
            EXPECT_EQ(TRAY_DATA_SIZE, balloons[0].data.cbSize);
            EXPECT_EQ(10u, balloons[0].data.uID);
            EXPECT_EQ(30000u, balloons[0].data.uTimeout);
            EXPECT_EQ(c.text, balloons[0].info);
            EXPECT_EQ(c.title, balloons[0].infoTitle);
            EXPECT_EQ(c.iconFlag, balloons[0].data.dwInfoFlags);
        }
        EXPECT_EQ(c.statusWindow, IsWindowVisible(Status()) != FALSE);
        std::vector<TrayRecorder::Call> calls = m_tray.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(Tip(), calls.back().tip) << "the tooltip is restored last";
    }
}

TEST_F(MainWindow, TheShutdownRunsInOrderWithItsLogLines) {
    m_app->m_client = 1;
    ASSERT_TRUE(Create());
    NewLog();
    m_tray.Clear();
    HWND status = Status();
    ASSERT_TRUE(DestroyWindow(Window()));

    std::vector<std::string> log = NewLog();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("クライアントの全スレッド終了待ち", log[0]);
    EXPECT_EQ("クライアントの全スレッド終了", log[1]);
    EXPECT_EQ(EndLine(), log[2]);

    std::vector<TrayRecorder::Call> calls = m_tray.Calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(DWORD{NIM_MODIFY}, calls[0].message);
    EXPECT_EQ("終了処理中...", calls[0].tip);
    EXPECT_EQ(DWORD{NIM_DELETE}, calls[1].message);
    EXPECT_EQ(Tip(), calls[1].tip);
    EXPECT_FALSE(IsWindow(status));

    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, quit.wParam);
}

TEST_F(MainWindow, WithTheClientRoleOffAndNoCycleTheShutdownDoesNotWait) {
    ASSERT_TRUE(Create());
    NewLog();
    m_tray.SetAnswer(FALSE);
    ASSERT_TRUE(DestroyWindow(Window()));
    std::vector<std::string> log = NewLog();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("タスクトレイのアイコン削除に失敗しました。", log[0]);
    EXPECT_EQ(EndLine(), log[1]);
}

// Starts a cycle by hand over one target whose server answers late, then ends the
// program while it runs: the shutdown stops the query and waits for its thread.
class ShutdownDuringACycle : public MainWindow {
protected:
    // The server reads the request and keeps the connection 800 ms without a reply.
    void StartSlowCycle() {
        ASSERT_TRUE(Create());
        m_server.reset(new FakeServer);  // once the network is started
        m_server->Serve(12 + 3, "", 800);
        HostEntry target = NewHostEntry();
        CopyField(target.host, sizeof target.host, "127.0.0.1");
        target.port = m_server->Port();
        CopyField(target.path, sizeof target.path, "C:\\");
        m_app->m_hosts.assign(1, target);
        Command(40013);
        ASSERT_EQ(1, m_app->m_queryThreadCount.load()) << "the cycle runs";
        NewLog();
    }
    // The shutdown's lines once the query thread has ended.
    void ExpectWaitedLines(const std::vector<std::string>& log) {
        EXPECT_EQ(0, m_app->m_queryThreadCount.load()) << "no query thread outlives the window";
        std::string stopped =
            "127.0.0.1 (" + std::to_string(m_server->Port()) + ")問合せを中止しました";
        ASSERT_EQ(4u, log.size());
        EXPECT_EQ("クライアントの全スレッド終了待ち", log[0]);
        EXPECT_EQ(stopped, log[1]);
        EXPECT_EQ("クライアントの全スレッド終了", log[2]);
        EXPECT_EQ(EndLine(), log[3]);
    }
    void Run(uint32_t client) {
        m_app->m_client = client;
        StartSlowCycle();
        ASSERT_TRUE(DestroyWindow(Window()));
        ExpectWaitedLines(NewLog());
    }
    void TearDown() override {
        m_server.reset();
        MainWindow::TearDown();
    }

    std::unique_ptr<FakeServer> m_server;
};

TEST_F(ShutdownDuringACycle, WaitsForTheQueryThreadsInClientMode) {
    Run(1);
}

// A cycle started by hand runs with the client role off too; its threads are waited
// for all the same.
TEST_F(ShutdownDuringACycle, WaitsForTheQueryThreadsWithTheClientRoleOff) {
    Run(0);
}

// The box of a refused "今すぐチェック" holds no lock, so the session's end asked for from
// its loop waits for the running query thread, which can count down, and ends in order.
TEST_F(ShutdownDuringACycle, ASessionEndFromTheBoxOfARefusedCheckNowEndsInOrder) {
    StartSlowCycle();
    bool answered = false;
    m_boxes.OnBox([&](const MessageBoxRecorder::Box& box) {
        EXPECT_EQ("既に問合せ処理中！！", box.text);
        if (!m_probe.HeldLocks().empty()) {
            ADD_FAILURE() << "a lock is held under the box: the shutdown would wait for ever";
            return;
        }
        answered = EndSession(Window());
    });
    Command(40013);
    EXPECT_TRUE(answered);
    EXPECT_FALSE(IsWindow(Window()));
    std::vector<std::string> log = NewLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("Windowsがシャットダウンされます。", log[0]);
    ExpectWaitedLines(std::vector<std::string>(log.begin() + 1, log.end()));
}

// The summary copies the results and shows the list's failure box after letting go of
// m_resultLock (the fixture's probe checks every box).
TEST_F(MainWindow, TheSummaryShowsAFailureBoxOfTheListWithoutHoldingTheResults) {
    ListViewFaults faults;
    faults.failInsertAtRow = 0;
    ASSERT_TRUE(Create());
    m_app->m_results = {Result(STATUS_NORMAL)};
    SendMessageA(Window(), WM_APP_CYCLE_DONE, 0, 0);
    std::vector<MessageBoxRecorder::Box> shown = m_boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("リストアイテム追加エラー", shown[0].text);
}

// The question is answered at once and a cancelled end changes nothing; the end itself
// runs the whole shutdown before it returns.
TEST_F(MainWindow, TheSessionsEndRunsTheWholeShutdownAndACancelledOneNothing) {
    ASSERT_TRUE(Create());
    NewLog();
    EXPECT_EQ(1, SendMessageA(Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    EXPECT_EQ(0, SendMessageA(Window(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF));
    EXPECT_TRUE(IsWindow(Window()));
    EXPECT_TRUE(NewLog().empty());
    EXPECT_TRUE(EndSession(Window()));
    EXPECT_FALSE(IsWindow(Window()));
    std::vector<std::string> log = NewLog();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("Windowsがシャットダウンされます。", log[0]);
    EXPECT_EQ(EndLine(), log[1]);
}

// Windows may ask the session to end while the window is still being created: the
// request is handled as soon as the creation waits on the shell for the tray icon.
TEST_F(MainWindow, AShutdownRequestDuringCreationEndsInOrderAndStartsNothingAfterIt) {
    m_app->m_server = 1;
    m_app->m_serverPort = FreeLocalPort();
    m_app->m_client = 1;
    bool asked = false;
    m_tray.OnCall([&](DWORD message, NOTIFYICONDATAA* data) {
        if (message == NIM_ADD && !asked) {
            asked = true;
            EXPECT_TRUE(EndSession(data->hWnd));
        }
    });
    EXPECT_TRUE(Create()) << "not a failure to create";
    EXPECT_TRUE(asked);
    EXPECT_FALSE(IsWindow(Window()));
    EXPECT_FALSE(Win().m_serverRunning);
    EXPECT_FALSE(Win().m_serverThread.HasHandle());
    EXPECT_TRUE(m_boxes.Boxes().empty());
    std::vector<std::string> log = NewLog();
    std::vector<std::string> expected = {"Windowsがシャットダウンされます。",
                                         "クライアントの全スレッド終了待ち",
                                         "クライアントの全スレッド終了", EndLine()};
    EXPECT_EQ(expected, log);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// m_dialogLock guards the open flag only: another thread takes it while the dialog runs.
TEST_F(MainWindow, TheSettingsCommandRunsTheDialogOnceAndBringsAnOpenOneToTheFront) {
    ASSERT_TRUE(Create());
    m_boxes.SetAnswer(IDYES);
    std::atomic<bool> lockTaken{false};
    std::thread contender;
    bool openDuringRun = false;
    int dialogsDuringRun = 0;
    int otherWindowsDuringRun = 0;
    HWND dialog = NULL;
    HWND ownerDuringRun = Window();
    Soon([&] {
        dialog = Win().m_settingDlg.GetHandle();
        openDuringRun = Win().m_settingDlg.m_open;
        contender = std::thread([&] {
            m_app->m_dialogLock.Enter();
            lockTaken = true;
            m_app->m_dialogLock.Leave();
        });
        WaitUntil([&] { return lockTaken.load(); }, 2000);
        ownerDuringRun = GetWindow(dialog, GW_OWNER);
        Command(40007);  // again, while open: no second dialog
        for (HWND window : ThreadDialogs()) {
            dialogsDuringRun += window == dialog;
            otherWindowsDuringRun += window != dialog && window != Status();
        }
        EXPECT_TRUE(lockTaken.load()) << "the modal run holds no lock";
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    });
    Command(40007);
    contender.join();
    EXPECT_TRUE(lockTaken.load());
    EXPECT_TRUE(openDuringRun);
    EXPECT_EQ(1, dialogsDuringRun);
    EXPECT_EQ(0, otherWindowsDuringRun);
    EXPECT_FALSE(Win().m_settingDlg.m_open);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(HWND{NULL}, ownerDuringRun) << "the dialog has no owner";
}

TEST_F(MainWindow, TheShutdownClosesAnOpenSettingsDialogWithoutAsking) {
    ASSERT_TRUE(Create());
    NewLog();
    bool openBefore = false;
    Soon([&] {
        openBefore = Win().m_settingDlg.m_open;
        DestroyWindow(Window());
    });
    Command(40007);
    EXPECT_TRUE(openBefore);
    EXPECT_FALSE(Win().m_settingDlg.m_open);
    EXPECT_FALSE(Win().m_settingDlg.m_modified);
    EXPECT_FALSE(IsWindow(Window()));
    for (const MessageBoxRecorder::Box& box : m_boxes.Boxes()) {
        ADD_FAILURE() << "box " << box.caption << ": " << box.text;
    }
    std::vector<std::string> log = NewLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(EndLine(), log.back());
}

TEST_F(MainWindow, TheServerStartsWithTheWindowAndIsStoppedByItsShutdown) {
    m_app->m_server = 1;
    m_app->m_serverPort = FreeLocalPort();
    ASSERT_TRUE(Create());
    EXPECT_TRUE(Win().m_serverRunning);
    std::vector<std::string> log = NewLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("サーバを起動します", log[0]);
    ASSERT_TRUE(WaitUntil([&] { return CanConnect(m_app->m_serverPort); }, 5000));

    ASSERT_TRUE(DestroyWindow(Window()));
    EXPECT_FALSE(Win().m_serverRunning);
    EXPECT_FALSE(Win().m_serverThread.HasHandle()) << "waited for and closed";
    EXPECT_FALSE(CanConnect(m_app->m_serverPort));
    EXPECT_EQ(EndLine(), NewLog().back());
}

}  // namespace
