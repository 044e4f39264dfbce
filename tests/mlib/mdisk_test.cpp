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

// A quota limits the caller's total, not the volume's free bytes: the figures stay the
// volume's, and free never exceeds total.
TEST(ChooseVolumeFigures, AQuotaNeverShowsMoreFreeThanTotal) {
    struct Case {
        uint64_t callerFree, callerTotal, volumeFree, volumeTotal, free, total;
    };
    const std::vector<Case> cases = {
        {40, 100, 40, 100, 40, 100},      // no quota
        {10, 50, 400, 1000, 400, 1000},   // quota below the free space: the volume's size
        {10, 500, 300, 1000, 300, 1000},  // quota above it: still the volume's size
        {10, 50, 400, 0, 10, 50},         // the volume's size unknown: the caller's view
        {40, 100, 40, 0, 40, 100},
    };
    for (const Case& c : cases) {
        VolumeFigures got =
            ChooseVolumeFigures(c.callerFree, c.callerTotal, c.volumeFree, c.volumeTotal);
        EXPECT_EQ(c.free, got.freeBytes) << c.volumeFree << " of " << c.volumeTotal;
        EXPECT_EQ(c.total, got.totalBytes) << c.volumeFree << " of " << c.volumeTotal;
    }
}

// Linux: free is what users may still write (f_bavail), root's reserve left out; the
// total stays the whole volume.
TEST(StatvfsFigures, RootsReserveIsNotFree) {
    struct Case {
        uint64_t blocks, freeBlocks, availableBlocks, free, total;
    };
    const std::vector<Case> cases = {
        {1000, 300, 250, 250 * 4096, 1000 * 4096},  // ext4's 5 % reserve
        {1000, 40, 0, 0, 1000 * 4096},              // full for users, only the reserve left
        {1000, 300, 300, 300 * 4096, 1000 * 4096},  // no reserve
        {1000, 300, 900, 300 * 4096, 1000 * 4096},  // a file system's nonsense: never more
    };
    for (const Case& c : cases) {
        VolumeFigures got = StatvfsFigures(c.blocks, c.freeBlocks, c.availableBlocks, 4096);
        EXPECT_EQ(c.free, got.freeBytes) << c.freeBlocks << "/" << c.availableBlocks;
        EXPECT_EQ(c.total, got.totalBytes) << c.freeBlocks << "/" << c.availableBlocks;
    }
}

}  // namespace
