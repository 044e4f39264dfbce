// Commands under Windows: started without a window, given the variables in the ANSI code
// page, and ended at the bound together with the children they started (a job object).
// This test program plays the command itself: the CommandChild tests run only when the
// variable FSW_CHILD names what they are to do. A bare name is never looked up in the
// program's folder, and a child left holding the pipes holds no thread. Also this
// platform's commands for the shared tests (mcommand_test.cpp).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "mlib/mcommand.h"
#include "tests/support/command_lines.h"
#include "tests/support/command_report_win.h"
#include "tests/support/test_support.h"

#include <tlhelp32.h>  // after windows.h, which the headers above bring with winsock2.h

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

// Starts this program's Sleep test as a child, which writes its process id to the file
// FSW_CHILD names and sleeps; with inherit, the child shares this one's standard handles.
bool StartSleepingChild(bool inherit) {
    std::string line = SelfCommand("Sleep");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (inherit) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION process = {};
    return CreateProcessA(nullptr, &line[0], nullptr, nullptr, inherit, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &process) != FALSE;
}

// As a command: starts a sleeping child of its own, then sleeps itself.
TEST(CommandChild, SleepWithAChild) {
    if (ChildTask() == nullptr) {
        GTEST_SKIP() << "run as a command only";
    }
    ASSERT_TRUE(StartSleepingChild(false));
    Sleep(1000000);
}

// As a command: starts a sleeping child that holds its output, and ends.
TEST(CommandChild, ExitLeavingAChild) {
    if (ChildTask() == nullptr) {
        GTEST_SKIP() << "run as a command only";
    }
    ASSERT_TRUE(StartSleepingChild(true));
}

TEST(CommandChild, Sleep) {
    if (ChildTask() == nullptr) {
        GTEST_SKIP() << "run as a command only";
    }
    WriteFileBytes(ChildTask(), std::to_string(GetCurrentProcessId()));
    Sleep(1000000);
}

// As a command: prints 50 MB and exits with 7.
TEST(CommandChild, Flood) {
    if (ChildTask() == nullptr) {
        GTEST_SKIP() << "run as a command only";
    }
    std::string block(65536, 'x');
    DWORD put = 0;
    for (int i = 0; i < 50000000 / 65536 + 1; i++) {
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), block.data(), 65536, &put, nullptr);
    }
    ExitProcess(7);
}

// As a command: copies its input to the file FSW_CHILD names.
TEST(CommandChild, CopyInput) {
    if (ChildTask() == nullptr) {
        GTEST_SKIP() << "run as a command only";
    }
    std::string input;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
           got > 0) {
        input.append(buffer, got);
    }
    WriteFileBytes(ChildTask(), input);
}

// An inheritable handle of the program does not reach the command.
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

size_t ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    size_t count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

// A child that keeps the command's output open after the command has ended holds no
// thread of the caller.
TEST(MRunCommand, AChildHoldingThePipesHoldsNoThread) {
    TempDir dir;
    std::string pidFile = dir.File("child.pid");
    size_t before = ThreadCount();
    MCommandResult result =
        MRunCommand(SelfCommand("ExitLeavingAChild"), {{"FSW_CHILD", pidFile}}, "", 20000);
    EXPECT_EQ(M_COMMAND_EXITED, result.state) << result.error;
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= before; }, 5000))
        << before << " threads before, " << ThreadCount() << " after";
    std::string pid;
    ASSERT_TRUE(WaitUntil([&] { return !(pid = ReadFileBytes(pidFile)).empty(); }, 5000));
    HANDLE child = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(atoi(pid.c_str())));
    if (child != nullptr) {
        TerminateProcess(child, 1);
        CloseHandle(child);
    }
}

// A bare name is looked up in the system's folders and PATH, never in the program's folder:
// this test program, there, is not found by its bare name, while cmd is.
TEST(MRunCommand, ACommandThatCannotStartSaysWhy) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string bare = strrchr(path, '\\') + 1;
    for (const std::string& line : {std::string("C:\\no\\such\\program.exe"), bare}) {
        MCommandResult result =
            MRunCommand(line + " --gtest_filter=CommandChild.Report", {}, "", 10000);
        EXPECT_EQ(M_COMMAND_NOT_STARTED, result.state) << line;
        EXPECT_FALSE(result.error.empty());
    }
    MCommandResult found = MRunCommand("cmd /c exit 3", {}, "", 30000);
    EXPECT_EQ(M_COMMAND_EXITED, found.state) << found.error;
    EXPECT_EQ(3, found.exitCode);
}

}  // namespace

TestCommand FloodingCommand() {
    return {SelfCommand("Flood"), {{"FSW_CHILD", "flood"}}};
}

TestCommand NonReadingCommand() {
    return {"cmd /c exit 0", {}};
}

TestCommand CopyingCommand(const std::string& file) {
    return {SelfCommand("CopyInput"), {{"FSW_CHILD", file}}};
}
