// The real 64-bit program under Wine as its users know it: hidden in the notification
// area, answering queries as a server, running a cycle as a client over its own
// server, bringing up the status window with a row per target, and ending in order
// from its menu and when Windows shuts down.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/exe/program_driver_win.h"
#include "tests/support/shell_support_win.h"

namespace {

std::string Settings(unsigned server, uint16_t port, unsigned client, unsigned notify) {
    return "[fsw]\r\nSERVER=" + std::to_string(server) + "\r\nSVPORT=" + std::to_string(port) +
           "\r\nCLIENT=" + std::to_string(client) +
           "\r\nINTVAL=10\r\nLISTFILE=fsw.lst\r\nLOGFILE=fsw.log\r\nCHKFILE=lastchk.txt\r\nNOTI=" +
           std::to_string(notify) + "\r\nLOGMODE=1\r\n";
}

// One line of the host list: excluded, host, port, path, threshold, unit, description.
std::string Target(uint16_t port, const char* path, uint64_t threshold, unsigned unit,
                   const char* description) {
    return "0\t127.0.0.1\t" + std::to_string(port) + "\t" + path + "\t" +
           std::to_string(threshold) + "\t" + std::to_string(unit) + "\t" + description + "\r\n";
}

// The network layer for the test's own sockets.
class Network {
public:
    Network() { MStartupNetwork(); }
    ~Network() { MCleanupNetwork(); }
};

size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

// Four targets on the program's own server: one normal, one in caution, one in danger
// and one whose path the server cannot measure. With NOTI 2 the status window comes up
// by itself at the end of the first cycle.
TEST(WindowsShell, ACycleOverItsOwnServerBringsUpTheStatusWindowWithARowPerTarget) {
    Network network;
    TempDir dir;
    ULARGE_INTEGER freeBytes;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &freeBytes, NULL, NULL));
    uint64_t freeMegabytes = freeBytes.QuadPart / 1048576;
    ASSERT_GT(freeMegabytes, 100u) << "the test needs some free space on drive C:";
    uint16_t port = FreeLocalPort();
    WriteFileBytes(dir.File("fsw.ini"), Settings(1, port, 1, 2));
    WriteFileBytes(dir.File("fsw.lst"),
                   Target(port, "C:\\", 1, 9, "normal") +
                       Target(port, "C:\\", freeMegabytes * 3 / 2, 2, "caution") +
                       Target(port, "C:\\", freeMegabytes * 20 + 1, 2, "danger") +
                       Target(port, "Q:\\nowhere\\", 10, 0, "error"));

    Program program(dir.Path());
    ASSERT_TRUE(program.Started());
    HWND window = program.WaitForMainWindow();
    ASSERT_NE(HWND{NULL}, window);
    HWND status = NULL;
    ASSERT_TRUE(WaitUntil(
        [&] {
            status = program.FindOwnWindow("#32770", "監視状態");
            return status != NULL && IsWindowVisible(status);
        },
        20000))
        << "a target in danger brings the status window up";

    std::vector<std::vector<std::string>> rows = ReadListView(GetDlgItem(status, 1020), 8);
    ASSERT_EQ(4u, rows.size());
    std::vector<std::string> shown;
    for (const std::vector<std::string>& row : rows) {
        shown.push_back(row[6] + "=" + row[0]);
        EXPECT_EQ("127.0.0.1", row[2]);
        EXPECT_EQ(19u, row[1].size()) << "time " << row[1];
        if (row[6] == "error") {
            EXPECT_EQ("N/A (容量を測定できません)", row[5]);
            EXPECT_EQ("10 %", row[4]);
        } else {
            EXPECT_EQ("C:\\", row[3]);
            EXPECT_NE("N/A", row[5]);
        }
    }
    std::sort(shown.begin(), shown.end());
    std::vector<std::string> expected = {"caution=注意", "danger=危険", "error=エラー",
                                         "normal=正常"};
    EXPECT_EQ(expected, shown);

    // "終了" from the menu: the orderly end.
    PostMessageA(window, WM_COMMAND, 40009, 0);
    EXPECT_EQ(0, program.Wait(20000));
    EXPECT_FALSE(IsWindow(status));
    std::vector<std::string> log = LogMessagesOf(dir.File("fsw.log"));
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(VersionLine("起動"), log.front());
    EXPECT_EQ("サーバを起動します", log[1]);
    size_t waiting = IndexOf(log, "クライアントの全スレッド終了待ち");
    size_t ended = IndexOf(log, "クライアントの全スレッド終了");
    EXPECT_LT(waiting, ended);
    EXPECT_EQ(ended + 1, log.size() - 1);
    EXPECT_EQ(VersionLine("終了"), log.back());
}

