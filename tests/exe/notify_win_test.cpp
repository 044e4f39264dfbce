// The real 64-bit program under Wine with a disk in danger and NOTIFYCMD set: its first cycle
// starts this test program as the command, hidden, with the balloon's title in Shift-JIS.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/exe/program_driver_win.h"
#include "tests/support/command_report_win.h"
#include "tests/support/fake_peer.h"

namespace {

// As the program's command: writes its report to the file FSW_REPORT names.
TEST(CommandChild, Report) {
    const char* report = getenv("FSW_REPORT");
    if (report == nullptr) {
        GTEST_SKIP() << "run as a command only";
    }
    WriteCommandReport(report);
}

TEST(WindowsProgram, TheNotificationCommandRunsHiddenWithShiftJisVariables) {
    TempDir dir;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    ASSERT_EQ(0, MStartupNetwork());  // for the free port
    uint16_t port = FreePort();
    MCleanupNetwork();
    ASSERT_NE(0, port);
    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\r\nSERVER=1\r\nSVPORT=" + std::to_string(port) +
                                            "\r\nCLIENT=1\r\nINTVAL=60\r\nNOTI=0\r\nNOTIFYCMD=\"" +
                                            self + "\" --gtest_filter=CommandChild.Report\r\n");
    WriteFileBytes(dir.File("fsw.lst"),
                   "0\t127.0.0.1\t" + std::to_string(port) + "\tC:\\\t4000000000\t3\tdisk\r\n");
    // The program passes its environment on to the command.
    std::string report = dir.File("report.txt");
    SetEnvironmentVariableA("FSW_REPORT", report.c_str());
    Program program(dir.Path());
    SetEnvironmentVariableA("FSW_REPORT", nullptr);
    ASSERT_TRUE(program.Started());
    HWND window = NULL;
    ASSERT_TRUE(WaitUntil(
        [&] { return (window = program.FindOwnWindow("FSW_WindowClass", NULL)) != NULL; }, 20000));
    std::string logPath = dir.File("fsw.log");
    // The line goes on with the first line the command printed, the test program's banner.
    const std::string ended = "通知コマンドが終了しました。(終了コード=0) Running main()";
    auto commandEnded = [&] {
        for (const std::string& line : LogMessagesOf(logPath)) {
            if (line.compare(0, ended.size(), ended) == 0) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(WaitUntil(commandEnded, 30000)) << ReadFileBytes(logPath);
    EXPECT_EQ("no console, hidden\n空き領域減少\nhandle not inherited\n", ReadFileBytes(report));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.Wait(20000));
}

}  // namespace
