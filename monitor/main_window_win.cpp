// The hidden main window.
#include "monitor/main_window.h"

#include "app/kiv.h"
#include "monitor/messages.h"
#include "net/server.h"

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
        case WM_CREATE:
            OnCreate();
            return 0;
        case WM_DESTROY:
            OnDestroy();
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void MainWin::OnCreate() {
    Kiv* app = theApp;
    if (app->m_server == 1) {
        m_serverRunning = StartServerThread(&m_serverThread);
    }
}

void MainWin::OnDestroy() {
    Kiv* app = theApp;
    if (m_serverRunning) {
        app->StopServer();
        m_serverThread.Wait();
        m_serverThread.CloseHandle();
        m_serverRunning = false;
    }
    app->Log("%s Version %u.%u.%u (%u) 終了", APP_TITLE, unsigned{app->m_version[0]},
             unsigned{app->m_version[1]}, unsigned{app->m_version[2]}, unsigned{app->m_version[3]});
}
