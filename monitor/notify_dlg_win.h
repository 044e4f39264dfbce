// Windows only. The status window "監視状態": a modeless, resizable dialog (template 106)
// that lists the results of the latest check cycle, one row per target, in host-list order
// or sorted by a column's header; a double click on a row opens the chart of that target's
// history. Each grade has a mark of its own shape; an empty list says why it is empty.
#pragma once

#include <vector>

#include "mlib/mwin.h"
#include "monitor/chart_win.h"
#include "monitor/status_order.h"
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
    // Replaces all rows by the results of the latest cycle, in the order the list is sorted
    // by, and redraws the open charts.
    void UpdateList(const std::vector<CheckResult>& results);
    // What an empty list says (StatusEmptyText); nullptr says nothing.
    void SetEmptyText(const char* text);
    // Sorts the rows by a column, as a click on its header does (a second click on the same
    // header reverses the order).
    void SortByColumn(int column);
    // Opens the chart of the target of a row (or brings it to the front); its window.
    HWND OpenChart(int row);
    // The image of a status's mark: one per grade, the error's for an unknown status.
    static int StatusImage(int32_t status);

    HIMAGELIST m_imageList;           // the five grade marks, small icons at m_dpi
    RECT m_rect;                      // the window's rectangle at the end of its set-up
    std::vector<CheckResult> m_rows;  // the result of each row, in row order
    ChartWindows m_charts;
    unsigned m_dpi;  // the DPI the list is laid out for
    StatusSort m_sort;

private:
    void OnInitDialog();
    void OnSize();
    void OnDpiChanged(unsigned dpi, const RECT* suggested);
    bool AddStatusIcons();
    bool InsertColumns();
    bool AddRow(int row, int32_t status, const char* const* texts);
    void Refill();
    void MeasureTitles();
    void FitColumns();
    void ShowSortMark();
    void FailSetUp(const char* logLine, const char* caption, const char* text);
    HWND List();

    std::vector<CheckResult> m_results;  // the latest cycle's, in host-list order
    std::vector<int64_t> m_forecasts;    // of each of m_results
    std::vector<bool> m_ofBursts;        // whether that forecast is of repeating bursts
    std::vector<int> m_titleWidths;      // each column's title, measured
    std::vector<int> m_contentWidths;    // each column's widest title or cell
    const char* m_emptyText;
};
