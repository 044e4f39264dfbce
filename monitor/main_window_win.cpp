// The hidden main window.
#include "monitor/main_window.h"

#include "app/kiv.h"
#include "mlib/mdesktop_win.h"
#include "monitor/messages.h"

const char MAIN_WINDOW_CLASS[] = "FSW_WindowClass";

static_assert(sizeof(void*) != 4 || TRAY_DATA_SIZE == 488,
              "the 32-bit program hands the shell 488 bytes of tray icon data");

namespace {

const int TRAY_ATTEMPTS = 30;
const UINT TRAY_RETRY_PERIOD = 10000;
const UINT BALLOON_TIMEOUT = 30000;

}  // namespace

static_assert(USER_TIMER_MAXIMUM == 0x7FFFFFFF, "the check timer's longest period");

MainWin::MainWin()
    : m_taskbarCreatedMsg(0),
      m_trayMenu(NULL),
      m_trayIconSet(false),
      m_instance(NULL),
      m_trayAttemptPause(1000),
      m_cycleRan(false) {
    m_tip[0] = '\0';
}

// Neither the window nor the server thread is waited for here: the shutdown sequence
// has done that.
MainWin::~MainWin() {}

// A shutdown request that arrives while the window is still being created (Windows
// shutting down sends WM_ENDSESSION, which is handled whenever the creation waits on
// another window) destroys it before CreateWindowExA returns. The shutdown has then
// run in order and posted the quit: that is no failure to create.
bool MainWin::Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance, HWND parent) {
    m_taskbarCreatedMsg = 0;
    m_instance = instance;
    ResetShutdown();
    WNDCLASSEXA own;
    if (classInfo == NULL) {
        MFillWindowClass(&own, instance, MAIN_WINDOW_CLASS);
        own.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_FSW));
        own.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        own.lpszMenuName = MAKEINTRESOURCEA(IDM_TRAY);
        own.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_FSW));
        classInfo = &own;
    }
    if (!RegisterClassExA(classInfo)) {
        ShowErrorBox(GetLastError());
        return false;
    }
    HWND window = CreateWindowExA(0, classInfo->lpszClassName, title, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  parent, NULL, instance, static_cast<MWinBase*>(this));
    if (window == NULL && !ShuttingDown()) {
        ShowErrorBox(GetLastError());
        return false;
    }
    return true;
}

void MainWin::SetTrayAttemptPause(unsigned milliseconds) {
    m_trayAttemptPause = milliseconds;
}

