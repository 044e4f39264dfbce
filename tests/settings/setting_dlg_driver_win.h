// Windows only. Runs the real settings dialog modally on the test's thread, against an
// application object whose files live in a fresh folder, while a script works the
// dialog from a second thread the way a user would: typing into fields, pressing
// buttons and keys, selecting rows. Message boxes are answered by a recorder.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/kiv.h"
#include "monitor/main_window.h"
#include "settings/setting_dlg_win.h"
#include "tests/support/lock_probe.h"
#include "tests/support/shell_support_win.h"
#include "tests/support/test_support.h"

// One row of the list view as the user sees it.
struct ShownRow {
    std::vector<std::string> cells;  // host, port, path, threshold, description
    int image;
};

// What the detail controls hold, as texts.
struct DetailFields {
    bool excluded;
    std::string host;
    std::string port;
    std::string path;
    std::string threshold;
    int unit;  // position selected in the unit combo box, -1 for none
    std::string description;
};

inline std::string ControlText(HWND dialog, int id) {
    char text[1024];
    text[0] = '\0';
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

inline void TypeText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextA(dialog, id, text.c_str());
}

inline void SetCheck(HWND dialog, int id, bool checked) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

inline bool GetCheck(HWND dialog, int id) {
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

inline int ComboSelection(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}

inline void SelectCombo(HWND dialog, int id, int position) {
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

// Presses a button (or chooses a command) and returns once the dialog has handled it.
inline void Press(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Presses a key on the list view; the list tells the dialog through LVN_KEYDOWN.
inline void PressKeyOnList(HWND dialog, WPARAM key) {
    SendDlgItemMessageA(dialog, IDC_HOST_LIST, WM_KEYDOWN, key, 0);
}

// Selects and focuses one row, as a click does; -1 clears the selection.
inline void SelectRow(HWND dialog, int row) {
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (row < 0) {
        item.state = 0;
        SendDlgItemMessageA(dialog, IDC_HOST_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(&item));
        return;
    }
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageA(dialog, IDC_HOST_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&item));
}

inline int SelectedListRow(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageA(dialog, IDC_HOST_LIST, LVM_GETNEXTITEM,
                                                static_cast<WPARAM>(-1), LVNI_SELECTED));
}

inline std::vector<ShownRow> ShownRows(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_HOST_LIST);
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<ShownRow> rows;
    for (int i = 0; i < count; i++) {
        ShownRow row;
        for (int sub = 0; sub < 5; sub++) {
            char text[512];
            text[0] = '\0';
            LVITEMA item;
            ZeroMemory(&item, sizeof item);
            item.iSubItem = sub;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&item));
            row.cells.push_back(text);
        }
        LVITEMA item;
        ZeroMemory(&item, sizeof item);
        item.mask = LVIF_IMAGE;
        item.iItem = i;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        row.image = item.iImage;
        rows.push_back(row);
    }
    return rows;
}

inline DetailFields ShownDetails(HWND dialog) {
    return DetailFields{GetCheck(dialog, IDC_EXCLUDED),      ControlText(dialog, IDC_HOST),
                        ControlText(dialog, IDC_PORT),       ControlText(dialog, IDC_PATH),
                        ControlText(dialog, IDC_THRESHOLD),  ComboSelection(dialog, IDC_UNIT),
                        ControlText(dialog, IDC_DESCRIPTION)};
}

// What the details show with no row selected: a new entry's values.
const DetailFields NEW_ENTRY_DETAILS{false, "", "50801", "", "10", 0, ""};

inline void ExpectDetails(const DetailFields& want, HWND dialog) {
    DetailFields got = ShownDetails(dialog);
    EXPECT_EQ(want.excluded, got.excluded);
    EXPECT_EQ(want.host, got.host);
    EXPECT_EQ(want.port, got.port);
    EXPECT_EQ(want.path, got.path);
    EXPECT_EQ(want.threshold, got.threshold);
    EXPECT_EQ(want.unit, got.unit);
    EXPECT_EQ(want.description, got.description);
}

inline void TypeDetails(HWND dialog, const DetailFields& fields) {
    SetCheck(dialog, IDC_EXCLUDED, fields.excluded);
    TypeText(dialog, IDC_HOST, fields.host);
    TypeText(dialog, IDC_PORT, fields.port);
    TypeText(dialog, IDC_PATH, fields.path);
    TypeText(dialog, IDC_THRESHOLD, fields.threshold);
    SelectCombo(dialog, IDC_UNIT, fields.unit);
    TypeText(dialog, IDC_DESCRIPTION, fields.description);
}

// True once the dialog's window is gone (it goes when its modal loop has ended).
inline bool Closes(HWND dialog) {
    return WaitUntil([&] { return !IsWindow(dialog); }, 5000);
}

