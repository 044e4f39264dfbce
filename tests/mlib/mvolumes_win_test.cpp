// The volume list of the running system through the disk seam: Wine's C: drive is a
// fixed volume, listed once at its root.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mlib/mvolumes.h"

namespace {

TEST(MListSystemVolumes, TheSystemDriveIsListedOnceAtItsRoot) {
    std::vector<std::string> paths;
    ASSERT_TRUE(MListSystemVolumes(false, &paths));
    std::string listed;
    for (const std::string& path : paths) {
        listed += path + " ";
    }
    EXPECT_EQ(1, std::count(paths.begin(), paths.end(), "C:\\")) << listed;
    EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end()));
}

}  // namespace