LRESULT MainWin::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_taskbarCreatedMsg != 0 && message == m_taskbarCreatedMsg) {
        AddTrayIcon(false);  // the shell started again and lost the icon
        return 0;
    }
    switch (message) {
        case WM_CREATE:
            return OnCreate();
        case WM_DESTROY:
            OnDestroy();
            PostQuitMessage(0);
            return 0;
        case WM_QUERYENDSESSION:
            return 1;  // at once: another program may still cancel the end
        case WM_ENDSESSION:
            // The session ends for certain (wParam TRUE) once this returns, and the process
            // may be ended at any moment after: the whole shutdown runs here. A cancelled
            // end (FALSE) leaves the program running as before.
            if (wParam) {
                theApp->Log("Windowsがシャットダウンされます。");
                DestroyWindow(hwnd);
            }
            return 0;
        case WM_COMMAND:
            OnCommand(wParam);
            return 0;
        case WM_TIMER:
            OnTimer(wParam);
            return 0;
        case WM_APP_TRAY:
            OnTrayIcon(wParam, lParam);
            return 0;
        case WM_APP_CYCLE_DONE:
            OnCycleDone();
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT MainWin::OnCreate() {
    Kiv* app = theApp;
    wsprintfA(m_tip, "%s Ver.%u.%u.%u", APP_TITLE, unsigned{app->m_version[0]},
              unsigned{app->m_version[1]}, unsigned{app->m_version[2]});
    m_trayMenu = GetSubMenu(GetMenu(hwnd), 0);
    m_taskbarCreatedMsg = RegisterWindowMessageA("TaskbarCreated");
    // Run as administrator, the window would not hear Explorer's broadcast otherwise.
    if (m_taskbarCreatedMsg != 0 && !MChangeWindowMessageFilterEx(hwnd, m_taskbarCreatedMsg)) {
        theApp->Log("TaskbarCreated のメッセージフィルタを設定できません。(%lu)", GetLastError());
    }
    // Both steps wait on other windows, and a shutdown request may be handled meanwhile:
    // once the window is gone, nothing more is started.
    AddTrayIcon(false);
    if (ShuttingDown()) {
        return 0;
    }
    CreateStatusWindow();
    if (ShuttingDown()) {
        return 0;
    }
    StartRoles();
    return 0;
}

// The status window, created hidden; without it the program runs on.
void MainWin::CreateStatusWindow() {
    HWND dialog = CreateDialogParamA(
        m_instance, MAKEINTRESOURCEA(IDD_STATUS), hwnd, reinterpret_cast<DLGPROC>(WindowProcedure),
        reinterpret_cast<LPARAM>(static_cast<MWinBase*>(&m_notifyDlg)));
    if (dialog == NULL) {
        ShowErrorBox(GetLastError());
        return;
    }
    ShowWindow(dialog, SW_HIDE);
    UpdateEmptyText();
}

// The icon's data, all zero but for its size, window, id and the flags given.
NOTIFYICONDATAA MainWin::TrayData(UINT flags) {
    NOTIFYICONDATAA data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = TRAY_DATA_SIZE;
    data.hWnd = hwnd;
    data.uID = TRAY_ICON_ID;
    data.uFlags = flags;
    return data;
}

BOOL MainWin::SetTrayIcon(DWORD message, const char* text) {
    NOTIFYICONDATAA data = TrayData(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data.uCallbackMessage = WM_APP_TRAY;
    // At the size the shell shows it for the DPI of the screen; the shell keeps a copy.
    data.hIcon = MLoadSmallIcon(m_instance, MAKEINTRESOURCEA(IDI_FSW), MGetDpiForWindow(hwnd));
    lstrcpynA(data.szTip, text, sizeof data.szTip);
    BOOL done = MShellNotifyIcon(message, &data);
    if (data.hIcon != NULL) {
        DestroyIcon(data.hIcon);
    }
    return done;
}

bool MainWin::AddTrayIcon(bool retry) {
    if (retry) {
        if (!SetTrayIcon(NIM_ADD, m_tip) && !SetTrayIcon(NIM_MODIFY, m_tip)) {
            return false;  // the timer tries again
        }
        m_trayIconSet = true;
        KillTimer(hwnd, TIMER_TRAY_RETRY);
        theApp->Log("タスクトレイのアイコンがセットされました。");
        return true;
    }
    for (int attempt = 1; attempt <= TRAY_ATTEMPTS; attempt++) {
        if (SetTrayIcon(NIM_ADD, m_tip) || SetTrayIcon(NIM_MODIFY, m_tip)) {
            m_trayIconSet = true;
            return true;
        }
        if (ShuttingDown()) {
            return false;  // shut down meanwhile: nothing left to add the icon to
        }
        if (attempt < TRAY_ATTEMPTS) {
            MSleep(m_trayAttemptPause);
        }
    }
    theApp->Log("タスクトレイへのアイコン登録に失敗しました。");
    m_trayIconSet = false;
    SetTimer(hwnd, TIMER_TRAY_RETRY, TRAY_RETRY_PERIOD, NULL);
    return false;
}

void MainWin::ShowBalloon(const char* text, const char* title, unsigned iconFlag) {
    NOTIFYICONDATAA data = TrayData(NIF_INFO);
    lstrcpynA(data.szInfo, text, sizeof data.szInfo);
    data.uTimeout = BALLOON_TIMEOUT;
    lstrcpynA(data.szInfoTitle, title, sizeof data.szInfoTitle);
    data.dwInfoFlags = iconFlag;
    MShellNotifyIcon(NIM_MODIFY, &data);
}

BOOL MainWin::ShowTrayMenu(HMENU menu) {
    if (!SetForegroundWindow(hwnd)) {
        return 0;
    }
    POINT cursor;
    if (!GetCursorPos(&cursor)) {
        return 0;
    }
    BOOL chosen = TrackPopupMenuEx(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, hwnd, NULL);
    Post(WM_NULL, 0, 0);  // lets the menu close when the user clicks elsewhere
    return chosen;
}

void MainWin::OnTrayIcon(WPARAM wParam, LPARAM lParam) {
    if (wParam != TRAY_ICON_ID) {
        return;
    }
    switch (static_cast<UINT>(lParam)) {
        case WM_LBUTTONDBLCLK:
            ShowStatusWindow();
            break;
        case WM_RBUTTONUP:
            ShowTrayMenu(m_trayMenu);
            break;
        default:
            break;
    }
}

void MainWin::OnCommand(WPARAM wParam) {
    Kiv* app = theApp;
    switch (static_cast<UINT>(LOWORD(wParam)) - CMD_SETTINGS) {
        case CMD_SETTINGS - CMD_SETTINGS:
            OpenSettingDialog();
            break;
        case CMD_VERSION - CMD_SETTINGS:
            MessageBoxF(hwnd, MB_ICONINFORMATION, "バージョン情報", "%s Ver.%u.%u.%u (%u)",
                        APP_TITLE, unsigned{app->m_version[0]}, unsigned{app->m_version[1]},
                        unsigned{app->m_version[2]}, unsigned{app->m_version[3]});
            break;
        case CMD_EXIT - CMD_SETTINGS:
            Post(WM_CLOSE, 0, 0);
            break;
        case CMD_STATUS - CMD_SETTINGS:
            ShowStatusWindow();
            break;
        case CMD_CHECK - CMD_SETTINGS:
            GuardedStartCheck(hwnd);
            break;
        default:
            break;  // 3 and 5 are no commands of the menu, nor is anything else
    }
}

void MainWin::OnTimer(UINT_PTR id) {
    if (id == TIMER_TRAY_RETRY) {
        if (!m_trayIconSet) {
            AddTrayIcon(true);
        }
        return;
    }
    OnCheckTimer(id);
}

void MainWin::SetTrayTip(const char* text) {
    SetTrayIcon(NIM_MODIFY, text);
}

void MainWin::RestoreTrayTip() {
    SetTrayIcon(NIM_MODIFY, m_tip);
}

void MainWin::UpdateStatusList(const std::vector<CheckResult>& results) {
    m_cycleRan = true;
    UpdateEmptyText();
    m_notifyDlg.UpdateList(results);
}

// Before the first cycle the client role may have been switched since the last time.
void MainWin::ShowStatusWindow() {
    UpdateEmptyText();
    m_notifyDlg.ShowStatus();
}

void MainWin::UpdateEmptyText() {
    m_notifyDlg.SetEmptyText(StatusEmptyText(m_cycleRan, CycleTargets(), theApp->m_client == 1));
}

// The shutdown sequence, in order.
void MainWin::OnDestroy() {
    BeginShutdown();
    if (!m_trayIconSet) {
        KillTimer(hwnd, TIMER_TRAY_RETRY);
    }
    SetTrayIcon(NIM_MODIFY, "終了処理中...");
    StopRoles();
    PostMessageA(m_notifyDlg.GetHandle(), WM_APP_CLOSE_STATUS, 0, 0);
    CloseSettingDialog();
    if (!SetTrayIcon(NIM_DELETE, m_tip)) {
        theApp->Log("タスクトレイのアイコン削除に失敗しました。");
    }
    m_trayIconSet = false;
    theApp->LogVersionLine("終了");
}

// m_dialogLock guards the open flag only while it is read: the modal run goes on outside
// it, so that nothing the dialog shows runs under a lock. The dialog has no owner, so
// the tray menu stays usable and brings an open dialog to the front.
void MainWin::OpenSettingDialog() {
    bool open;
    {
        MLockGuard hold(theApp->m_dialogLock);
        open = m_settingDlg.m_open;
    }
    if (open) {
        SetForegroundWindow(m_settingDlg.GetHandle());
    } else {
        m_settingDlg.DoModal(m_instance, MAKEINTRESOURCEA(IDD_SETTINGS), NULL);
    }
}

// The open settings dialog closes without asking and without saving. Its close runs
// after m_dialogLock is released.
void MainWin::CloseSettingDialog() {
    bool open;
    {
        MLockGuard hold(theApp->m_dialogLock);
        m_settingDlg.m_modified = false;
        open = m_settingDlg.m_open;
    }
    if (open) {
        m_settingDlg.Send(WM_CLOSE, 0, 0);
    }
}
