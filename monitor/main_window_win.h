// The program's hidden top-level window: it lives for the program's whole life and its
// destruction is the shutdown sequence.
#pragma once

#include "mlib/mthread.h"
#include "mlib/mwin.h"

class MainWin : public MWin {
public:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance,
                HWND parent) override;

private:
    void OnCreate();
    void OnDestroy();

    MThread m_serverThread;
    bool m_serverRunning = false;
};
