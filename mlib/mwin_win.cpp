// The window and dialog framework: binding, message routing, creation.
#include "mlib/mwin.h"

#include "mlib/mapp.h"
#include "mlib/mexception.h"

const char MWIN_PROPERTY[] = "Mtk_WinBase_PS";
const char MWINDLG_CLASS[] = "mlib_DlgWindow_ClassName";

namespace {

// Binds an object to a window; a failure is only recorded in the exception text.
void Bind(MWinBase* object, HWND window, const char* failure, int line) {
    object->hwnd = window;
    if (!SetPropA(window, MWIN_PROPERTY, object)) {
        theException.Set(failure, line, "mlib");
    }
}

MWinBase* BoundObject(HWND window) {
    return static_cast<MWinBase*>(GetPropA(window, MWIN_PROPERTY));
}

// True while the object's window exists and carries the object's binding. An object
// whose earlier window was destroyed still holds that old handle, but is no longer bound.
bool IsBound(MWinBase* object) {
    return object->hwnd != NULL && BoundObject(object->hwnd) == object;
}

}  // namespace

MWinBase::MWinBase() : hwnd(NULL) {}

// Only this object's own binding is removed: a handle that outlived its window may
// meanwhile name another window.
MWinBase::~MWinBase() {
    if (hwnd != NULL && BoundObject(hwnd) == this) {
        RemovePropA(hwnd, MWIN_PROPERTY);
    }
}

HWND MWinBase::Attach(HWND window) {
    HWND previous = hwnd;
    hwnd = window;
    return previous;
}

HWND MWinBase::GetHandle() {
    return hwnd;
}

LRESULT MWinBase::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(hwnd, message, wParam, lParam);
}

BOOL MWinBase::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageA(hwnd, message, wParam, lParam);
}

BOOL MWin::Show(int command) {
    return ShowWindow(hwnd, command);
}

BOOL MWin::Update() {
    return UpdateWindow(hwnd);
}

bool MWinDlg::Create(const char* dialogTemplate, WNDCLASSEXA* classInfo, HINSTANCE instance,
                     HWND parent) {
    WNDCLASSEXA own;
    if (classInfo == NULL) {
        MFillWindowClass(&own, instance, MWINDLG_CLASS);
        own.cbWndExtra = DLGWINDOWEXTRA;
        own.hIcon = LoadIconA(NULL, MAKEINTRESOURCEA(32512));    // IDI_APPLICATION
        own.hIconSm = LoadIconA(NULL, MAKEINTRESOURCEA(32517));  // IDI_WINLOGO
        own.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        classInfo = &own;
    }
    if (!RegisterClassExA(classInfo)) {
        ShowErrorBox(GetLastError());
        return false;
    }
    HWND dialog = CreateDialogParamA(instance, dialogTemplate, parent,
                                     reinterpret_cast<DLGPROC>(WindowProcedure),
                                     reinterpret_cast<LPARAM>(this));
    if (dialog == NULL) {
        ShowErrorBox(GetLastError());
        return false;
    }
    return true;
}

void MFillWindowClass(WNDCLASSEXA* classInfo, HINSTANCE instance, const char* name) {
    ZeroMemory(classInfo, sizeof *classInfo);
    classInfo->cbSize = sizeof *classInfo;
    classInfo->lpfnWndProc = WindowProcedure;
    classInfo->hInstance = instance;
    classInfo->hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    classInfo->lpszClassName = name;
}

INT_PTR MDlg::DoModal(HINSTANCE instance, const char* dialogTemplate, HWND parent) {
    return DialogBoxParamA(instance, dialogTemplate, parent, DialogProcedure,
                           reinterpret_cast<LPARAM>(this));
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        CREATESTRUCTA* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        MWinBase* object = static_cast<MWinBase*>(create->lpCreateParams);
        if (object != NULL) {
            Bind(object, window, "window create error!!", 552);
        }
    } else if (message == WM_INITDIALOG) {
        MWinBase* object = reinterpret_cast<MWinBase*>(lParam);
        if (object != NULL && !IsBound(object)) {
            Bind(object, window, "dialog create error!!", 558);
        }
    }
    MWin* object = static_cast<MWin*>(BoundObject(window));
    if (object == NULL) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    // No exception may leave: the 32-bit build's unwinding cannot pass user32's frames.
    LRESULT result = 0;
    try {
        result = object->HandleMessage(message, wParam, lParam);
    } catch (...) {
        MApp::HandleWindowException(window, message == WM_DESTROY);
    }
    if (message == WM_DESTROY) {
        RemovePropA(window, MWIN_PROPERTY);
    }
    return result;
}

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        MWinBase* object = reinterpret_cast<MWinBase*>(lParam);
        if (object != NULL) {
            Bind(object, dialog, "dialog create error!!", 577);
        }
    }
    MDlg* object = static_cast<MDlg*>(BoundObject(dialog));
    if (object == NULL) {
        return 0;
    }
    INT_PTR result = 0;
    try {
        result = object->HandleMessage(message, wParam, lParam);
    } catch (...) {
        MApp::HandleWindowException(dialog, message == WM_DESTROY);
    }
    if (message == WM_DESTROY) {
        RemovePropA(dialog, MWIN_PROPERTY);
    }
    return result;
}
