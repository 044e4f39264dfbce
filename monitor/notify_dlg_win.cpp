// The status window.
#include "monitor/notify_dlg_win.h"

#include "app/kiv.h"
#include "mlib/mdesktop_win.h"
#include "monitor/messages.h"
#include "monitor/status_text.h"

namespace {

// The column that takes what the others leave: the description.
const size_t FILL_COLUMN = 6;
// The room (at 96 DPI) beside a text: a cell's margins, and a header's margins and sort
// mark.
const int CELL_MARGIN = 16;
const int TITLE_MARGIN = 30;
// Alignment of the list's columns, in column order.
const int COLUMN_FORMATS[STATUS_COLUMN_COUNT] = {LVCFMT_LEFT, LVCFMT_LEFT,  LVCFMT_LEFT,
                                                 LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_RIGHT,
                                                 LVCFMT_LEFT, LVCFMT_RIGHT};

// The log line when a column cannot be added.
const char* const COLUMN_FAILURES[STATUS_COLUMN_COUNT] = {
    "リストビューの列「状態」の追加でエラーが発生しました。",
    "リストビューの列「最終確認日時」の追加でエラーが発生しました。",
    "リストビューの列「ホスト」の追加でエラーが発生しました。",
    "リストビューの列「パス」の追加でエラーが発生しました。",
    "リストビューの列「しきい値」の追加でエラーが発生しました。",
    "リストビューの列「空き領域」の追加でエラーが発生しました。",
    "リストビューの列「説明」の追加でエラーが発生しました。",
    "リストビューの列「満杯予測」の追加でエラーが発生しました。",
};

// The log line when a cell of a row cannot be made: the item itself, then sub-items 1 to 7.
const char* const CELL_FAILURES[STATUS_COLUMN_COUNT] = {
    "リストビューのアイテム「状態」の追加でエラーが発生しました。",
    "リストビューのアイテム「最終確認日時」のセットでエラーが発生しました。",
    "リストビューのアイテム「ホスト」のセットでエラーが発生しました。",
    "リストビューのアイテム「パス」のセットでエラーが発生しました。",
    "リストビューのアイテム「警告値」のセットでエラーが発生しました。",
    "リストビューのアイテム「空き領域」のセットでエラーが発生しました。",
    "リストビューのアイテム「説明」のセットでエラーが発生しました。",
    "リストビューのアイテム「満杯予測」のセットでエラーが発生しました。",
};

// The grade marks, in image order: normal, caution, warning, danger, error.
const int MARK_COUNT = 5;
const char* const STATUS_ICONS[MARK_COUNT] = {
    MAKEINTRESOURCEA(IDI_GRADE_NORMAL), MAKEINTRESOURCEA(IDI_GRADE_CAUTION),
    MAKEINTRESOURCEA(IDI_GRADE_WARNING), MAKEINTRESOURCEA(IDI_GRADE_DANGER),
    MAKEINTRESOURCEA(IDI_GRADE_ERROR)};

HINSTANCE InstanceOf(HWND window) {
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
}

}  // namespace

NotifyDlg::NotifyDlg() : m_imageList(NULL), m_dpi(M_BASE_DPI), m_emptyText(nullptr) {
    SetRectEmpty(&m_rect);
    m_sort.column = STATUS_SORT_NONE;
    m_sort.reversed = false;
}

NotifyDlg::~NotifyDlg() {}