// The control that has the keyboard focus in the dialog's thread.
inline int FocusedControl(HWND dialog) {
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &info) ||
        info.hwndFocus == NULL) {
        return 0;
    }
    return GetDlgCtrlID(info.hwndFocus);
}

// The caption, read without a message to the dialog's thread (which may be busy).
inline std::wstring CaptionNoWait(HWND dialog) {
    wchar_t text[256];
    int length = InternalGetWindowText(dialog, text, 256);
    return std::wstring(text, static_cast<size_t>(length > 0 ? length : 0));
}

inline std::wstring Wide(const char* text) {
    wchar_t wide[512];
    int length = MultiByteToWideChar(932, 0, text, -1, wide, 512);
    return std::wstring(wide, length > 0 ? static_cast<size_t>(length - 1) : 0);
}

inline HostEntry MakeEntry(uint32_t excluded, const char* host, uint16_t port, const char* path,
                           uint32_t threshold, uint32_t unit, const char* description) {
    HostEntry entry = NewHostEntry();
    entry.excluded = excluded;
    CopyField(entry.host, sizeof entry.host, host);
    entry.port = port;
    CopyField(entry.path, sizeof entry.path, path);
    entry.threshold = threshold;
    entry.unit = unit;
    CopyField(entry.description, sizeof entry.description, description);
    return entry;
}

inline bool SameEntry(const HostEntry& a, const HostEntry& b) {
    return a.excluded == b.excluded && std::string(a.host) == b.host && a.port == b.port &&
           std::string(a.path) == b.path && a.threshold == b.threshold && a.unit == b.unit &&
           std::string(a.description) == b.description;
}

// An application object of the test's own with its log and its files in a fresh
// folder, the settings and the targets loaded from there, and one settings dialog run
// at a time against it. Every box it shows is checked to hold no lock.
class SettingDlgTest : public ShellFixture {
protected:
    SettingDlgTest() : m_probe(app), m_boxes(IDYES) {
        app.LoadSettings();
        app.LoadHostList();
        m_boxes.OnBox([this](const MessageBoxRecorder::Box& box) {
            m_probe.ExpectNoneHeld("the box \"" + box.text + "\" is open");
        });
    }

    // Runs the dialog until it closes. The script runs on a second thread once the
    // dialog shows; if it leaves the dialog open, it is cancelled with the question
    // answered Yes. Returns DoModal's result.
    INT_PTR RunDialog(const std::function<void(HWND)>& script) {
        HWND shown = NULL;
        std::thread driver([&] {
            bool up = WaitUntil(
                [&] {
                    HWND dialog = m_dlg.hwnd;
                    return dialog != NULL && IsWindowVisible(dialog) && m_dlg.m_open;
                },
                10000);
            if (!up) {
                ADD_FAILURE() << "the dialog did not show";
                return;
            }
            shown = m_dlg.hwnd;
            script(shown);
            if (IsWindow(shown)) {
                m_boxes.SetAnswer(IDYES);
                PostMessageA(shown, WM_COMMAND, IDCANCEL, 0);
            }
        });
        INT_PTR result = m_dlg.DoModal(theApp->instance, MAKEINTRESOURCEA(IDD_SETTINGS), NULL);
        driver.join();
        return result;
    }

    std::vector<HostEntry> Hosts() {
        MLockGuard hold(theApp->m_hostLock);
        return theApp->m_hosts;
    }

    void SetHosts(const std::vector<HostEntry>& hosts) {
        MLockGuard hold(theApp->m_hostLock);
        theApp->m_hosts = hosts;
    }

    // Pretends that a check cycle runs (count 1) or has ended (count 0).
    void SetQueryThreads(int count) {
        MLockGuard hold(theApp->m_queryCountLock);
        theApp->m_queryThreadCount = count;
    }

    size_t BoxCount() const { return m_boxes.Boxes().size(); }

    // The boxes shown since the first `from` ones.
    std::vector<MessageBoxRecorder::Box> BoxesSince(size_t from) const {
        std::vector<MessageBoxRecorder::Box> all = m_boxes.Boxes();
        if (from >= all.size()) {
            return {};
        }
        return std::vector<MessageBoxRecorder::Box>(all.begin() + static_cast<long>(from),
                                                    all.end());
    }

    SettingDlg m_dlg;
    LockProbe m_probe;
    MessageBoxRecorder m_boxes;
};

// Expects exactly one box among boxes, with this caption, text and type.
inline void ExpectOneBox(const std::vector<MessageBoxRecorder::Box>& boxes, const char* caption,
                         const std::string& text, unsigned type) {
    ASSERT_EQ(1u, boxes.size()) << (boxes.empty() ? "" : boxes[0].text);
    EXPECT_EQ(caption, boxes[0].caption);
    EXPECT_EQ(text, boxes[0].text);
    EXPECT_EQ(type, boxes[0].type);
}
