// The settings dialog.
#include "settings/setting_dlg_win.h"

#include <cstring>

#include "app/kiv.h"
#include "mlib/mbchar.h"
#include "mlib/mdesktop_win.h"
#include "monitor/main_window.h"
#include "monitor/messages.h"
#include "net/ip_address.h"
#include "net/volume_list.h"
#include "settings/volume_pick_win.h"

namespace {

// The row marks, in image order: a target that is queried, an excluded one.
const char* const ROW_ICONS[] = {MAKEINTRESOURCEA(IDI_ROW_CHECKED),
                                 MAKEINTRESOURCEA(IDI_ROW_EXCLUDED)};

// Texts of the guarded commands when a query thread runs.
const char REFUSE_OK[] = "問合せの処理中です！\nしばらく経ってからOKを押してください！";
const char REFUSE_DELETE[] = "問合せの処理中です！\nしばらく経ってから削除してください！";
const char REFUSE_DELETE_ALL[] = "問合せの処理中です！\nしばらく経ってから全削除を押してください！";
const char REFUSE_REGISTER[] = "問合せの処理中です！\nしばらく経ってから登録を押してください！";

const unsigned PORT_MAX = 65535;

// The list view's columns: title, width in pixels, alignment, and the log line of a
// failed insert of the column and of a failed set of its cells.
struct Column {
    const char* title;
    int width;
    int format;
    const char* insertFailure;
    const char* setFailure;
};
const Column COLUMNS[] = {
    {"ホスト", 100, LVCFMT_LEFT, "リストビューの列「ホスト」の追加でエラーが発生しました。",
     "リストビューのアイテム「ホスト」の追加でエラーが発生しました。"},
    {"ポート", 45, LVCFMT_RIGHT, "リストビューの列「ポート」の追加でエラーが発生しました。",
     "リストビューのアイテム「ポート」のセットでエラーが発生しました。"},
    {"パス", 90, LVCFMT_LEFT, "リストビューの列「パス」の追加でエラーが発生しました。",
     "リストビューのアイテム「パス」のセットでエラーが発生しました。"},
    {"しきい値", 55, LVCFMT_RIGHT, "リストビューの列「しきい値」の追加でエラーが発生しました。",
     "リストビューのアイテム「しきい値」のセットでエラーが発生しました。"},
    {"説明", 70, LVCFMT_LEFT, "リストビューの列「説明」の追加でエラーが発生しました。",
     "リストビューのアイテム「説明」のセットでエラーが発生しました。"},
};
const int COLUMN_COUNT = sizeof COLUMNS / sizeof COLUMNS[0];

// Items of the two combo boxes; their positions are the stored values.
const char* const UNIT_ITEMS[] = {"%", "KB", "MB", "GB"};
const char* const NOTIFY_ITEMS[] = {"通知しない", "バルーン", "ダイアログ", "バルーンとダイアログ"};

// Text limits of the edit fields, in characters.
struct TextLimit {
    int id;
    int limit;
};
const TextLimit TEXT_LIMITS[] = {
    {IDC_SERVER_PORT, 5}, {IDC_INTERVAL, 4},  {IDC_HOST, 64},        {IDC_PORT, 5},
    {IDC_PATH, 260},      {IDC_THRESHOLD, 9}, {IDC_DESCRIPTION, 64},
};

// A path counts as absolute if it begins with "/", or has two characters or more and
// begins with an ASCII letter (a drive such as C:\ or d:).
bool IsAbsolutePath(const char* path) {
    if (path[0] == '/') {
        return true;
    }
    char first = path[0];
    bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
    return letter && path[1] != '\0';
}

// Reads a control's text into a field of size bytes. Longer text is cut before the
// first character that does not fit whole, so no half of a two-byte character remains.
void GetFieldText(HWND dialog, int id, char* field, size_t size) {
    char text[1024];
    text[0] = '\0';
    GetDlgItemTextA(dialog, id, text, sizeof text);
    size_t used = 0;
    while (text[used] != '\0') {
        size_t length = static_cast<size_t>(MbcCharLength(text + used));
        if (used + length > size - 1) {
            break;
        }
        used += length;
    }
    memcpy(field, text, used);
    field[used] = '\0';
}

unsigned GetFieldNumber(HWND dialog, int id) {
    return GetDlgItemInt(dialog, id, NULL, FALSE);
}

void SetChecked(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

}  // namespace

SettingDlg::SettingDlg()
    : m_popupMenu(NULL),
      m_imageList(NULL),
      m_imgChecked(-1),
      m_imgExcluded(-1),
      m_open(false),
      m_modified(false),
      m_dpi(M_BASE_DPI) {}

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
        case M_WM_DPICHANGED:
            OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CTLCOLORSTATIC: {
            // The two notes are written in red on the dialog's own background.
            int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id != IDC_NOTE_SAVE && id != IDC_NOTE_LIVE) {
                return 0;
            }
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(255, 0, 0));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        default:
            return 0;
    }
}

