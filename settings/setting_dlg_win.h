// Windows only. The settings dialog (template 102): the roles, the port, the check
// interval, the notification method, the log mode and the live list of check targets.
#pragma once

#include "app/host_entry.h"
#include "mlib/mwin.h"

#include <commctrl.h>  // after windows.h, which mlib/mwin.h brings

// The command of the list's context menu item "削除(DEL)".
const UINT CMD_DELETE_ROW = 10;

// The modal settings dialog; embedded in the main window and reused for every showing.
class SettingDlg : public MDlg {
public:
    SettingDlg();
    ~SettingDlg() override;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    HMENU m_popupMenu;       // the list's context menu; null while closed
    HIMAGELIST m_imageList;  // the row icons; null while closed
    int m_imgChecked;        // image of a target that is queried (icon 104)
    int m_imgExcluded;       // image of an excluded target (icon 105)
    bool m_open;             // written only under m_dialogLock
    bool m_modified;         // closing asks first; cleared by OK and by the shutdown

private:
    void OnInitDialog();
    void OnCommand(UINT id);
    void OnNotify(const NMHDR* header);
    void OnClose();
    void CleanUp();
};
