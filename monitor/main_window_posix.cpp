// The console front end of the Linux edition.
#include "monitor/main_window.h"

#include "app/kiv.h"
#include "monitor/messages.h"

MainWin::MainWin() : m_created(false) {}

MainWin::~MainWin() {
    if (m_created) {
        MForgetWindow(this);
    }
}

bool MainWin::Create(const char*, void*, HINSTANCE, HWND) {
    m_created = true;
    MCatchSignals(this, 0);
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

intptr_t MainWin::HandleMessage(unsigned message, uintptr_t, intptr_t) {
    switch (message) {
        case WM_CLOSE:
            DestroyWindow();
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

void MainWin::OnDestroy() {
    Kiv* app = theApp;
    app->Log("%s Version %u.%u.%u (%u) 終了", APP_TITLE, unsigned{app->m_version[0]},
             unsigned{app->m_version[1]}, unsigned{app->m_version[2]}, unsigned{app->m_version[3]});
}
