// What the Windows program never writes as a file: a device name (NUL in any folder) is
// refused by replacements, appends and the lock, and nothing is left beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "mlib/mfileops.h"
#include "mlib/mprofile.h"
#include "tests/support/test_support.h"

namespace {

TEST(MFileWin, ADeviceNameIsNeverWrittenAsAFile) {
    TempDir dir;
    for (const std::string& name : {std::string("NUL"), dir.File("NUL")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(M_REPLACE_REFUSED, MReplaceFile(name.c_str(), "x", 1));
        EXPECT_EQ(M_REPLACE_REFUSED, MReplaceFile(name.c_str(), "x", 1, M_LINK_REPLACE_NAME));
        EXPECT_EQ(M_APPEND_REFUSED, MAppendFile(name.c_str(), "x\r\n", 3, "\r\n"));
        MFileLock lock;
        EXPECT_EQ(MFileLock::UNAVAILABLE, lock.Lock(name.c_str(), 0));
    }
    EXPECT_EQ(std::filesystem::directory_iterator(),
              std::filesystem::directory_iterator(dir.Path()))
        << "nothing was created in the folder";
}

// A scanner that holds the old file without delete sharing for a moment is waited for;
// one that keeps holding it makes the replace fail, the old content kept.
TEST(MFileWin, AReplaceWaitsForAFileHeldForAMoment) {
    TempDir dir;
    std::string path = dir.File("fsw.lst");
    ASSERT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), "old", 3));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_NE(M_REPLACE_DONE, MReplaceFile(path.c_str(), "new", 3));
    EXPECT_EQ("old", ReadFileBytes(path));
    std::thread release([held] {
        Sleep(300);
        CloseHandle(held);
    });
    EXPECT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), "new", 3));
    release.join();
    EXPECT_EQ("new", ReadFileBytes(path));
}

// The settings dialog's write of fsw.ini waits for such a scanner in the same way.
TEST(MFileWin, SettingsWaitForAFileHeldForAMoment) {
    TempDir dir;
    std::string path = dir.File("fsw.ini");
    WriteFileBytes(path, "[fsw]\r\nINTVAL=5\r\n");
    HANDLE held =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(MWritePrivateProfileStrings("fsw", {{"INTVAL", "7"}}, path.c_str()));
    std::thread release([held] {
        Sleep(300);
        CloseHandle(held);
    });
    EXPECT_TRUE(MWritePrivateProfileStrings("fsw", {{"INTVAL", "9"}, {"NOTI", "1"}}, path.c_str()));
    release.join();
    EXPECT_EQ(9u, MGetPrivateProfileInt("fsw", "INTVAL", 0, path.c_str()));
    EXPECT_EQ(1u, MGetPrivateProfileInt("fsw", "NOTI", 0, path.c_str()));
}

}  // namespace