LRESULT NotifyDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return 1;
        case WM_SIZE:
            OnSize();
            return 1;
        case WM_CLOSE:
            ShowWindow(hwnd, SW_HIDE);  // closing only hides; the rows stay
            return 1;
        case WM_COMMAND:
            return 1;
        case WM_DESTROY:
            // The list view destroyed the image list it was given; forget it.
            m_imageList = NULL;
            return 1;
        case WM_APP_CLOSE_STATUS:
            DestroyWindow(hwnd);
            return 1;
        case M_WM_DPICHANGED:
            OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;  // the dialog manager may rescale the fonts too
        case WM_CTLCOLORSTATIC:
            // The empty list's text, on the list's own background.
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_GRAYTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        case WM_NOTIFY: {
            // A double click on a row, or Enter on it: the list view activates the item.
            const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_STATUS_LIST &&
                (header->code == NM_DBLCLK || header->code == LVN_ITEMACTIVATE)) {
                OpenChart(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem);
                return 1;
            }
            if (header->idFrom == IDC_STATUS_LIST && header->code == LVN_COLUMNCLICK) {
                SortByColumn(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
                return 1;
            }
            return 0;
        }
        default:
            return 0;
    }
}

HWND NotifyDlg::List() {
    return GetDlgItem(hwnd, IDC_STATUS_LIST);
}

void NotifyDlg::OnInitDialog() {
    HINSTANCE instance = InstanceOf(hwnd);
    HANDLE smallIcon =
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_FSW), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    Send(WM_SETICON, ICON_BIG,
         reinterpret_cast<LPARAM>(LoadIconA(instance, MAKEINTRESOURCEA(IDI_FSW))));

    m_dpi = MGetDpiForWindow(hwnd);
    m_imageList = MCreateSmallImageList(m_dpi, MARK_COUNT);
    if (m_imageList == NULL) {
        FailSetUp("イメージリストの生成に失敗しました。", "ImageList", "イメージリスト生成エラー");
        return;
    }
    if (!AddStatusIcons()) {
        FailSetUp("イメージリストの登録に失敗しました。", "ImageList", "イメージリスト登録エラー");
        return;
    }
    HWND list = List();
    LRESULT style = SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style | LVS_EX_FULLROWSELECT);
    if (!InsertColumns()) {
        return;
    }
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_imageList));
    MeasureTitles();
    m_contentWidths = m_titleWidths;
    SetEmptyText(m_emptyText);
    OnSize();
    GetWindowRect(hwnd, &m_rect);
}

bool NotifyDlg::AddStatusIcons() {
    HINSTANCE instance = InstanceOf(hwnd);
    for (int i = 0; i < MARK_COUNT; i++) {
        if (MImageListAddIcon(m_imageList, instance, STATUS_ICONS[i]) != i) {
            return false;
        }
    }
    return true;
}

bool NotifyDlg::InsertColumns() {
    for (int i = 0; i < STATUS_COLUMN_COUNT; i++) {
        LVCOLUMNA column;
        ZeroMemory(&column, sizeof column);
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = COLUMN_FORMATS[i];
        column.cx = MScaleForDpi(CELL_MARGIN, m_dpi);  // until the texts are measured
        column.pszText = const_cast<char*>(STATUS_COLUMN_TITLES[i]);
        column.iSubItem = i;
        if (SendMessageA(List(), LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column)) == -1) {
            FailSetUp(COLUMN_FAILURES[i], "ListView", "リストビューカラム追加エラー");
            return false;
        }
    }
    return true;
}

// A set-up step failed: the log line and the box, then the window hides itself and
// runs on without the rest of its set-up. An image list not yet handed to the list
// view is ours to free.
void NotifyDlg::FailSetUp(const char* logLine, const char* caption, const char* text) {
    theApp->Log("%s", logLine);
    MessageBoxF(hwnd, MB_ICONERROR, caption, "%s", text);
    if (m_imageList != NULL) {
        ImageList_Destroy(m_imageList);
        m_imageList = NULL;
    }
    Send(WM_CLOSE, 0, 0);
}

