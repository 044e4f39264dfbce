// The status window.
#include "monitor/notify_dlg_win.h"

#include "app/kiv.h"
#include "mlib/mdesktop_win.h"
#include "monitor/messages.h"
#include "monitor/status_text.h"

namespace {

// Width (at 96 DPI) and alignment of the list's columns, in column order.
const int COLUMN_WIDTHS[STATUS_COLUMN_COUNT] = {65, 135, 105, 75, 80, 80, 90, 80};
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

// The system's status icons, in image order: normal, warning, error.
const char* const STATUS_ICONS[] = {IDI_ASTERISK, IDI_EXCLAMATION, IDI_HAND};

}  // namespace

NotifyDlg::NotifyDlg()
    : m_imageList(NULL), m_imgNormal(-1), m_imgWarning(-1), m_imgError(-1), m_dpi(M_BASE_DPI) {
    SetRectEmpty(&m_rect);
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
        case WM_NOTIFY: {
            // A double click on a row, or Enter on it: the list view activates the item.
            const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_STATUS_LIST &&
                (header->code == NM_DBLCLK || header->code == LVN_ITEMACTIVATE)) {
                OpenChart(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem);
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
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
    HANDLE smallIcon =
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_FSW), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    Send(WM_SETICON, ICON_BIG,
         reinterpret_cast<LPARAM>(LoadIconA(instance, MAKEINTRESOURCEA(IDI_FSW))));

    m_dpi = MGetDpiForWindow(hwnd);
    m_imageList = MCreateSmallImageList(m_dpi, 3);
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
    OnSize();
    GetWindowRect(hwnd, &m_rect);
}

bool NotifyDlg::AddStatusIcons() {
    m_imgNormal = MImageListAddIcon(m_imageList, NULL, STATUS_ICONS[0]);
    m_imgWarning = MImageListAddIcon(m_imageList, NULL, STATUS_ICONS[1]);
    m_imgError = MImageListAddIcon(m_imageList, NULL, STATUS_ICONS[2]);
    return m_imgNormal >= 0 && m_imgWarning >= 0 && m_imgError >= 0;
}

bool NotifyDlg::InsertColumns() {
    for (int i = 0; i < STATUS_COLUMN_COUNT; i++) {
        LVCOLUMNA column;
        ZeroMemory(&column, sizeof column);
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = COLUMN_FORMATS[i];
        column.cx = MScaleForDpi(COLUMN_WIDTHS[i], m_dpi);
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
    HIMAGELIST images = MRescaleListView(List(), m_dpi, dpi, NULL, STATUS_ICONS, 3);
    if (images == NULL) {
        theApp->Log("イメージリストの生成に失敗しました。");
    } else {
        m_imageList = images;
    }
    m_dpi = dpi;
}

void NotifyDlg::OnSize() {
    RECT client;
    GetClientRect(hwnd, &client);
    MoveWindow(List(), 0, 0, client.right - client.left, client.bottom - client.top, TRUE);
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

int NotifyDlg::StatusImage(int32_t status) const {
    switch (status) {
        case STATUS_NORMAL:
            return m_imgNormal;
        case STATUS_CAUTION:
        case STATUS_WARNING:
            return m_imgWarning;
        default:
            return m_imgError;
    }
}

void NotifyDlg::UpdateList(const std::vector<CheckResult>& results) {
    if (hwnd == NULL || !IsWindow(hwnd)) {
        return;
    }
    SendMessageA(List(), LVM_DELETEALLITEMS, 0, 0);
    m_rows.clear();
    m_charts.Refresh();
    int row = 0;
    for (const CheckResult& result : results) {
        if (!IsListed(result)) {
            continue;
        }
        StatusRowTexts cells;
        MakeStatusRowTexts(result, theApp->m_history.ForecastOf(result), &cells,
                           theApp->m_history.ForecastIsOfBursts(result));
        const char* const texts[STATUS_COLUMN_COUNT] = {
            cells.status,    cells.time,      cells.host,        cells.path,
            cells.threshold, cells.freeSpace, cells.description, cells.forecast};
        if (!AddRow(row, result.status, texts)) {
            return;  // the rows made so far stay
        }
        m_rows.push_back(result);
        row++;
    }
}

HWND NotifyDlg::OpenChart(int row) {
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) {
        return NULL;
    }
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
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
