// The real 64-bit program's settings dialog under Wine, worked as a user does it from
// another process: the tray menu's "設定", three registrations with their real message
// boxes, one of them replacing a row, a deletion by the Delete key, a new interval, OK.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/exe/program_driver_win.h"

namespace {

// The settings dialog of the program: a dialog titled "ケルム" with the target list.
HWND FindSettingsDialog(const Program& program) {
    HWND dialog = program.FindOwnWindow("#32770", "ケルム");
    return dialog != NULL && GetDlgItem(dialog, 1001) != NULL ? dialog : NULL;
}

// Waits for a message box with this caption and text, and presses one of its buttons.
bool Answer(const Program& program, const char* caption, const std::string& text, int button) {
    HWND box = NULL;
    if (!WaitUntil(
            [&] {
                box = program.FindOwnWindow("#32770", caption);
                return box != NULL && ChildTexts(box).find(text) != std::string::npos;
            },
            10000)) {
        return false;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return WaitUntil([&] { return !IsWindow(box); }, 10000);
}

// Selects and focuses a row of the dialog's list, the request built in its process.
void SelectRow(HWND list, int row) {
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    ASSERT_NE(HANDLE{NULL}, process);
    void* remote = VirtualAllocEx(process, NULL, sizeof(LVITEMA), MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(nullptr, remote);
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    WriteProcessMemory(process, remote, &item, sizeof item, NULL);
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(remote));
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
}

void TypeTarget(HWND dialog, const char* host, const char* port, const char* path,
                const char* threshold) {
    SetDlgItemTextA(dialog, 1005, host);
    SetDlgItemTextA(dialog, 1006, port);
    SetDlgItemTextA(dialog, 1007, path);
    SetDlgItemTextA(dialog, 1008, threshold);
}

TEST(WindowsSettingsDialog, AFullRoundByTheUserEndsInBothFilesAndTheTimerLine) {
    TempDir dir;
    WriteFileBytes(dir.File("fsw.lst"), "");
    Program program(dir.Path());
    ASSERT_TRUE(program.Started());
    HWND mainWindow = program.WaitForMainWindow();
    ASSERT_NE(HWND{NULL}, mainWindow);

    PostMessageA(mainWindow, WM_COMMAND, 40007, 0);  // "設定"
    HWND dialog = NULL;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = FindSettingsDialog(program)) != NULL; }, 10000));
    HWND list = GetDlgItem(dialog, 1001);

    const char* hosts[] = {"alpha", "beta", "gamma"};
    for (const char* host : hosts) {
        TypeTarget(dialog, host, "50801", "C:\\", "10");
        PostMessageA(dialog, WM_COMMAND, 1004, 0);  // "登録"
        ASSERT_TRUE(Answer(program, "確認", "登録しました。", IDOK)) << host;
    }
    SelectRow(list, 1);
    SetDlgItemTextA(dialog, 1005, "delta");
    PostMessageA(dialog, WM_COMMAND, 1004, 0);
    ASSERT_TRUE(Answer(program, "確認", "現在選択されている行を置き換えていいですか？", IDYES));
    ASSERT_TRUE(Answer(program, "確認", "登録しました。", IDOK));
    SelectRow(list, 0);
    SendMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"delta", "50801", "C:\\", "10%"},
                                                     {"gamma", "50801", "C:\\", "10%"}}),
              ReadListView(list, 4));

    SetDlgItemTextA(dialog, 1013, "20");
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 10000));

    EXPECT_EQ(
        "[fsw]\r\nSERVER=0\r\nSVPORT=50801\r\nCLIENT=0\r\nINTVAL=20\r\nLISTFILE=fsw.lst\r\n"
        "LOGFILE=fsw.log\r\nCHKFILE=lastchk.txt\r\nNOTI=1\r\nLOGMODE=1\r\n",
        ReadFileBytes(dir.File("fsw.ini")));
    EXPECT_EQ("0\tdelta\t50801\tC:\\\t10\t0\t\r\n0\tgamma\t50801\tC:\\\t10\t0\t\r\n",
              ReadFileBytes(dir.File("fsw.lst")));

    PostMessageA(mainWindow, WM_COMMAND, 40009, 0);  // "終了"
    EXPECT_EQ(0, program.Wait(20000));
    std::vector<std::string> log = LogMessagesOf(dir.File("fsw.log"));
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("タイマを再設定します 10分 → 20分", log[1]);
}

}  // namespace