// Shown at another DPI (moved to another monitor, the scaling changed): the window takes
// the place Windows suggests, the list its widths and icons for the new DPI. A list view
// whose set-up failed is left as it is.
void NotifyDlg::OnDpiChanged(unsigned dpi, const RECT* suggested) {
    SetWindowPos(hwnd, NULL, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (m_imageList == NULL || dpi == 0) {
        return;
    }
    HIMAGELIST images =
        MRescaleListView(List(), m_dpi, dpi, InstanceOf(hwnd), STATUS_ICONS, MARK_COUNT);
    if (images == NULL) {
        theApp->Log("イメージリストの生成に失敗しました。");
    } else {
        m_imageList = images;
    }
    m_dpi = dpi;
    // The fonts follow the DPI after this message: the texts are measured again.
    Refill();
}

// The list fills the client area; the empty list's text lies across its upper part, below
// the header.
void NotifyDlg::OnSize() {
    RECT client;
    GetClientRect(hwnd, &client);
    MoveWindow(List(), 0, 0, client.right - client.left, client.bottom - client.top, TRUE);
    int top = MScaleForDpi(40, m_dpi);
    MoveWindow(GetDlgItem(hwnd, IDC_STATUS_EMPTY), 1, top, client.right - client.left - 2,
               MScaleForDpi(20, m_dpi), TRUE);
    FitColumns();
}

void NotifyDlg::SetEmptyText(const char* text) {
    m_emptyText = text;
    HWND label = GetDlgItem(hwnd, IDC_STATUS_EMPTY);
    if (label == NULL) {
        return;
    }
    SetWindowTextA(label, text != nullptr ? text : "");
    ShowWindow(label, text != nullptr && m_rows.empty() ? SW_SHOWNA : SW_HIDE);
}

// Each column's title with the header's margins; the widths only grow from these.
void NotifyDlg::MeasureTitles() {
    m_titleWidths.assign(STATUS_COLUMN_COUNT, 0);
    for (int i = 0; i < STATUS_COLUMN_COUNT; i++) {
        m_titleWidths[static_cast<size_t>(i)] =
            static_cast<int>(SendMessageA(List(), LVM_GETSTRINGWIDTHA, 0,
                                          reinterpret_cast<LPARAM>(STATUS_COLUMN_TITLES[i]))) +
            MScaleForDpi(TITLE_MARGIN, m_dpi);
    }
}

// The columns at their content's widths, the description widened to what the list's
// client area leaves.
void NotifyDlg::FitColumns() {
    HWND list = List();
    if (m_contentWidths.size() != STATUS_COLUMN_COUNT || list == NULL) {
        return;
    }
    RECT client;
    GetClientRect(list, &client);
    std::vector<int> widths = FitColumnWidths(m_contentWidths, FILL_COLUMN, client.right);
    for (int i = 0; i < STATUS_COLUMN_COUNT; i++) {
        int width = widths[static_cast<size_t>(i)];
        if (static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0)) != width) {
            SendMessageA(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(width, 0));
        }
    }
}

void NotifyDlg::SortByColumn(int column) {
    if (column < 0 || column >= STATUS_COLUMN_COUNT) {
        return;
    }
    m_sort = ClickedSort(m_sort, column);
    Refill();
}

