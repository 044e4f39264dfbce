// Windows only. The program's hidden main window: it owns the tray icon with its
// tooltip, balloons and menu, carries the check timer, runs the check cycles, owns the
// status window, the settings dialog and the server's thread, and its destruction is
// the program's shutdown sequence.
#pragma once

#include <cstdint>

#include "mlib/mshell_win.h"
#include "mlib/mwin.h"
#include "monitor/main_lifecycle.h"
#include "monitor/notify_dlg_win.h"
#include "res/resource.h"
#include "settings/setting_dlg_win.h"

// The main window's class; its menu (IDM_TRAY), icon and commands are in res/resource.h.
extern const char MAIN_WINDOW_CLASS[];

// The size of the tray icon's data: the structure up to and without guidItem, which
// is 488 bytes in the 32-bit program.
const DWORD TRAY_DATA_SIZE = NOTIFYICONDATAA_V2_SIZE;

class MainWin : public MWin, public MainLifecycle {
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
    // The pause between two attempts to add the tray icon (1000 ms).
    void SetTrayAttemptPause(unsigned milliseconds);

    UINT m_taskbarCreatedMsg;  // the number of "TaskbarCreated"
    char m_tip[128];           // the normal tooltip
    HMENU m_trayMenu;          // the popup of menu 101
    SettingDlg m_settingDlg;
    NotifyDlg m_notifyDlg;
    bool m_trayIconSet;  // the tray icon is registered

protected:
    void SetTrayTip(const char* text) override;
    void RestoreTrayTip() override;
    void UpdateStatusList(const std::vector<CheckResult>& results) override;
    void ShowStatusWindow() override;

private:
    NOTIFYICONDATAA TrayData(UINT flags);
    LRESULT OnCreate();
    void OnDestroy();
    void OnCommand(WPARAM wParam);
    void OnTimer(UINT_PTR id);
    void OnTrayIcon(WPARAM wParam, LPARAM lParam);
    void CreateStatusWindow();
    void OpenSettingDialog();
    void CloseSettingDialog();

    // Tells the status window why its list would be empty.
    void UpdateEmptyText();

    HINSTANCE m_instance;
    unsigned m_trayAttemptPause;
    bool m_cycleRan;  // a cycle has refilled the status list
};