void SettingDlg::OnInitDialog() {
    Kiv* app = theApp;
    {
        MLockGuard hold(app->m_dialogLock);
        m_open = true;
    }
    m_modified = true;

    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(APP_TITLE));
    HICON icon = LoadIconA(app->instance, MAKEINTRESOURCEA(IDI_FSW));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    for (const TextLimit& limit : TEXT_LIMITS) {
        SendDlgItemMessageA(hwnd, limit.id, EM_LIMITTEXT, static_cast<WPARAM>(limit.limit), 0);
    }

    // Without the row icons or the columns the list cannot be shown: close again.
    if (!CreateImageList() || !InsertColumns()) {
        Send(WM_CLOSE, 0, 0);
        return;
    }
    CreatePopup();
    FillCombos();
    FillSettings();
    ShowDetail(-1);
    RefreshList();
}

bool SettingDlg::CreateImageList() {
    Kiv* app = theApp;
    m_dpi = MGetDpiForWindow(hwnd);
    m_imageList = MCreateSmallImageList(m_dpi, 3);
    if (m_imageList == NULL) {
        app->Log("イメージリストの生成に失敗しました。");
        MessageBoxF(hwnd, MB_ICONERROR, "ImageList", "イメージリスト生成エラー");
        return false;
    }
    m_imgChecked = MImageListAddIcon(m_imageList, app->instance, ROW_ICONS[0]);
    m_imgExcluded = MImageListAddIcon(m_imageList, app->instance, ROW_ICONS[1]);
    if (m_imgChecked < 0 || m_imgExcluded < 0) {
        app->Log("イメージリストの登録に失敗しました。");
        MessageBoxF(hwnd, MB_ICONERROR, "ImageList", "イメージリスト登録エラー");
        return false;
    }
    return true;
}

// Shown at another DPI: the place Windows suggests, the list's widths and row marks for
// the new DPI (the dialog manager scales the controls and fonts).
void SettingDlg::OnDpiChanged(unsigned dpi, const RECT* suggested) {
    SetWindowPos(hwnd, NULL, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (m_imageList == NULL || dpi == 0) {
        return;
    }
    HIMAGELIST images = MRescaleListView(GetDlgItem(hwnd, IDC_HOST_LIST), m_dpi, dpi,
                                         theApp->instance, ROW_ICONS, 2);
    if (images == NULL) {
        theApp->Log("イメージリストの生成に失敗しました。");
    } else {
        m_imageList = images;
    }
    m_dpi = dpi;
}

bool SettingDlg::InsertColumns() {
    HWND list = GetDlgItem(hwnd, IDC_HOST_LIST);
    LRESULT styles = SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 styles | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    for (int i = 0; i < COLUMN_COUNT; i++) {
        LVCOLUMNA column;
        ZeroMemory(&column, sizeof column);
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = COLUMNS[i].format;
        column.cx = MScaleForDpi(COLUMNS[i].width, m_dpi);
        column.pszText = const_cast<char*>(COLUMNS[i].title);
        column.iSubItem = i;
        if (SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&column)) == -1) {
            theApp->Log("%s", COLUMNS[i].insertFailure);
            MessageBoxF(hwnd, MB_ICONERROR, "ListView", "リストビューカラム追加エラー");
            return false;
        }
    }
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_imageList));
    return true;
}

