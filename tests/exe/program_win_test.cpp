// The real 64-bit program, started as a separate process under Wine: its Shift-JIS
// start line, the single-instance box and exit code, and the orderly end when its main
// window is closed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "version.h"

namespace {

// The build's Unix path of fsw.exe as Wine's drive Z: sees it.
std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

// One run of a copy of fsw.exe placed in its own folder, so its files land there.
class Program {
public:
    explicit Program(const std::string& dir) {
        std::string exe = dir + "\\fsw.exe";
        if (!FileExists(exe)) {
            CopyFileA(WindowsPath(FSW_EXE_PATH).c_str(), exe.c_str(), FALSE);
        }
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + exe + "\"";
        m_started = CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL,
                                   dir.c_str(), &startup, &m_process) != 0;
    }
    ~Program() {
        if (m_started) {
            if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(m_process.hProcess, 99);
                WaitForSingleObject(m_process.hProcess, 5000);
            }
            CloseHandle(m_process.hThread);
            CloseHandle(m_process.hProcess);
        }
    }
    bool Started() const { return m_started; }
    // The exit code, or -1 when the program did not end in time.
    long Wait(DWORD milliseconds) {
        if (WaitForSingleObject(m_process.hProcess, milliseconds) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(m_process.hProcess, &code);
        return static_cast<long>(code);
    }
    // A top-level window of this process with the given class and title (either may be null).
    HWND FindOwnWindow(const char* className, const char* title) const {
        HWND window = NULL;
        while ((window = FindWindowExA(NULL, window, className, title)) != NULL) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == m_process.dwProcessId)
                return window;
        }
        return NULL;
    }

private:
    PROCESS_INFORMATION m_process{};
    bool m_started = false;
};

std::string Message(const std::string& line) {
    size_t secondTab = line.find('\t', line.find('\t') + 1);
    return secondTab == std::string::npos ? "" : line.substr(secondTab + 1);
}

std::string VersionLine(const char* word) {
    return std::string("ケルム Version ") + std::to_string(FSW_VERSION_MAJOR) + "." +
           std::to_string(FSW_VERSION_MINOR) + "." + std::to_string(FSW_VERSION_BUILD) + " (" +
           std::to_string(FSW_VERSION_REVISION) + ") " + word;
}

// The texts of a window's children: a message box shows its text in a static control.
std::string ChildTexts(HWND window) {
    std::string texts;
    HWND child = NULL;
    while ((child = FindWindowExA(window, child, NULL, NULL)) != NULL) {
        char text[512] = "";
        GetWindowTextA(child, text, sizeof text);
        texts += text;
        texts += "|";
    }
    return texts;
}

TEST(WindowsProgram, WritesAShiftJisStartLineAndEndsWith0WhenItsWindowIsClosed) {
    TempDir dir;
    WriteFileBytes(dir.File("fsw.lst"), "");  // an empty host list, so the start logs no error
    Program program(dir.Path());
    ASSERT_TRUE(program.Started());
    HWND window = NULL;
    ASSERT_TRUE(WaitUntil(
        [&] { return (window = program.FindOwnWindow("FSW_WindowClass", "ケルム")) != NULL; },
        20000));
    EXPECT_FALSE(IsWindowVisible(window)) << "the main window stays hidden";

    std::vector<std::string> lines = SplitLines(ReadFileBytes(dir.File("fsw.log")));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(VersionLine("起動"), Message(lines[0]));
    EXPECT_EQ(0u, Message(lines[0]).find("\x83\x50\x83\x8B\x83\x80 Version")) << "Shift-JIS";
    EXPECT_NE(std::string::npos, lines[0].find("\tfsw.exe\t"));

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, program.Wait(20000));
    lines = SplitLines(ReadFileBytes(dir.File("fsw.log")));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(VersionLine("終了"), Message(lines[1]));
}

TEST(WindowsProgram, ASecondCopyShowsItsBoxAndEndsWith2WithoutTouchingTheLog) {
    TempDir dir;
    Program first(dir.Path());
    HWND window = NULL;
    ASSERT_TRUE(WaitUntil(
        [&] { return (window = first.FindOwnWindow("FSW_WindowClass", NULL)) != NULL; }, 20000));
    std::string before = ReadFileBytes(dir.File("fsw.log"));

    TempDir otherDir;
    Program second(otherDir.Path());
    ASSERT_TRUE(second.Started());
    HWND box = NULL;
    ASSERT_TRUE(
        WaitUntil([&] { return (box = second.FindOwnWindow("#32770", "エラー")) != NULL; }, 20000));
    EXPECT_NE(std::string::npos, ChildTexts(box).find("ケルムは既に起動中です")) << ChildTexts(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(2, second.Wait(20000));
    EXPECT_FALSE(FileExists(otherDir.File("fsw.log")));
    EXPECT_EQ(before, ReadFileBytes(dir.File("fsw.log")));

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, first.Wait(20000));
}

}  // namespace
