// The Linux edition's console front end. It plays the hidden main window's part: it
// receives the posted messages and the timer ticks of the message loop, and its
// destruction (on SIGINT or SIGTERM) is the shutdown sequence.
#pragma once

#include "mlib/msys.h"

class MainWin : public MMessageTarget {
public:
    MainWin();
    ~MainWin() override;

    // Sets up as the window's WM_CREATE would; the title and class are not used.
    bool Create(const char* title, void* classInfo, HINSTANCE instance, HWND parent);
    HWND GetHandle();
    bool Show(int command);  // nothing to show on a console
    bool Update();
    intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;
    void DestroyWindow();

private:
    void OnDestroy();

    bool m_created;
};
