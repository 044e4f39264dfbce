// List views that refuse chosen requests.
#include "tests/support/list_view_faults_win.h"

#include <commctrl.h>  // after windows.h, which mlib/msys.h brings

namespace {

ListViewFaults* g_faults = nullptr;
WNDPROC g_listViewProc = NULL;  // the class's own procedure, the same for every list view

}  // namespace

ListViewFaults::ListViewFaults() : failColumn(-1), failInsertAtRow(-1), failSetAtSubItem(-1) {
    g_faults = this;
    m_hook = SetWindowsHookExA(WH_CBT, Subclass, NULL, GetCurrentThreadId());
}

ListViewFaults::~ListViewFaults() {
    if (m_hook != NULL) {
        UnhookWindowsHookEx(m_hook);
    }
    g_faults = nullptr;
}

LRESULT CALLBACK ListViewFaults::Subclass(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char name[64] = "";
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpiA(name, WC_LISTVIEWA) == 0) {
            g_listViewProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Refuse)));
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

LRESULT CALLBACK ListViewFaults::Refuse(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ListViewFaults* faults = g_faults;
    if (faults != nullptr) {
        const LVITEMA* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (message == LVM_INSERTCOLUMNA && static_cast<int>(wParam) == faults->failColumn) {
            return -1;
        }
        if (message == LVM_INSERTITEMA && item->iItem == faults->failInsertAtRow) {
            return -1;
        }
        if (message == LVM_SETITEMA && item->iSubItem == faults->failSetAtSubItem) {
            return FALSE;
        }
    }
    return CallWindowProcA(g_listViewProc, window, message, wParam, lParam);
}
