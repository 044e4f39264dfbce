// The settings dialog.
#include "settings/setting_dlg_win.h"

SettingDlg::SettingDlg()
    : m_popupMenu(NULL),
      m_imageList(NULL),
      m_imgChecked(-1),
      m_imgExcluded(-1),
      m_open(false),
      m_modified(false) {}

SettingDlg::~SettingDlg() {}

INT_PTR SettingDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return 1;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 1;
        case WM_NOTIFY:
            OnNotify(reinterpret_cast<const NMHDR*>(lParam));
            return 1;
        case WM_CLOSE:
            OnClose();
            return 1;
        default:
            return 0;
    }
}

void SettingDlg::OnInitDialog() {
    m_open = true;
    m_modified = true;
}

void SettingDlg::OnCommand(UINT id) {
    if (id == IDOK || id == IDCANCEL) {
        Send(WM_CLOSE, 0, 0);
    }
}

void SettingDlg::OnNotify(const NMHDR*) {}

void SettingDlg::OnClose() {
    CleanUp();
    EndDialog(hwnd, 0);
}

void SettingDlg::CleanUp() {
    m_open = false;
}
