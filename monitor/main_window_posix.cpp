// The console front end of the Linux edition.
#include "monitor/main_window.h"

#include <string>

#include "app/kiv.h"
#include "monitor/console_text.h"
#include "monitor/messages.h"

MainWin::MainWin() : m_created(false), m_out(stdout) {}

MainWin::~MainWin() {
    if (m_created) {
        MForgetWindow(this);
    }
}

bool MainWin::Create(const char*, void*, HINSTANCE, HWND) {
    m_created = true;
    ResetShutdown();
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

void MainWin::OnCreate() {
    MCatchSignals(this, WM_APP_HANGUP);
    StartRoles();
}

void MainWin::OnDestroy() {
    BeginShutdown();
    StopRoles();
    theApp->LogVersionLine("終了");
}

// As closing the settings dialog does: once no query runs, the settings and the host
// list are read again, and a new interval resets the check timer.
void MainWin::OnHangup() {
    theApp->Log("設定ファイルとホスト一覧を読み込み直します");
    ReloadWhenIdle();
}

// A console has no tooltip; the status list and balloon lines say it all.
void MainWin::SetTrayTip(const char*) {}

void MainWin::RestoreTrayTip() {}

void MainWin::ShowBalloon(const char* text, const char* title, unsigned) {
    fputs(BalloonLine(text, title).c_str(), m_out);
    fflush(m_out);
}

void MainWin::UpdateStatusList(const std::vector<CheckResult>& results) {
    fputs(StatusListText(results, &theApp->m_history).c_str(), m_out);
    fflush(m_out);
}

// The list is printed at the end of every cycle anyway.
void MainWin::ShowStatusWindow() {}
