// The real 64-bit program, started as a separate process under Wine: its Shift-JIS
// start line, the single-instance box and exit code, and the orderly end when its main
// window is closed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/exe/program_driver_win.h"

namespace {

TEST(WindowsProgram, WritesAShiftJisStartLineAndEndsWith0WhenItsWindowIsClosed) {
    TempDir dir;
    WriteFileBytes(dir.File("fsw.lst"), "");  // an empty host list, so nothing else is logged
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
    // The box may be found before its texts are set.
    EXPECT_TRUE(WaitUntil(
        [&] { return ChildTexts(box).find("ケルムは既に起動中です") != std::string::npos; }, 5000))
        << ChildTexts(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(2, second.Wait(20000));
    EXPECT_FALSE(FileExists(otherDir.File("fsw.log")));
    EXPECT_EQ(before, ReadFileBytes(dir.File("fsw.log")));

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, first.Wait(20000));
}

}  // namespace