// The header's arrow on the sorted column: up for its own order, down reversed.
void NotifyDlg::ShowSortMark() {
    HWND header = reinterpret_cast<HWND>(SendMessageA(List(), LVM_GETHEADER, 0, 0));
    for (int i = 0; header != NULL && i < STATUS_COLUMN_COUNT; i++) {
        HDITEMA item;
        ZeroMemory(&item, sizeof item);
        item.mask = HDI_FORMAT;
        SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == m_sort.column) {
            item.fmt |= m_sort.reversed ? HDF_SORTDOWN : HDF_SORTUP;
        }
        SendMessageA(header, HDM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
}

void NotifyDlg::ShowStatus() {
    if (hwnd == NULL || !IsWindow(hwnd)) {
        return;  // the status window could not be created, or is gone
    }
    if (!IsWindowVisible(hwnd)) {
        MoveWindow(hwnd, m_rect.left, m_rect.top, m_rect.right - m_rect.left,
                   m_rect.bottom - m_rect.top, TRUE);
        ShowWindow(hwnd, SW_RESTORE);
    } else {
        ShowWindow(hwnd, SW_SHOW);
    }
    SetForegroundWindow(hwnd);
}

int NotifyDlg::StatusImage(int32_t status) {
    return status >= STATUS_NORMAL && status <= STATUS_ERROR ? status - STATUS_NORMAL
                                                             : STATUS_ERROR - STATUS_NORMAL;
}

void NotifyDlg::UpdateList(const std::vector<CheckResult>& results) {
    if (hwnd == NULL || !IsWindow(hwnd)) {
        return;
    }
    m_results.clear();
    m_forecasts.clear();
    m_ofBursts.clear();
    for (const CheckResult& result : results) {
        if (IsListed(result)) {
            m_results.push_back(result);
            m_forecasts.push_back(theApp->m_history.ForecastOf(result));
            m_ofBursts.push_back(theApp->m_history.ForecastIsOfBursts(result));
        }
    }
    m_charts.Refresh();
    Refill();
}

// The rows again in the order of the sort, the columns fitted to the texts.
void NotifyDlg::Refill() {
    HWND list = List();
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    m_rows.clear();
    if (m_titleWidths.empty()) {
        return;  // the set-up failed before the columns were made
    }
    MeasureTitles();
    m_contentWidths = m_titleWidths;
    int iconWidth = 0;
    int iconHeight = 0;
    ImageList_GetIconSize(m_imageList, &iconWidth, &iconHeight);
    int row = 0;
    for (size_t index : StatusRowOrder(m_results, m_forecasts, m_sort)) {
        const CheckResult& result = m_results[index];
        StatusRowTexts cells;
        MakeStatusRowTexts(result, m_forecasts[index], &cells, m_ofBursts[index]);
        const char* const texts[STATUS_COLUMN_COUNT] = {
            cells.status,    cells.time,      cells.host,        cells.path,
            cells.threshold, cells.freeSpace, cells.description, cells.forecast};
        for (int i = 0; i < STATUS_COLUMN_COUNT; i++) {
            int width = static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0,
                                                      reinterpret_cast<LPARAM>(texts[i]))) +
                        MScaleForDpi(CELL_MARGIN, m_dpi) + (i == 0 ? iconWidth : 0);
            int& widest = m_contentWidths[static_cast<size_t>(i)];
            widest = width > widest ? width : widest;
        }
        if (!AddRow(row, result.status, texts)) {
            break;  // the rows made so far stay
        }
        m_rows.push_back(result);
        row++;
    }
    SetEmptyText(m_emptyText);
    ShowSortMark();
    FitColumns();
}

HWND NotifyDlg::OpenChart(int row) {
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) {
        return NULL;
    }
    HINSTANCE instance = InstanceOf(hwnd);
    return m_charts.Open(instance, hwnd, m_rows[static_cast<size_t>(row)], theApp->m_history,
                         *theApp, &theApp->m_folderGrowth);
}

// Inserts row number row with its icon and the seven texts; on a failure the log line
// and box of that cell, and false.
bool NotifyDlg::AddRow(int row, int32_t status, const char* const* texts) {
    HWND list = List();
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(texts[0]);
    item.iImage = StatusImage(status);
    if (SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) == -1) {
        theApp->Log("%s", CELL_FAILURES[0]);
        MessageBoxF(hwnd, MB_ICONERROR, "ListView", "リストアイテム追加エラー");
        return false;
    }
    for (int column = 1; column < STATUS_COLUMN_COUNT; column++) {
        ZeroMemory(&item, sizeof item);
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = column;
        item.pszText = const_cast<char*>(texts[column]);
        if (!SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
            theApp->Log("%s", CELL_FAILURES[column]);
            MessageBoxF(hwnd, MB_ICONERROR, "ListView", "リストアイテムセットエラー");
            return false;
        }
    }
    return true;
}
