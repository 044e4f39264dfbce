// Commands under Windows: started without a window, given the variables in the ANSI code
// page, and ended at the bound together with the children they started (a job object).
// This test program plays the command itself: the CommandChild tests run only when the
// variable FSW_CHILD names what they are to do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "mlib/mcommand.h"
#include "tests/support/command_report_win.h"
#include "tests/support/test_support.h"

namespace {

const char TITLE[] = "空き領域減少";  // Shift-JIS in this build

// This program as a command running one CommandChild test.
std::string SelfCommand(const char* test) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string("\"") + path + "\" --gtest_filter=CommandChild." + test;
}

const char* ChildTask() {
    return getenv("FSW_CHILD");
}

// As a command: reports how it was started (tests/support/command_report_win.h).
TEST(CommandChild, Report) {
    if (ChildTask() == nullptr) {
        GTEST_SKIP() << "run as a command only";
    }
    WriteCommandReport(ChildTask());
}

// As a command: starts this program once more as its own child, which writes its process
// id to the file FSW_CHILD names and sleeps; then sleeps itself.
TEST(CommandChild, SleepWithAChild) {
    if (ChildTask() == nullptr) {
        GTEST_SKIP() << "run as a command only";
    }
    std::string line = SelfCommand("Sleep");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &process));
    Sleep(1000000);
}

TEST(CommandChild, Sleep) {
    if (ChildTask() == nullptr) {
        GTEST_SKIP() << "run as a command only";
    }
    WriteFileBytes(ChildTask(), std::to_string(GetCurrentProcessId()));
    Sleep(1000000);
}

// An inheritable handle of the program (as its sockets are) does not reach the command.
TEST(MRunCommand, ItRunsWithoutAWindowAndGetsTheVariablesInTheAnsiCodePage) {
    ASSERT_EQ(932u, GetACP()) << "the code page the bytes are compared in";
    TempDir dir;
    std::string report = dir.File("report.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    std::string name = "fsw-test-inherit-" + std::to_string(GetCurrentProcessId());
    HANDLE event = CreateEventA(&inherit, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    std::string handle = std::to_string(reinterpret_cast<uintptr_t>(event));
    MCommandResult result = MRunCommand(SelfCommand("Report"),
                                        {{"FSW_CHILD", report},
                                         {"FSW_TITLE", TITLE},
                                         {"FSW_HANDLE", handle},
                                         {"FSW_HANDLE_NAME", name}},
                                        "", 60000);
    CloseHandle(event);
    EXPECT_EQ(M_COMMAND_EXITED, result.state) << result.error;
    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ(std::string("no console, hidden\n") + TITLE + "\nhandle not inherited\n",
              ReadFileBytes(report));
    EXPECT_EQ("Running main() from ", result.firstLine.substr(0, 20))
        << "its output is read: " << result.firstLine;
}

TEST(MRunCommand, ACommandThatNeverEndsIsEndedAtTheBoundWithItsChildren) {
    TempDir dir;
    std::string pidFile = dir.File("grandchild.pid");
    MCommandResult result =
        MRunCommand(SelfCommand("SleepWithAChild"), {{"FSW_CHILD", pidFile}}, "", 5000);
    EXPECT_EQ(M_COMMAND_TIMED_OUT, result.state);
    std::string pid;
    ASSERT_TRUE(WaitUntil([&] { return !(pid = ReadFileBytes(pidFile)).empty(); }, 1000))
        << "the child had started";
    HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(atoi(pid.c_str())));
    if (child != nullptr) {  // null: it is gone already
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child, 5000)) << "the child ended too";
        CloseHandle(child);
    }
}

TEST(MRunCommand, ACommandThatCannotStartSaysWhy) {
    MCommandResult result = MRunCommand("C:\\no\\such\\program.exe", {}, "", 10000);
    EXPECT_EQ(M_COMMAND_NOT_STARTED, result.state);
    EXPECT_FALSE(result.error.empty());
}

}  // namespace
