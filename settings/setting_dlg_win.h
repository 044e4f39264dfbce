// Windows only. The settings dialog (template 102): the roles, the port, the check
// interval, the notification method, the log mode and the live list of check targets.
#pragma once

#include <vector>

#include "app/host_entry.h"
#include "mlib/mwin.h"
#include "res/resource.h"  // the template IDD_SETTINGS, its controls and row marks

#include <commctrl.h>  // after windows.h, which mlib/mwin.h brings

// The modal settings dialog; embedded in the main window and reused for every showing.
// The list of check targets is edited live in theApp->m_hosts; the other settings are
// taken from the controls on OK only. Every way out reloads both files. No box of it
// is shown while a lock is held; after a box, an action goes on only while the dialog
// is still open and the program is not shutting down.
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
    unsigned m_dpi;          // the DPI the list is laid out for

private:
    typedef void (SettingDlg::*Action)();

    void OnInitDialog();
    bool CreateImageList();
    void OnDpiChanged(unsigned dpi, const RECT* suggested);
    bool InsertColumns();
    void CreatePopup();
    void FillCombos();
    void OnCommand(UINT id);
    void OnNotify(const NMHDR* header);
    void ShowPopup();
    // Runs an action as a guarded action of the main window (no cycle runs, and none
    // starts until it ends); otherwise refuses with the given text, or with the main
    // window's text when another guarded action is in progress.
    void RunGuarded(Action action, const char* refusal);
    bool IsOpen();  // m_open, read under m_dialogLock
    // After a box: the dialog is still open and the program not shutting down.
    bool MayGoOn();
    void OnOk();
    void OnClose();
    void CleanUp();
    void FillSettings();
    // Takes the global settings from the controls; on a failed check it says why,
    // focuses the offending field and stores nothing.
    bool StoreSettings();
    void ShowDetail(int index);
    // Adds a row; false, after its log line and box, when the list view refuses it.
    bool AddListItem(const HostEntry& entry);
    void RefreshList();
    void RegisterEntry();
    void DeleteSelected();
    void DeleteAll();
    int SelectedRow();
    void FocusControl(int id);
};
