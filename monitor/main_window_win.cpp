// The hidden main window.
#include "monitor/main_window.h"

#include "app/kiv.h"
#include "monitor/messages.h"

bool MainWin::Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance, HWND parent) {
    WNDCLASSEXA own;
    if (classInfo == NULL) {
        ZeroMemory(&own, sizeof own);
        own.cbSize = sizeof own;
        own.style = 0;
        own.lpfnWndProc = WindowProcedure;
        own.hInstance = instance;
        own.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));  // IDC_ARROW
        own.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        own.lpszClassName = "FSW_WindowClass";
        classInfo = &own;
    }
    return MWin::Create(title, classInfo, instance, parent);
}

LRESULT MainWin::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            OnDestroy();
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void MainWin::OnDestroy() {
    Kiv* app = theApp;
    app->Log("%s Version %u.%u.%u (%u) 終了", APP_TITLE, unsigned{app->m_version[0]},
             unsigned{app->m_version[1]}, unsigned{app->m_version[2]}, unsigned{app->m_version[3]});
}

UINT_PTR MainWin::SetCheckTimer() {
    return SetTimer(hwnd, TIMER_CHECK, theApp->m_interval * 60000u, NULL);
}

void MainWin::GuardedStartCheck(HWND owner) {
    MLockGuard hold(theApp->m_queryCountLock);
    if (theApp->m_queryThreadCount != 0) {
        MessageBoxF(owner, MB_ICONEXCLAMATION, "処理中", "既に問合せ処理中！！");
    }
}
