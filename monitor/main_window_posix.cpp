// The console front end of the Linux edition.
#include "monitor/main_window.h"

#include <string>

#include "app/kiv.h"
#include "monitor/console_text.h"
#include "monitor/messages.h"
#include "net/query_client.h"
#include "net/server.h"

namespace {

// How long the first cycle waits for the program's own server to listen.
const unsigned SERVER_READY_WAIT_MS = 1000;

void LogVersionLine(Kiv* app, const char* word) {
    app->Log("%s Version %u.%u.%u (%u) %s", APP_TITLE, unsigned{app->m_version[0]},
             unsigned{app->m_version[1]}, unsigned{app->m_version[2]}, unsigned{app->m_version[3]},
             word);
}

}  // namespace

MainWin::MainWin() : m_created(false), m_serverRunning(false), m_out(stdout) {}

MainWin::~MainWin() {
    if (m_created) {
        MForgetWindow(this);
    }
}

bool MainWin::Create(const char*, void*, HINSTANCE, HWND) {
    m_created = true;
    OnCreate();
    return true;
}

HWND MainWin::GetHandle() {
    return m_created ? this : nullptr;
}

bool MainWin::Show(int) {
    return true;
}

bool MainWin::Update() {
    return true;
}

void MainWin::SetOutput(FILE* out) {
    m_out = out;
}

intptr_t MainWin::HandleMessage(unsigned message, uintptr_t wParam, intptr_t) {
    switch (message) {
        case WM_CLOSE:
            DestroyWindow();
            return 0;
        case WM_TIMER:
            if (theApp->m_client == 1) {
                StartCheck(wParam);
            }
            return 0;
        case WM_APP_CYCLE_DONE:
            OnCycleDone();
            return 0;
        case WM_APP_HANGUP:
            OnHangup();
            return 0;
        default:
            return 0;
    }
}

void MainWin::DestroyWindow() {
    if (!m_created) {
        return;
    }
    OnDestroy();
    MCatchSignals(nullptr, 0);
    MForgetWindow(this);
    m_created = false;
    MPostQuitMessage(0);
}

// The program's own server is given a moment to listen before the first cycle, which
// may well query it.
void MainWin::OnCreate() {
    Kiv* app = theApp;
    MCatchSignals(this, WM_APP_HANGUP);
    if (app->m_server == 1) {
        m_serverRunning = StartServerThread(&m_serverThread);
    }
    SetCheckTimer();
    if (app->m_client == 1) {
        if (m_serverRunning) {
            WaitForServerListening(m_serverThread, SERVER_READY_WAIT_MS);
        }
        StartCheck(TIMER_CHECK);
    }
}

// The period in 64 bits, held to the longest a Windows timer takes (24.8 days): a
// 32-bit product of a hand-edited INTVAL would wrap into a short period.
bool MainWin::SetCheckTimer() {
    Kiv* app = theApp;
    const uint64_t longest = 0x7FFFFFFF;
    uint64_t period = uint64_t{app->m_interval} * 60000u;
    if (!MSetTimer(this, TIMER_CHECK, static_cast<unsigned>(period < longest ? period : longest))) {
        char text[256];
        GetErrorText(text, MGetLastError(), sizeof text);
        app->Log("タイマ設定エラー : %s", text);
        MessageBoxF(this, MB_ICONERROR, "エラー", "タイマ設定に失敗！");
        return false;
    }
    return true;
}

// Query threads are waited for whenever any still runs, not only with the client role
// on: a cycle may run after a reload turned the role off, and no thread may outlive
// the application object.
void MainWin::OnDestroy() {
    Kiv* app = theApp;
    MKillTimer(this, TIMER_CHECK);
    if (m_serverRunning) {
        app->StopServer();
        m_serverThread.Wait();
        m_serverThread.CloseHandle();
        m_serverRunning = false;
    }
    if (app->m_client == 1 || app->m_queryThreadCount > 0) {
        app->Log("クライアントの全スレッド終了待ち");
        CancelRunningQueries();
        while (app->m_queryThreadCount > 0) {
            MSleep(100);
        }
        MLockGuard hold(app->m_queryCountLock);  // the last thread has let go of it too
        app->Log("クライアントの全スレッド終了");
    }
    LogVersionLine(app, "終了");
}

// As closing the settings dialog does: once no query runs, the settings and the host
// list are read again. A new interval resets the check timer.
void MainWin::OnHangup() {
    Kiv* app = theApp;
    app->Log("設定ファイルとホスト一覧を読み込み直します");
    for (;;) {
        app->m_queryCountLock.Enter();
        if (app->m_queryThreadCount == 0) {
            break;
        }
        app->m_queryCountLock.Leave();
        MSleep(100);
    }
    uint32_t oldInterval = app->m_interval;
    {
        MLockGuard hold(app->m_hostLock);
        app->LoadSettings();
        app->LoadHostList();
    }
    app->m_queryCountLock.Leave();
    if (app->m_interval != oldInterval) {
        app->Log("タイマを再設定します %u分 → %u分", oldInterval, app->m_interval);
        SetCheckTimer();
    }
}

// A console has no tooltip; the status list and balloon lines say it all.
void MainWin::SetTrayTip(const char*) {}

void MainWin::RestoreTrayTip() {}

void MainWin::ShowBalloon(const char* text, const char* title, unsigned) {
    fputs(BalloonLine(text, title).c_str(), m_out);
    fflush(m_out);
}

void MainWin::UpdateStatusList() {
    fputs(StatusListText(theApp->m_results).c_str(), m_out);
    fflush(m_out);
}

// The list is printed at the end of every cycle anyway.
void MainWin::ShowStatusWindow() {}
