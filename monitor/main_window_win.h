// The program's hidden top-level window: it lives for the program's whole life and its
// destruction is the shutdown sequence.
#pragma once

#include "mlib/mwin.h"

class MainWin : public MWin {
public:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance,
                HWND parent) override;
    // Stand-ins until the main window with its check cycles is merged.
    UINT_PTR SetCheckTimer();
    void GuardedStartCheck(HWND owner);

private:
    void OnDestroy();
};