void SettingDlg::CreatePopup() {
    m_popupMenu = CreatePopupMenu();
    if (m_popupMenu != NULL) {
        MENUITEMINFOA item;
        ZeroMemory(&item, sizeof item);
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_TYPE;
        item.fType = MFT_STRING;
        item.wID = CMD_DELETE_ROW;
        item.dwTypeData = const_cast<char*>("削除(DEL)");
        if (InsertMenuItemA(m_popupMenu, 0, TRUE, &item)) {
            return;
        }
        DestroyMenu(m_popupMenu);
        m_popupMenu = NULL;
    }
    theApp->Log("ポップアップメニューを作成できませんでした。");
}

void SettingDlg::FillCombos() {
    SendDlgItemMessageA(hwnd, IDC_UNIT, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < 4; i++) {
        SendDlgItemMessageA(hwnd, IDC_UNIT, CB_INSERTSTRING, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(UNIT_ITEMS[i]));
    }
    SendDlgItemMessageA(hwnd, IDC_NOTIFY, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < 4; i++) {
        SendDlgItemMessageA(hwnd, IDC_NOTIFY, CB_INSERTSTRING, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(NOTIFY_ITEMS[i]));
    }
}

void SettingDlg::OnCommand(UINT id) {
    switch (id) {
        case IDOK:
            RunGuarded(&SettingDlg::OnOk, REFUSE_OK);
            break;
        case IDCANCEL:
            Send(WM_CLOSE, 0, 0);
            break;
        case CMD_DELETE_ROW:
            RunGuarded(&SettingDlg::DeleteSelected, REFUSE_DELETE);
            break;
        case IDC_DELETE_ALL:
            RunGuarded(&SettingDlg::DeleteAll, REFUSE_DELETE_ALL);
            break;
        case IDC_CHECK_NOW:
            theApp->m_mainWin.GuardedStartCheck(hwnd);
            break;
        case IDC_REGISTER:
            RunGuarded(&SettingDlg::RegisterEntry, REFUSE_REGISTER);
            break;
        case IDC_VOLUMES:
            PickVolumeInto(hwnd);
            break;
        default:
            break;
    }
}

void SettingDlg::OnNotify(const NMHDR* header) {
    if (header == NULL || header->idFrom != IDC_HOST_LIST) {
        return;
    }
    switch (header->code) {
        case LVN_ITEMCHANGED: {
            const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(header);
            const UINT both = LVIS_FOCUSED | LVIS_SELECTED;
            ShowDetail((change->uNewState & both) == both ? change->iItem : -1);
            break;
        }
        case NM_RCLICK:
            ShowPopup();
            break;
        case LVN_KEYDOWN:
            if (reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey == VK_DELETE) {
                OnCommand(CMD_DELETE_ROW);
            }
            break;
        default:
            break;
    }
}

void SettingDlg::ShowPopup() {
    if (m_popupMenu == NULL) {
        return;  // its creation failed; already logged
    }
    UINT state = SelectedRow() >= 0 ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(m_popupMenu, CMD_DELETE_ROW, MF_BYCOMMAND | state);
    POINT cursor;
    if (!GetCursorPos(&cursor)) {
        return;
    }
    TrackPopupMenuEx(m_popupMenu, TPM_RIGHTBUTTON, cursor.x, cursor.y, hwnd, NULL);
}

// The decision is taken under m_queryCountLock (in BeginGuardedAction); the refusal
// box comes after the lock is released, and so do the action's own boxes.
void SettingDlg::RunGuarded(Action action, const char* refusal) {
    GuardedAction guard(theApp->m_mainWin);
    switch (guard.Answer()) {
        case GUARD_GRANTED:
            (this->*action)();
            break;
        case GUARD_CYCLE_RUNS:
            MessageBoxF(hwnd, MB_ICONEXCLAMATION, "処理中", "%s", refusal);
            break;
        case GUARD_ACTION_RUNS:
            MessageBoxF(hwnd, MB_ICONEXCLAMATION, "処理中", "%s", CheckCycle::GUARD_BUSY_TEXT);
            break;
    }
}

