// Which paths from the network may be measured on Windows: the rule, on every build.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mlib/mdisk.h"

namespace {

TEST(IsLocalDrivePath, OnlyAFolderOfALocalDriveMayBeMeasured) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"C:\\", true},
        {"c:\\data\\x y", true},
        {"D:/share", true},
        {"C:\\CONSOLE\\COM10", true},  // names that only begin like devices
        {"C:\\\x95\\CON", true},       // 表CON: the 0x5C is a trail byte, not a separator
        {"C:", false},                 // the drive's current folder
        {"C:data", false},
        {"\\\\host\\share\\x", false},  // UNC
        {"//host/share", false},
        {"\\\\?\\C:\\", false},
        {"\\\\.\\PhysicalDrive0", false},
        {"1:\\", false},
        {"C:\\a:stream", false},
        {"C:\\CON", false},
        {"C:\\x\\nul.txt", false},
        {"C:\\x\\lpt9 \\y", false},
        {"C:\\x\\com1", false},
        {"C:\\x*", false},
        {"C:\\a\tb", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, IsLocalDrivePath(c.first.c_str())) << c.first;
    }
}

}  // namespace
