// Windows only. The settings dialog (template 102): the roles, the port, the check
// interval, the notification method, the log mode and the live list of check targets.
#pragma once

#include "app/host_entry.h"
#include "mlib/mwin.h"

#include <commctrl.h>  // after windows.h, which mlib/mwin.h brings

// Resource numbers of the dialog and its row marks.
const int IDD_SETTINGS = 102;
const int IDI_ROW_CHECKED = 104;   // a green check mark: the target is queried
const int IDI_ROW_EXCLUDED = 105;  // the same mark in pale grey: the target is left out

// Controls of the dialog.
enum SettingControl : int {
    IDC_HOST_LIST = 1001,
    IDC_DELETE_ALL = 1002,
    IDC_CHECK_NOW = 1003,
    IDC_REGISTER = 1004,
    IDC_HOST = 1005,
    IDC_PORT = 1006,
    IDC_PATH = 1007,
    IDC_THRESHOLD = 1008,
    IDC_UNIT = 1009,
    IDC_NOTIFY = 1010,
    IDC_SERVER_PORT = 1011,
    IDC_SERVER = 1012,
    IDC_INTERVAL = 1013,
    IDC_CLIENT = 1014,
    IDC_EXCLUDED = 1015,
    IDC_LOG_NONE = 1016,
    IDC_LOG_OVERWRITE = 1017,
    IDC_LOG_APPEND = 1018,
    IDC_NOTE_SAVE = 1019,
    IDC_NOTE_LIVE = 1020,
    IDC_DESCRIPTION = 1021,
};

// The command of the list's context menu item "削除(DEL)".
const UINT CMD_DELETE_ROW = 10;

// The modal settings dialog; embedded in the main window and reused for every showing.
// The list of check targets is edited live in theApp->m_hosts; the other settings are
// taken from the controls on OK only. Every way out reloads both files.
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
    typedef void (SettingDlg::*Action)();

    void OnInitDialog();
    bool CreateImageList();
    bool InsertColumns();
    void CreatePopup();
    void FillCombos();
    void OnCommand(UINT id);
    void OnNotify(const NMHDR* header);
    void ShowPopup();
    // Runs an action while no query thread runs, holding m_queryCountLock throughout;
    // otherwise refuses with the given text.
    void RunGuarded(Action action, const char* refusal);
    void OnOk();
    void OnClose();
    void CleanUp();
    void FillSettings();
    // Takes the global settings from the controls; on a failed check it says why,
    // focuses the offending field and stores nothing.
    bool StoreSettings();
    void ShowDetail(int index);
    void AddListItem(const HostEntry& entry);
    void RefreshList();
    void RegisterEntry();
    void DeleteSelected();
    void DeleteAll();
    int SelectedRow();
    void FocusControl(int id);
};