bool SettingDlg::IsOpen() {
    MLockGuard hold(theApp->m_dialogLock);
    return m_open;
}

bool SettingDlg::MayGoOn() {
    return IsOpen() && !theApp->m_mainWin.ShuttingDown();
}

// Runs guarded. A failed check keeps the dialog open with the live list and the
// question on a later Cancel; only accepted values are saved. A box of the saves may
// see the dialog closed meanwhile (by Cancel, or by the shutdown): it is not closed
// twice.
void SettingDlg::OnOk() {
    Kiv* app = theApp;
    uint32_t oldInterval = app->m_interval;
    if (!StoreSettings()) {
        return;
    }
    m_modified = false;
    app->SaveSettings();
    app->SaveHostList();
    if (!MayGoOn()) {
        return;
    }
    if (app->m_interval != oldInterval) {
        app->Log("タイマを再設定します %u分 → %u分", oldInterval, app->m_interval);
        app->m_mainWin.SetCheckTimer();
    }
    Send(WM_CLOSE, 0, 0);
}

// The reload waits until no query runs; it also puts the check timer back in step with
// the INTVAL the file holds.
void SettingDlg::OnClose() {
    if (m_modified) {
        int answer = MessageBoxF(hwnd, MB_YESNO | MB_ICONEXCLAMATION, "確認",
                                 "設定を変更した場合は保存されません。\nよろしいですか？");
        if (answer != IDYES || !IsOpen()) {
            return;  // stays open, or was closed while the question was open
        }
    }
    SetWindowTextA(hwnd, "設定ダイアログを閉じています...");
    theApp->m_mainWin.ReloadWhenIdle();
    CleanUp();
    EndDialog(hwnd, 0);
}

