// The volume picker.
#include "settings/volume_pick_win.h"

#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "app/host_entry.h"
#include "app/kiv.h"
#include "monitor/main_window.h"
#include "monitor/messages.h"
#include "monitor/status_text.h"
#include "net/disk_query.h"
#include "net/ip_address.h"
#include "net/query_client.h"
#include "res/resource.h"

// The list as the thread that asks for it hands it over.
struct VolumePickQuery {
    QueryCancel cancel;  // given when the dialog closes: the thread ends at once
    std::mutex lock;     // guards the two below
    HWND dialog = NULL;  // told when the list is there; null once closed
    VolumeListQuery list;
};

namespace {

// How often the picker looks whether the settings dialog is still there.
const UINT_PTR OWNER_TIMER = 1;
const unsigned OWNER_CHECK_MS = 200;

void AskForVolumes(std::shared_ptr<VolumePickQuery> query, std::string host, uint16_t port) {
    VolumeListQuery list =
        RunVolumeListQuery(host.c_str(), port, "", VOLUME_LIST_QUERY_LIMIT_MS, &query->cancel);
    std::lock_guard<std::mutex> hold(query->lock);
    query->list = list;
    if (query->dialog != NULL) {
        PostMessageA(query->dialog, WM_APP_VOLUMES_LISTED, 0, 0);
    }
}

// What the note says when no list came.
const char* FailureNote(DiskQueryOutcome outcome) {
    switch (outcome) {
        case DISK_QUERY_CONNECT_FAILED:
            return "サーバに接続できません。";
        case DISK_QUERY_NO_HEADER:
            return "サーバがボリューム一覧を返しませんでした。古い版のサーバか、このクライアントを"
                   "許可していません。";
        case DISK_QUERY_DISK_ERROR:
            return "サーバがボリューム一覧を作れませんでした。";
        default:
            return "ボリューム一覧を受け取れませんでした。";
    }
}

}  // namespace

VolumePickDlg::VolumePickDlg(const char* host, uint16_t port)
    : m_host(host), m_port(port), m_query(std::make_shared<VolumePickQuery>()) {}

VolumePickDlg::~VolumePickDlg() {}

INT_PTR VolumePickDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return 1;
        case WM_APP_VOLUMES_LISTED:
            OnListed();
            return 1;
        case WM_TIMER:
            // The settings dialog closed meanwhile (the program ends, say): so does this.
            if (!IsWindowVisible(GetParent(hwnd)) || theApp->m_mainWin.ShuttingDown()) {
                Close(IDCANCEL);
            }
            return 1;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK ||
                (LOWORD(wParam) == IDC_VOLUME_LIST && HIWORD(wParam) == LBN_DBLCLK)) {
                LRESULT chosen = SendDlgItemMessageA(hwnd, IDC_VOLUME_LIST, LB_GETCURSEL, 0, 0);
                if (chosen >= 0 && static_cast<size_t>(chosen) < m_paths.size()) {
                    m_chosen = m_paths[static_cast<size_t>(chosen)];
                    Close(IDOK);
                }
            } else if (LOWORD(wParam) == IDCANCEL) {
                Close(IDCANCEL);
            }
            return 1;
        case WM_CLOSE:
            Close(IDCANCEL);
            return 1;
        default:
            return 0;
    }
}

void VolumePickDlg::OnInitDialog() {
    char note[160];
    wsprintfA(note, "%s (%u)に問い合わせています...", m_host.c_str(), unsigned{m_port});
    SetDlgItemTextA(hwnd, IDC_VOLUME_NOTE, note);
    EnableWindow(GetDlgItem(hwnd, IDOK), FALSE);
    {
        std::lock_guard<std::mutex> hold(m_query->lock);
        m_query->dialog = hwnd;
    }
    try {
        std::thread(AskForVolumes, m_query, m_host, m_port).detach();
    } catch (const std::system_error&) {
        theApp->Log("スレッドが開始できません");
        SetDlgItemTextA(hwnd, IDC_VOLUME_NOTE, "問い合わせを開始できません。");
    }
    SetTimer(hwnd, OWNER_TIMER, OWNER_CHECK_MS, NULL);
}

void VolumePickDlg::OnListed() {
    VolumeListQuery list;
    {
        std::lock_guard<std::mutex> hold(m_query->lock);
        list = m_query->list;
    }
    if (list.query.outcome != DISK_QUERY_OK) {
        LogVolumeListFailure(m_host.c_str(), m_port, list.query);
        SetDlgItemTextA(hwnd, IDC_VOLUME_NOTE, FailureNote(list.query.outcome));
        return;
    }
    m_paths.assign(1, ALL_VOLUMES_PATH);
    SendDlgItemMessageA(hwnd, IDC_VOLUME_LIST, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>("*  (すべてのボリューム)"));
    for (const VolumeEntry& volume : list.volumes) {
        char line[400];
        char freeText[32];
        char totalText[32];
        FormatByteSize(volume.freeBytes, freeText, sizeof freeText);
        FormatByteSize(volume.totalBytes, totalText, sizeof totalText);
        if (volume.state == VOLUME_MEASURED) {
            wsprintfA(line, "%s  (空き %s / %s)", volume.path.c_str(), freeText, totalText);
        } else {
            wsprintfA(line, "%s  (測定できません)", volume.path.c_str());
        }
        SendDlgItemMessageA(hwnd, IDC_VOLUME_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
        m_paths.push_back(volume.path);
    }
    SendDlgItemMessageA(hwnd, IDC_VOLUME_LIST, LB_SETCURSEL, 0, 0);
    char note[160];
    wsprintfA(note, "ボリュームが%u個あります。1つか「*」を選んでください。",
              static_cast<unsigned>(list.volumes.size()));
    SetDlgItemTextA(hwnd, IDC_VOLUME_NOTE, note);
    EnableWindow(GetDlgItem(hwnd, IDOK), TRUE);
}

// The thread that asks is let go: its answer finds no dialog, and its connection ends.
void VolumePickDlg::Close(INT_PTR result) {
    {
        std::lock_guard<std::mutex> hold(m_query->lock);
        m_query->dialog = NULL;
    }
    m_query->cancel.Cancel();
    KillTimer(hwnd, OWNER_TIMER);
    EndDialog(hwnd, result);
}

void PickVolumeInto(HWND settings) {
    char host[65];
    GetDlgItemTextA(settings, IDC_HOST, host, sizeof host);
    unsigned port = GetDlgItemInt(settings, IDC_PORT, NULL, FALSE);
    if (host[0] == '\0' || !IsHostText(host) || port == 0 || port > 65535) {
        MessageBoxF(settings, MB_ICONEXCLAMATION, "エラー",
                    "ボリューム一覧を問い合わせるホスト名とポートを入力してください。");
        return;
    }
    VolumePickDlg picker(host, static_cast<uint16_t>(port));
    if (picker.DoModal(theApp->instance, MAKEINTRESOURCEA(IDD_VOLUME_PICK), settings) == IDOK &&
        IsWindowVisible(settings) && !theApp->m_mainWin.ShuttingDown()) {
        SetDlgItemTextA(settings, IDC_PATH, picker.Chosen().c_str());
    }
}
