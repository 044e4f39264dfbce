// The settings dialog as the main window runs it: the tray menu's "設定" opens it
// modally, a second "設定" only brings it to the front, and the shutdown closes it
// without the question and without saving.
#include "monitor/main_window.h"
#include "monitor/messages.h"
#include "tests/settings/setting_dlg_driver_win.h"
#include "tests/support/shell_support_win.h"

namespace {

// The dialogs of the system dialog class that the thread shows.
int ShownDialogsOfThread(DWORD thread) {
    int count = 0;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM counter) -> BOOL {
            char name[32] = "";
            GetClassNameA(window, name, sizeof name);
            if (lstrcmpA(name, "#32770") == 0 && IsWindowVisible(window)) {
                ++*reinterpret_cast<int*>(counter);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST_F(SettingDlgTest, MainWindowOpensItOnceAndItsShutdownClosesItWithoutSaving) {
    TrayRecorder tray;
    MainWin& main = theApp->m_mainWin;
    main.SetTrayAttemptPause(0);
    UnregisterClassA(MAIN_WINDOW_CLASS, theApp->instance);  // left by an earlier test
    ASSERT_TRUE(main.Create(APP_TITLE, nullptr, theApp->instance, NULL));
    HWND mainWindow = main.GetHandle();
    DWORD uiThread = GetCurrentThreadId();
    HWND opened = NULL;

    std::thread driver([&] {
        ASSERT_TRUE(WaitUntil(
            [&] {
                opened = main.m_settingDlg.hwnd;
                return opened != NULL && IsWindowVisible(opened) && main.m_settingDlg.m_open;
            },
            10000));
        SendMessageA(mainWindow, WM_COMMAND, CMD_SETTINGS, 0);  // already open
        EXPECT_EQ(1, ShownDialogsOfThread(uiThread));
        EXPECT_EQ(opened, main.m_settingDlg.hwnd);

        TypeDetails(opened, {false, "unsaved", "1", "/", "1", 0, ""});
        Press(opened, IDC_REGISTER);
        EXPECT_EQ(1u, Hosts().size());
        size_t boxes = BoxCount();
        SendMessageA(mainWindow, WM_CLOSE, 0, 0);  // "終了"
        EXPECT_TRUE(Closes(opened));
        EXPECT_TRUE(BoxesSince(boxes).empty());
    });
    SendMessageA(mainWindow, WM_COMMAND, CMD_SETTINGS, 0);  // returns when the dialog ends
    driver.join();
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));  // from WM_DESTROY

    EXPECT_FALSE(IsWindow(mainWindow));
    EXPECT_FALSE(main.m_settingDlg.m_open);
    EXPECT_TRUE(Hosts().empty());
    EXPECT_FALSE(FileExists(theApp->m_listPath));
    EXPECT_FALSE(FileExists(theApp->m_iniPath));
    UnregisterClassA(MAIN_WINDOW_CLASS, theApp->instance);
}

}  // namespace