void SettingDlg::CleanUp() {
    if (m_popupMenu != NULL) {
        DestroyMenu(m_popupMenu);
        m_popupMenu = NULL;
    }
    if (m_imageList != NULL) {
        // The list view would destroy its image list once more when the dialog goes.
        SendDlgItemMessageA(hwnd, IDC_HOST_LIST, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        ImageList_Destroy(m_imageList);
        m_imageList = NULL;
    }
    MLockGuard hold(theApp->m_dialogLock);
    m_open = false;
}

void SettingDlg::FillSettings() {
    Kiv* app = theApp;
    SetChecked(hwnd, IDC_SERVER, app->m_server == 1);
    SetDlgItemInt(hwnd, IDC_SERVER_PORT, app->m_serverPort, FALSE);
    SetChecked(hwnd, IDC_CLIENT, app->m_client == 1);
    SetDlgItemInt(hwnd, IDC_INTERVAL, app->m_interval, FALSE);
    SendDlgItemMessageA(hwnd, IDC_NOTIFY, CB_SETCURSEL, app->m_notify & 3, 0);
    int logButton = app->m_logMode == LOG_NONE        ? IDC_LOG_NONE
                    : app->m_logMode == LOG_OVERWRITE ? IDC_LOG_OVERWRITE
                                                      : IDC_LOG_APPEND;
    CheckRadioButton(hwnd, IDC_LOG_NONE, IDC_LOG_APPEND, logButton);
}

bool SettingDlg::StoreSettings() {
    Kiv* app = theApp;
    unsigned port = GetFieldNumber(hwnd, IDC_SERVER_PORT);
    if (port > PORT_MAX) {
        MessageBoxF(hwnd, MB_ICONEXCLAMATION, "エラー", "ポートは%u以下の値でないといけません。",
                    PORT_MAX);
        FocusControl(IDC_SERVER_PORT);
        return false;
    }
    unsigned interval = GetFieldNumber(hwnd, IDC_INTERVAL);
    if (interval < 1) {
        MessageBoxF(hwnd, MB_ICONEXCLAMATION, "エラー", "チェック間隔は1分未満にはできません。");
        FocusControl(IDC_INTERVAL);
        return false;
    }
    app->m_server = IsChecked(hwnd, IDC_SERVER) ? 1 : 0;
    app->m_serverPort = static_cast<uint16_t>(port);
    app->m_client = IsChecked(hwnd, IDC_CLIENT) ? 1 : 0;
    app->m_interval = interval;
    LRESULT notify = SendDlgItemMessageA(hwnd, IDC_NOTIFY, CB_GETCURSEL, 0, 0);
    app->m_notify = (notify >= 0 && notify <= 2) ? static_cast<uint32_t>(notify) : 3;
    app->m_logMode = IsChecked(hwnd, IDC_LOG_NONE)        ? LOG_NONE
                     : IsChecked(hwnd, IDC_LOG_OVERWRITE) ? LOG_OVERWRITE
                                                          : LOG_APPEND;
    return true;
}

void SettingDlg::FocusControl(int id) {
    HWND control = GetDlgItem(hwnd, id);
    Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageA(control, EM_SETSEL, 0, -1);
}

// The entry is copied under m_hostLock; the controls are filled after.
void SettingDlg::ShowDetail(int index) {
    Kiv* app = theApp;
    HostEntry entry = NewHostEntry();
    {
        MLockGuard hold(app->m_hostLock);
        if (index >= 0 && static_cast<size_t>(index) < app->m_hosts.size()) {
            entry = app->m_hosts[static_cast<size_t>(index)];
        }
    }
    SetChecked(hwnd, IDC_EXCLUDED, entry.excluded == 1);
    SetDlgItemTextA(hwnd, IDC_HOST, entry.host);
    SetDlgItemInt(hwnd, IDC_PORT, entry.port, FALSE);
    SetDlgItemTextA(hwnd, IDC_PATH, entry.path);
    SetDlgItemInt(hwnd, IDC_THRESHOLD, entry.threshold, FALSE);
    SendDlgItemMessageA(hwnd, IDC_UNIT, CB_SETCURSEL, entry.unit, 0);
    SetDlgItemTextA(hwnd, IDC_DESCRIPTION, entry.description);
}

bool SettingDlg::AddListItem(const HostEntry& entry) {
    HWND list = GetDlgItem(hwnd, IDC_HOST_LIST);
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(entry.host);
    item.iImage = entry.excluded == 1 ? m_imgExcluded : m_imgChecked;
    LRESULT row = SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    if (row == -1) {
        theApp->Log("%s", COLUMNS[0].setFailure);
        MessageBoxF(hwnd, MB_ICONERROR, "ListView", "リストアイテム追加エラー");
        return false;
    }

    char port[16];
    char threshold[32];
    wsprintfA(port, "%u", unsigned{entry.port});
    wsprintfA(threshold, "%u%s", entry.threshold, UnitText(entry.unit));
    const char* cells[COLUMN_COUNT] = {entry.host, port, entry.path, threshold, entry.description};
    for (int sub = 1; sub < COLUMN_COUNT; sub++) {
        ZeroMemory(&item, sizeof item);
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(row);
        item.iSubItem = sub;
        item.pszText = const_cast<char*>(cells[sub]);
        if (!SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
            theApp->Log("%s", COLUMNS[sub].setFailure);
            MessageBoxF(hwnd, MB_ICONERROR, "ListView", "リストアイテムセットエラー");
            return false;
        }
    }
    return true;
}

// The list is copied under m_hostLock and shown after; a row's failure box may see the
// dialog closed meanwhile, and then the rest is left.
void SettingDlg::RefreshList() {
    Kiv* app = theApp;
    std::vector<HostEntry> hosts;
    {
        MLockGuard hold(app->m_hostLock);
        hosts = app->m_hosts;
    }
    SendDlgItemMessageA(hwnd, IDC_HOST_LIST, LVM_DELETEALLITEMS, 0, 0);
    for (const HostEntry& entry : hosts) {
        if (!AddListItem(entry) && !MayGoOn()) {
            return;
        }
    }
}

int SettingDlg::SelectedRow() {
    return static_cast<int>(SendDlgItemMessageA(hwnd, IDC_HOST_LIST, LVM_GETNEXTITEM,
                                                static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SettingDlg::RegisterEntry() {
    Kiv* app = theApp;
    int selected = SelectedRow();

    HostEntry entry = NewHostEntry();
    entry.excluded = IsChecked(hwnd, IDC_EXCLUDED) ? 1 : 0;
    GetFieldText(hwnd, IDC_HOST, entry.host, sizeof entry.host);
    entry.port = static_cast<uint16_t>(GetFieldNumber(hwnd, IDC_PORT));
    GetFieldText(hwnd, IDC_PATH, entry.path, sizeof entry.path);
    entry.threshold = GetFieldNumber(hwnd, IDC_THRESHOLD);
    entry.unit = static_cast<uint32_t>(SendDlgItemMessageA(hwnd, IDC_UNIT, CB_GETCURSEL, 0, 0));
    GetFieldText(hwnd, IDC_DESCRIPTION, entry.description, sizeof entry.description);

    if (entry.host[0] == '\0') {
        MessageBoxF(hwnd, MB_ICONEXCLAMATION, "エラー",
                    "ホスト名またはIPアドレスを入力してください。");
        return;
    }
    if (!IsHostText(entry.host)) {
        MessageBoxF(hwnd, MB_ICONEXCLAMATION, "エラー", "IPv6アドレスの書き方が正しくありません。");
        return;
    }
    if (!IsAbsolutePath(entry.path) && !IsAllVolumesPath(entry.path)) {
        MessageBoxF(hwnd, MB_ICONEXCLAMATION, "エラー",
                    "チェックするパスは絶対パスで指定してください。");
        return;
    }
    if (GetFieldNumber(hwnd, IDC_PORT) > PORT_MAX) {
        MessageBoxF(hwnd, MB_ICONEXCLAMATION, "エラー", "ポートは%u以下の値でないといけません。",
                    PORT_MAX);
        return;
    }
    if (entry.threshold < 1) {
        MessageBoxF(hwnd, MB_ICONEXCLAMATION, "エラー", "警告残量を0にすることはできません。");
        return;
    }
    if (entry.unit == UNIT_PERCENT && entry.threshold > 100) {
        MessageBoxF(hwnd, MB_ICONEXCLAMATION, "エラー", "警告残量は100%%までしかありえません。");
        return;
    }

    if (selected < 0) {
        bool full;
        {
            MLockGuard hold(app->m_hostLock);
            full = app->m_hosts.size() >= MAX_HOSTS;
            if (!full) {
                app->m_hosts.push_back(entry);
            }
        }
        if (full) {
            MessageBoxF(hwnd, MB_ICONEXCLAMATION, "登録できません",
                        "登録できるホストは%dまでです。", static_cast<int>(MAX_HOSTS));
            return;
        }
    } else {
        if (MessageBoxF(hwnd, MB_YESNO | MB_ICONQUESTION, "確認",
                        "現在選択されている行を置き換えていいですか？") != IDYES ||
            !MayGoOn()) {
            return;
        }
        MLockGuard hold(app->m_hostLock);
        if (static_cast<size_t>(selected) < app->m_hosts.size()) {
            app->m_hosts[static_cast<size_t>(selected)] = entry;
        }
    }
    RefreshList();
    if (!MayGoOn()) {
        return;
    }
    MessageBoxF(hwnd, MB_ICONINFORMATION, "確認", "登録しました。");
    if (MayGoOn()) {
        ShowDetail(-1);
    }
}

void SettingDlg::DeleteSelected() {
    Kiv* app = theApp;
    int selected = SelectedRow();
    if (selected < 0) {
        return;
    }
    {
        MLockGuard hold(app->m_hostLock);
        if (static_cast<size_t>(selected) < app->m_hosts.size()) {
            app->m_hosts.erase(app->m_hosts.begin() + selected);
        }
    }
    RefreshList();
    if (MayGoOn()) {
        ShowDetail(-1);
    }
}

void SettingDlg::DeleteAll() {
    Kiv* app = theApp;
    if (MessageBoxF(hwnd, MB_YESNO | MB_ICONQUESTION, "確認", "全ての登録を削除していいですか？") !=
            IDYES ||
        !MayGoOn()) {
        return;
    }
    {
        MLockGuard hold(app->m_hostLock);
        app->m_hosts.clear();
    }
    RefreshList();
    if (MayGoOn()) {
        ShowDetail(-1);
    }
}
