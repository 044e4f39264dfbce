// What the Windows program never writes as a file: a device name (NUL in any folder) is
// refused by replacements, appends and the lock, and nothing is left beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mlib/mfileops.h"
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

}  // namespace
