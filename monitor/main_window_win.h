// Windows only. The program's hidden main window: it owns the tray icon with its
// tooltip, balloons and menu, carries the check timer, runs the check cycles, owns the
// status window, the settings dialog and the server's thread, and its destruction is
// the program's shutdown sequence.
#pragma once

#include <cstdint>

#include "mlib/mshell_win.h"
#include "mlib/mthread.h"
#include "mlib/mwin.h"
#include "monitor/check_cycle.h"
#include "monitor/notify_dlg_win.h"
#include "settings/setting_dlg_win.h"

// The main window's class, menu and icon.
extern const char MAIN_WINDOW_CLASS[];
const int MAIN_MENU_ID = 101;
const int MAIN_ICON_ID = 103;
const int SETTING_DIALOG_ID = 102;

// The commands of the tray menu.
enum TrayCommand : UINT {
    CMD_SETTINGS = 40007,  // "設定"
    CMD_VERSION = 40008,   // "バージョン情報"
    CMD_EXIT = 40009,      // "終了"
    CMD_STATUS = 40011,    // "監視状態"
    CMD_CHECK = 40013,     // "今すぐチェック"
};

// The size of the tray icon's data: the structure up to and without guidItem, which
// is 488 bytes in the 32-bit program.
const DWORD TRAY_DATA_SIZE = NOTIFYICONDATAA_V2_SIZE;

// Milliseconds between two check cycles for an interval in minutes, at most the
// longest period a timer takes (USER_TIMER_MAXIMUM, about 24.8 days).
UINT CheckTimerPeriod(uint32_t minutes);

class MainWin : public MWin, public CheckCycle {
public:
    MainWin();
    ~MainWin() override;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Registers "FSW_WindowClass" (when no class is given) and creates the window.
    bool Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance,
                HWND parent) override;

    // Adds, changes or removes the tray icon with the given tooltip.
    BOOL SetTrayIcon(DWORD message, const char* text);
    // Without retry: up to 30 attempts a pause apart, then timer 101. With retry (each
    // tick of timer 101): one attempt, which stops the timer when it succeeds.
    bool AddTrayIcon(bool retry);
    void ShowBalloon(const char* text, const char* title, unsigned iconFlag) override;
    // Opens the menu at the cursor; the chosen command arrives as WM_COMMAND.
    BOOL ShowTrayMenu(HMENU menu);
    // Sets timer 100 to the check interval, replacing a running one.
    UINT_PTR SetCheckTimer();
    // The pause between two attempts to add the tray icon (1000 ms).
    void SetTrayAttemptPause(unsigned milliseconds);

    UINT m_taskbarCreatedMsg;  // the number of "TaskbarCreated"
    char m_tip[128];           // the normal tooltip
    HMENU m_trayMenu;          // the popup of menu 101
    SettingDlg m_settingDlg;
    NotifyDlg m_notifyDlg;
    MThread m_serverThread;  // runs ServerThread
    bool m_serverRunning;    // the server thread was started at creation
    bool m_trayIconSet;      // the tray icon is registered

protected:
    void SetTrayTip(const char* text) override;
    void RestoreTrayTip() override;
    void UpdateStatusList() override;
    void ShowStatusWindow() override;

private:
    NOTIFYICONDATAA TrayData(UINT flags);
    LRESULT OnCreate();
    void OnDestroy();
    void OnCommand(WPARAM wParam);
    void OnTimer(UINT_PTR id);
    void OnTrayIcon(WPARAM wParam, LPARAM lParam);
    void CreateStatusWindow();
    void StopServer();
    void WaitForQueryThreads();
    void CloseSettingDialog();

    HINSTANCE m_instance;
    bool m_destroyed;  // the shutdown sequence has run
    unsigned m_trayAttemptPause;
};
