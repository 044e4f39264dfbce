// Windows only. Binds Win32 windows and dialogs to objects of the library through the
// window property "Mtk_WinBase_PS", and routes each window's messages to one virtual
// handler of its object.
#pragma once

#include "mlib/mbase.h"
#include "mlib/msys.h"

// A window handle bound to an object.
class MWinBase : public MBase {
public:
    MWinBase();
    ~MWinBase() override;  // removes the binding from a window that is still set
    MWinBase(const MWinBase&) = delete;
    MWinBase& operator=(const MWinBase&) = delete;

    virtual HWND Attach(HWND window);  // returns the previous handle
    virtual HWND GetHandle();
    virtual LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL Post(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd;
};

// A top-level window of a registered class.
class MWin : public MWinBase {
public:
    // The window procedure's result; the handler calls DefWindowProcA itself for what
    // it leaves alone (or, for a modeless dialog, returns 0 for it).
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Registers the window's class and creates the window; each kind of window brings
    // its own (a modeless dialog: MWinDlg; the main window its class "FSW_WindowClass").
    virtual bool Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance,
                        HWND parent) = 0;
    virtual BOOL Show(int command);
    virtual BOOL Update();
};

// A modeless dialog whose template names the class "mlib_DlgWindow_ClassName".
class MWinDlg : public MWin {
public:
    bool Create(const char* dialogTemplate, WNDCLASSEXA* classInfo, HINSTANCE instance,
                HWND parent) override;
};

// A modal dialog.
class MDlg : public MWinBase {
public:
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // DialogBoxParamA: the value given to EndDialog, or -1 if the dialog failed.
    virtual INT_PTR DoModal(HINSTANCE instance, const char* dialogTemplate, HWND parent);
};

// Name of the property that binds a window to its object.
extern const char MWIN_PROPERTY[];
// The registered class of MWinDlg.
extern const char MWINDLG_CLASS[];

// The window procedure of every registered class of the program, and the dialog
// procedure of modeless dialogs created with the object as initialisation parameter.
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The dialog procedure of modal dialogs.
INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// A window class as each of the program's starts: its size, the window procedure above,
// the instance, the name and the arrow cursor; all else empty, for the window to add.
void MFillWindowClass(WNDCLASSEXA* classInfo, HINSTANCE instance, const char* name);
