// Leaving the settings dialog: OK with its checks, saves and timer, Cancel with its
// question and the reload of both files, the guards while a check cycle runs, and one
// full round as a user does it.
#include <algorithm>

#include "monitor/messages.h"

#include "tests/settings/setting_dlg_driver_win.h"

namespace {

const char CLOSE_QUESTION[] = "設定を変更した場合は保存されません。\nよろしいですか？";
const char CLOSING_CAPTION[] = "設定ダイアログを閉じています...";

bool HasMessage(const std::vector<std::string>& messages, const std::string& message) {
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

bool Contains(const std::vector<std::string>& messages, const std::string& part) {
    for (const std::string& message : messages) {
        if (message.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A window of the test's thread that stands in for the main window's handle, so that
// the check timer set by OK can be found (and removed) afterwards.
class TimerWindow {
public:
    TimerWindow() {
        m_window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                   GetModuleHandleA(NULL), NULL);
        m_previous = theApp->m_mainWin.Attach(m_window);
    }
    ~TimerWindow() {
        theApp->m_mainWin.Attach(m_previous);
        DestroyWindow(m_window);
    }
    // True if the check timer was set, which this removes.
    bool KillCheckTimer() { return KillTimer(m_window, TIMER_CHECK) != 0; }

private:
    HWND m_window;
    HWND m_previous;
};

TEST_F(SettingDlgTest, RefusesEveryGuardedCommandWhileACycleRunsAndCancelWaitsForIt) {
    SetHosts({MakeEntry(0, "one", 1, "/1", 1, UNIT_KB, ""),
              MakeEntry(0, "two", 2, "/2", 2, UNIT_KB, "")});
    std::vector<HostEntry> before = Hosts();
    bool waited = false;
    RunDialog([&](HWND dialog) {
        SetQueryThreads(1);
        SelectRow(dialog, 0);
        TypeDetails(dialog, {false, "new", "1", "/", "1", 0, ""});
        struct Refusal {
            std::function<void()> press;
            const char* text;
        };
        const Refusal refusals[] = {
            {[&] { Press(dialog, IDOK); },
             "問合せの処理中です！\nしばらく経ってからOKを押してください！"},
            {[&] { Press(dialog, IDC_REGISTER); },
             "問合せの処理中です！\nしばらく経ってから登録を押してください！"},
            {[&] { Press(dialog, IDC_DELETE_ALL); },
             "問合せの処理中です！\nしばらく経ってから全削除を押してください！"},
            {[&] { Press(dialog, CMD_DELETE_ROW); },
             "問合せの処理中です！\nしばらく経ってから削除してください！"},
            {[&] { PressKeyOnList(dialog, VK_DELETE); },
             "問合せの処理中です！\nしばらく経ってから削除してください！"},
            {[&] { Press(dialog, IDC_CHECK_NOW); }, "既に問合せ処理中！！"},
        };
        for (const Refusal& refusal : refusals) {
            SCOPED_TRACE(refusal.text);
            size_t boxes = BoxCount();
            refusal.press();
            ExpectOneBox(BoxesSince(boxes), "処理中", refusal.text, MB_ICONEXCLAMATION);
            EXPECT_TRUE(IsWindow(dialog));
            std::vector<HostEntry> now = Hosts();
            ASSERT_EQ(before.size(), now.size());
            EXPECT_TRUE(SameEntry(before[0], now[0]));
        }
        EXPECT_FALSE(FileExists(theApp->m_iniPath));
        EXPECT_FALSE(FileExists(theApp->m_listPath));

        // Cancel asks (the refused OK changed nothing), then waits for the cycle's end.
        size_t boxes = BoxCount();
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(
            WaitUntil([&] { return CaptionNoWait(dialog) == Wide(CLOSING_CAPTION); }, 5000));
        MSleep(300);
        waited = IsWindow(dialog) != 0;
        SetQueryThreads(0);
        EXPECT_TRUE(Closes(dialog));
        ExpectOneBox(BoxesSince(boxes), "確認", CLOSE_QUESTION, MB_YESNO | MB_ICONEXCLAMATION);
    });
    EXPECT_TRUE(waited);
    EXPECT_TRUE(Hosts().empty());  // what the (missing) host list file holds
}

TEST_F(SettingDlgTest, CancelAsksAndThenRestoresBothFiles) {
    WriteFileBytes(theApp->m_listPath, "0\tkept\t50801\tC:\\\t10\t0\tdesc\r\n");
    WriteFileBytes(theApp->m_iniPath, "[fsw]\r\nINTVAL=7\r\n");
    theApp->LoadSettings();
    theApp->LoadHostList();
    ASSERT_EQ(1u, Hosts().size());
    RunDialog([&](HWND dialog) {
        TypeDetails(dialog, {false, "added", "1", "/", "1", 0, ""});
        Press(dialog, IDC_REGISTER);
        SelectRow(dialog, 0);
        PressKeyOnList(dialog, VK_DELETE);
        TypeText(dialog, IDC_INTERVAL, "30");
        ASSERT_EQ(1u, Hosts().size());
        EXPECT_STREQ("added", Hosts()[0].host);  // the live list is edited at once

        m_boxes.SetAnswer(IDNO);
        size_t boxes = BoxCount();
        Press(dialog, IDCANCEL);
        ExpectOneBox(BoxesSince(boxes), "確認", CLOSE_QUESTION, MB_YESNO | MB_ICONEXCLAMATION);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(1u, ShownRows(dialog).size());

        m_boxes.SetAnswer(IDYES);
        Press(dialog, IDCANCEL);
        EXPECT_TRUE(Closes(dialog));
    });
    std::vector<HostEntry> hosts = Hosts();
    ASSERT_EQ(1u, hosts.size());
    EXPECT_TRUE(SameEntry(MakeEntry(0, "kept", 50801, "C:\\", 10, UNIT_PERCENT, "desc"), hosts[0]));
    EXPECT_EQ(7u, theApp->m_interval);
    EXPECT_EQ("0\tkept\t50801\tC:\\\t10\t0\tdesc\r\n", ReadFileBytes(theApp->m_listPath));
    EXPECT_EQ("[fsw]\r\nINTVAL=7\r\n", ReadFileBytes(theApp->m_iniPath));
}

// A failed check on OK keeps the dialog and the live edits; the offending field gets
// the focus, and a later Cancel still asks before it throws the edits away.
TEST_F(SettingDlgTest, OkWithAFailedCheckStaysOpenWithTheFieldFocused) {
    RunDialog([&](HWND dialog) {
        TypeDetails(dialog, {false, "live", "1", "/", "1", 0, ""});
        Press(dialog, IDC_REGISTER);

        TypeText(dialog, IDC_SERVER_PORT, "65536");
        size_t boxes = BoxCount();
        Press(dialog, IDOK);
        ExpectOneBox(BoxesSince(boxes), "エラー", "ポートは65535以下の値でないといけません。",
                     MB_ICONEXCLAMATION);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(IDC_SERVER_PORT, FocusedControl(dialog));
        EXPECT_EQ(DEFAULT_PORT, theApp->m_serverPort);

        TypeText(dialog, IDC_SERVER_PORT, "65535");
        TypeText(dialog, IDC_INTERVAL, "");
        boxes = BoxCount();
        Press(dialog, IDOK);
        ExpectOneBox(BoxesSince(boxes), "エラー", "チェック間隔は1分未満にはできません。",
                     MB_ICONEXCLAMATION);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(IDC_INTERVAL, FocusedControl(dialog));
        EXPECT_EQ(DEFAULT_PORT, theApp->m_serverPort);  // nothing stored unless both pass
        EXPECT_EQ(10u, theApp->m_interval);
        EXPECT_TRUE(m_dlg.m_modified);
        ASSERT_EQ(1u, Hosts().size());
        EXPECT_EQ(1u, ShownRows(dialog).size());
        EXPECT_FALSE(FileExists(theApp->m_iniPath));
        EXPECT_FALSE(FileExists(theApp->m_listPath));

        boxes = BoxCount();
        Press(dialog, IDCANCEL);
        ExpectOneBox(BoxesSince(boxes), "確認", CLOSE_QUESTION, MB_YESNO | MB_ICONEXCLAMATION);
    });
    EXPECT_TRUE(Hosts().empty());
}

TEST_F(SettingDlgTest, OkWithTheSameIntervalSavesButLeavesTheTimer) {
    TimerWindow timer;
    RunDialog([&](HWND dialog) {
        size_t boxes = BoxCount();
        Press(dialog, IDOK);
        EXPECT_TRUE(Closes(dialog));
        EXPECT_TRUE(BoxesSince(boxes).empty());  // no question after OK
    });
    EXPECT_FALSE(timer.KillCheckTimer());
    EXPECT_FALSE(Contains(LogMessages(), "タイマを再設定します"));
    EXPECT_TRUE(FileExists(theApp->m_iniPath));
    EXPECT_TRUE(FileExists(theApp->m_listPath));
    EXPECT_FALSE(m_dlg.m_modified);
}

TEST_F(SettingDlgTest, OkWithAChangedIntervalLogsItAndSetsTheTimerAgain) {
    TimerWindow timer;
    RunDialog([&](HWND dialog) {
        TypeText(dialog, IDC_INTERVAL, "9999");
        Press(dialog, IDOK);
        EXPECT_TRUE(Closes(dialog));
    });
    EXPECT_TRUE(timer.KillCheckTimer());
    std::vector<std::string> messages = LogMessages();
    EXPECT_EQ(1,
              std::count(messages.begin(), messages.end(), "タイマを再設定します 10分 → 9999分"));
    EXPECT_EQ(9999u, theApp->m_interval);
}

// The main window's shutdown clears m_modified and closes: no question, nothing saved.
TEST_F(SettingDlgTest, ClosesWithoutTheQuestionOnceModifiedIsCleared) {
    RunDialog([&](HWND dialog) {
        TypeDetails(dialog, {false, "live", "1", "/", "1", 0, ""});
        Press(dialog, IDC_REGISTER);
        size_t boxes = BoxCount();
        {
            MLockGuard hold(theApp->m_dialogLock);
            m_dlg.m_modified = false;
        }
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(Closes(dialog));
        EXPECT_TRUE(BoxesSince(boxes).empty());
    });
    EXPECT_FALSE(m_dlg.m_open);
    EXPECT_TRUE(Hosts().empty());
    EXPECT_FALSE(FileExists(theApp->m_listPath));
}

// Open, register three targets, replace one after the question, delete one with the
// Delete key, change the interval and more, OK: both files hold exactly these bytes,
// the timer line is logged, and the list in memory is the one in the file.
TEST_F(SettingDlgTest, FullRoundSavesExactlyWhatTheUserEntered) {
    TimerWindow timer;
    RunDialog([&](HWND dialog) {
        TypeDetails(dialog, {false, "server1", "50801", "C:\\", "10", UNIT_PERCENT, "経理"});
        Press(dialog, IDC_REGISTER);
        TypeDetails(dialog, {true, "10.0.0.2", "50802", "/home", "500", UNIT_MB, ""});
        Press(dialog, IDC_REGISTER);
        TypeDetails(dialog, {false, "nas", "50801", "d:", "2", UNIT_GB, "a\"b\tc"});
        Press(dialog, IDC_REGISTER);
        ASSERT_EQ(3u, ShownRows(dialog).size());

        SelectRow(dialog, 1);
        TypeText(dialog, IDC_HOST, "backup");
        SelectCombo(dialog, IDC_UNIT, UNIT_KB);
        size_t boxes = BoxCount();
        Press(dialog, IDC_REGISTER);
        std::vector<MessageBoxRecorder::Box> shown = BoxesSince(boxes);
        ASSERT_EQ(2u, shown.size());
        EXPECT_EQ("現在選択されている行を置き換えていいですか？", shown[0].text);

        SelectRow(dialog, 0);
        PressKeyOnList(dialog, VK_DELETE);
        ASSERT_EQ(2u, ShownRows(dialog).size());

        TypeText(dialog, IDC_INTERVAL, "15");
        SetCheck(dialog, IDC_SERVER, true);
        TypeText(dialog, IDC_SERVER_PORT, "50900");
        SetCheck(dialog, IDC_CLIENT, true);
        SelectCombo(dialog, IDC_NOTIFY, 3);
        CheckRadioButton(dialog, IDC_LOG_NONE, IDC_LOG_APPEND, IDC_LOG_APPEND);
        Press(dialog, IDOK);
        EXPECT_TRUE(Closes(dialog));
    });
    EXPECT_EQ(
        "[fsw]\r\nSERVER=1\r\nSVPORT=50900\r\nCLIENT=1\r\nINTVAL=15\r\nLISTFILE=fsw.lst\r\n"
        "LOGFILE=fsw.log\r\nCHKFILE=lastchk.txt\r\nNOTI=3\r\nLOGMODE=2\r\n",
        ReadFileBytes(theApp->m_iniPath));
    EXPECT_EQ(
        "1\tbackup\t50802\t/home\t500\t1\t\r\n"
        "0\tnas\t50801\td:\t2\t3\t\"a\"\"b\tc\"\r\n",
        ReadFileBytes(theApp->m_listPath));
    EXPECT_TRUE(HasMessage(LogMessages(), "タイマを再設定します 10分 → 15分"));
    EXPECT_TRUE(timer.KillCheckTimer());

    std::vector<HostEntry> hosts = Hosts();
    ASSERT_EQ(2u, hosts.size());
    EXPECT_TRUE(SameEntry(MakeEntry(1, "backup", 50802, "/home", 500, UNIT_KB, ""), hosts[0]));
    EXPECT_TRUE(SameEntry(MakeEntry(0, "nas", 50801, "d:", 2, UNIT_GB, "a\"b\tc"), hosts[1]));
    EXPECT_EQ(1u, theApp->m_server);
    EXPECT_EQ(50900, theApp->m_serverPort);
    EXPECT_EQ(15u, theApp->m_interval);
    EXPECT_EQ(3u, theApp->m_notify);
    EXPECT_EQ(2u, theApp->m_logMode);
}

size_t LinesNaming(const std::vector<std::string>& messages, const std::string& part) {
    return static_cast<size_t>(std::count_if(
        messages.begin(), messages.end(),
        [&](const std::string& message) { return message.find(part) != std::string::npos; }));
}

// The host list cannot be saved: the box of that failure is open in the middle of OK.
// A timer tick there starts no cycle, "今すぐチェック" is refused, and a Cancel from there
// closes the dialog once: OK does not go on to close (and reload) it again.
TEST_F(SettingDlgTest, UnderTheBoxOfAFailedSaveNoCycleStartsAndTheDialogClosesOnce) {
    std::string listPath = dir.File("missing") + "\\fsw.lst";
    CopyField(theApp->m_listPath, sizeof theApp->m_listPath, listPath.c_str());
    theApp->m_results.assign(1, CheckResult());  // a cycle would empty them
    size_t busyBoxes = 0;
    size_t reloadsInBox = 0;
    m_boxes.OnBox([&](const MessageBoxRecorder::Box& box) {
        m_probe.ExpectNoneHeld("the box \"" + box.text + "\" is open");
        busyBoxes += box.text == CheckCycle::GUARD_BUSY_TEXT;
        if (box.text != "ホスト情報の登録ができませんでした。") {
            return;
        }
        theApp->m_mainWin.StartCheck(TIMER_CHECK);
        EXPECT_EQ(1u, theApp->m_results.size()) << "no cycle started";
        theApp->m_mainWin.GuardedStartCheck(NULL);
        size_t before = LinesNaming(LogMessages(), listPath);
        Press(m_dlg.hwnd, IDCANCEL);
        reloadsInBox = LinesNaming(LogMessages(), listPath) - before;
    });
    TimerWindow timer;
    RunDialog([&](HWND dialog) {
        TypeText(dialog, IDC_INTERVAL, "15");
        Press(dialog, IDOK);
        EXPECT_TRUE(Closes(dialog));
    });
    std::vector<std::string> messages = LogMessages();
    EXPECT_TRUE(HasMessage(messages, "他の操作の処理中のため問合せを見送ります"));
    EXPECT_EQ(1u, busyBoxes);
    EXPECT_EQ(1u, reloadsInBox) << "Cancel closed the dialog and read the files again";
    EXPECT_FALSE(Contains(messages, "タイマを再設定します")) << "OK went no further";
    EXPECT_EQ(reloadsInBox + 1, LinesNaming(messages, listPath)) << "the failed save, one reload";
}

// A Cancel under the question of "全削除" closes the dialog and reads the host list
// again; the Yes that follows deletes nothing any more.
TEST_F(SettingDlgTest, DeleteAllAnsweredAfterTheDialogClosedUnderItsQuestionKeepsTheList) {
    WriteFileBytes(theApp->m_listPath, "0\tkept\t50801\tC:\\\t10\t0\t\r\n");
    theApp->LoadHostList();
    m_boxes.OnBox([&](const MessageBoxRecorder::Box& box) {
        m_probe.ExpectNoneHeld("the box \"" + box.text + "\" is open");
        if (box.text == "全ての登録を削除していいですか？") {
            Press(m_dlg.hwnd, IDCANCEL);  // its question is answered Yes as well
        }
    });
    RunDialog([&](HWND dialog) {
        Press(dialog, IDC_DELETE_ALL);
        EXPECT_TRUE(Closes(dialog));
    });
    std::vector<HostEntry> hosts = Hosts();
    ASSERT_EQ(1u, hosts.size());
    EXPECT_STREQ("kept", hosts[0].host);
}

// OK sets the timer to the new INTVAL, but fsw.ini cannot be written: the reload on
// close brings the old INTVAL back, and the timer follows it.
TEST_F(SettingDlgTest, AfterAFailedSettingsSaveTheTimerFollowsTheIntervalReadBack) {
    std::string iniPath = dir.File("missing") + "\\fsw.ini";
    CopyField(theApp->m_iniPath, sizeof theApp->m_iniPath, iniPath.c_str());
    TimerWindow timer;
    ASSERT_TRUE(theApp->m_mainWin.SetCheckTimer());
    RunDialog([&](HWND dialog) {
        TypeText(dialog, IDC_INTERVAL, "15");
        Press(dialog, IDOK);
        EXPECT_TRUE(Closes(dialog));
    });
    std::vector<std::string> messages = LogMessages();
    EXPECT_TRUE(HasMessage(messages, "タイマを再設定します 10分 → 15分"));
    EXPECT_TRUE(HasMessage(messages, "タイマを再設定します 15分 → 10分"));
    EXPECT_EQ(10u, theApp->m_interval);
    EXPECT_EQ(10u, theApp->m_mainWin.TimerInterval());
    EXPECT_TRUE(timer.KillCheckTimer());
}

}  // namespace
