// Windows only. The status window "監視状態": a modeless, resizable dialog (template 106)
// that lists the results of the latest check cycle, one row per target; a double click on
// a row opens the chart of that target's history.
#pragma once

#include <vector>

#include "mlib/mwin.h"
#include "monitor/chart_win.h"
#include "net/check_result.h"
#include "res/resource.h"  // its template IDD_STATUS and list IDC_STATUS_LIST

#include <commctrl.h>  // after windows.h, which mlib/mwin.h brings

// The status window; embedded in the main window, which creates it hidden.
class NotifyDlg : public MWinDlg {
public:
    NotifyDlg();
    ~NotifyDlg() override;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Shows the window in front; a hidden one comes back at its first place and size.
    void ShowStatus();
    // Replaces all rows by the results of the latest cycle and redraws the open charts.
    void UpdateList(const std::vector<CheckResult>& results);
    // Opens the chart of the target of a row (or brings it to the front); its window.
    HWND OpenChart(int row);

    HIMAGELIST m_imageList;           // the three status icons, small icons at m_dpi
    int m_imgNormal;                  // IDI_ASTERISK
    int m_imgWarning;                 // IDI_EXCLAMATION
    int m_imgError;                   // IDI_HAND
    RECT m_rect;                      // the window's rectangle at the end of its set-up
    std::vector<CheckResult> m_rows;  // the result of each row, in row order
    ChartWindows m_charts;
    unsigned m_dpi;  // the DPI the list is laid out for

private:
    void OnInitDialog();
    void OnSize();
    void OnDpiChanged(unsigned dpi, const RECT* suggested);
    bool AddStatusIcons();
    bool InsertColumns();
    bool AddRow(int row, int32_t status, const char* const* texts);
    int StatusImage(int32_t status) const;
    void FailSetUp(const char* logLine, const char* caption, const char* text);
    HWND List();
};