// The question is answered at once, so that another program can still cancel the end,
// which leaves the program running; the end itself returns after the whole shutdown.
TEST(WindowsShell, WindowsShuttingDownEndsTheProgramInOrderOnlyWhenTheEndComes) {
    TempDir dir;
    WriteFileBytes(dir.File("fsw.ini"), Settings(0, 50801, 1, 1));
    WriteFileBytes(dir.File("fsw.lst"), "");
    Program program(dir.Path());
    ASSERT_TRUE(program.Started());
    HWND window = program.WaitForMainWindow();
    ASSERT_NE(HWND{NULL}, window);

    auto send = [&](UINT message, WPARAM wParam) {
        DWORD_PTR answer = 2;
        EXPECT_NE(0, SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL, 20000, &answer));
        return answer;
    };
    EXPECT_EQ(1u, send(WM_QUERYENDSESSION, 0));
    std::vector<std::string> before = LogMessagesOf(dir.File("fsw.log"));
    EXPECT_TRUE(std::find(before.begin(), before.end(), VersionLine("終了")) == before.end());
    EXPECT_EQ(0u, send(WM_ENDSESSION, FALSE));
    EXPECT_TRUE(IsWindow(window)) << "a cancelled end leaves the program running";
    EXPECT_EQ(1u, send(WM_QUERYENDSESSION, 0));
    EXPECT_EQ(0u, send(WM_ENDSESSION, TRUE));
    std::vector<std::string> log = LogMessagesOf(dir.File("fsw.log"));
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(VersionLine("終了"), log.back()) << "the shutdown ran before the answer";
    std::vector<std::string> last(log.end() - 4, log.end());
    std::vector<std::string> expected = {"Windowsがシャットダウンされます。",
                                         "クライアントの全スレッド終了待ち",
                                         "クライアントの全スレッド終了", VersionLine("終了")};
    EXPECT_EQ(expected, last);
    EXPECT_EQ(0, program.Wait(20000));
}

TEST(WindowsShell, TheVersionBoxOfTheMenuShowsTheTitleAndAllFourNumbers) {
    TempDir dir;
    WriteFileBytes(dir.File("fsw.lst"), "");
    Program program(dir.Path());
    ASSERT_TRUE(program.Started());
    HWND window = program.WaitForMainWindow();
    ASSERT_NE(HWND{NULL}, window);
    PostMessageA(window, WM_COMMAND, 40008, 0);
    HWND box = NULL;
    ASSERT_TRUE(WaitUntil(
        [&] { return (box = program.FindOwnWindow("#32770", "バージョン情報")) != NULL; }, 20000));
    std::string version = "ケルム Ver." + std::to_string(FSW_VERSION_MAJOR) + "." +
                          std::to_string(FSW_VERSION_MINOR) + "." +
                          std::to_string(FSW_VERSION_BUILD) + " (" +
                          std::to_string(FSW_VERSION_REVISION) + ")";
    // The box may be found before its texts are set.
    EXPECT_TRUE(WaitUntil([&] { return ChildTexts(box).find(version) != std::string::npos; }, 5000))
        << ChildTexts(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 20000));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.Wait(20000));
}

}  // namespace
