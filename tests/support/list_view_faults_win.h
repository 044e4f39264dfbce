// Windows only. Makes the list views that the calling thread creates refuse chosen
// requests, so that tests can see how the windows filling them report failures.
#pragma once

#include "mlib/msys.h"

// While it lives, every list view created on the constructing thread is subclassed
// and answers the chosen requests with a failure; -1 chooses none.
class ListViewFaults {
public:
    ListViewFaults();
    ~ListViewFaults();
    ListViewFaults(const ListViewFaults&) = delete;
    ListViewFaults& operator=(const ListViewFaults&) = delete;

    int failColumn;        // LVM_INSERTCOLUMNA at this position answers -1
    int failInsertAtRow;   // LVM_INSERTITEMA at this row answers -1
    int failSetAtSubItem;  // LVM_SETITEMA of this sub-item answers FALSE

private:
    static LRESULT CALLBACK Subclass(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK Refuse(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HHOOK m_hook;
};
