// The real 64-bit program, started as a separate process under Wine: its Shift-JIS
// start line, the single-instance box and exit code, and the orderly end when its main
// window is closed; its manifest, icon and header as built.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
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

namespace {

// Read from the program as built: its manifest, its icon's sizes and its PE header.
TEST(WindowsProgram, ItsManifestIconAndHeaderAreThoseOfAWindows10And11Program) {
    HMODULE exe = LoadLibraryExA(WindowsPath(FSW_EXE_PATH).c_str(), NULL,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(HMODULE{NULL}, exe);
    auto resource = [&](const char* type, const char* name) {
        HRSRC found = FindResourceA(exe, name, type);
        return found == NULL
                   ? std::string()
                   : std::string(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                                 SizeofResource(exe, found));
    };
    std::string manifest = resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
    for (const char* part : {"level=\"asInvoker\" uiAccess=\"false\"", ">PerMonitorV2, System<",
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", ">ja-JP</activeCodePage>"}) {
        EXPECT_NE(std::string::npos, manifest.find(part)) << part;
    }
    std::string group = resource(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_FSW));
    std::vector<int> sizes;
    for (size_t at = 6; at + 14 <= group.size(); at += 14) {
        sizes.push_back(static_cast<unsigned char>(group[at]));
    }
    EXPECT_EQ((std::vector<int>{48, 32, 24, 20, 16}), sizes);
    FreeLibrary(exe);

    std::string image = ReadFileBytes(WindowsPath(FSW_EXE_PATH));
    ASSERT_GT(image.size(), 0x200u);
    uint32_t pe = 0;
    memcpy(&pe, image.data() + 0x3c, 4);
    uint16_t subsystemMajor = 0;
    uint16_t dllFlags = 0;
    memcpy(&subsystemMajor, image.data() + pe + 24 + 48, 2);
    memcpy(&dllFlags, image.data() + pe + 24 + 70, 2);
    EXPECT_EQ(6, subsystemMajor) << "Vista and later";
    EXPECT_EQ(0x140, dllFlags & 0x140) << "DYNAMIC_BASE and NX_COMPAT";
}

}  // namespace
