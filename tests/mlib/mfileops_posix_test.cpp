// Whole-file replacement on POSIX: a real write failure (a file size limit, which stops
// writes also for root), the permissions and symbolic links of the replaced file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <string>

#include "mlib/mfileops.h"
#include "tests/support/file_size_limit_posix.h"
#include "tests/support/test_support.h"

namespace {

TEST(MReplaceFilePosix, ADiskLimitReachedHalfWayLeavesTheOldFile) {
    TempDir dir;
    std::string path = dir.File("list.txt");
    WriteFileBytes(path, "old content");
    std::string content(10000, 'n');
    MReplaceResult result;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.IsSet());
        result = MReplaceFile(path.c_str(), content.data(), content.size());
    }
    EXPECT_EQ(M_REPLACE_WRITE_FAILED, result);
    EXPECT_EQ("old content", ReadFileBytes(path));
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.Path()),
                               std::filesystem::directory_iterator()));
}

TEST(MReplaceFilePosix, TheNewFileKeepsThePermissionsOfTheOld) {
    TempDir dir;
    std::string path = dir.File("list.txt");
    WriteFileBytes(path, "old");
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    ASSERT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), "new", 3));
    struct stat info;
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);
}

TEST(MReplaceFilePosix, ASymbolicLinkStaysALinkAndItsTargetIsReplaced) {
    TempDir dir;
    std::string target = dir.File("real.txt");
    std::string link = dir.File("link.txt");
    WriteFileBytes(target, "old");
    ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));
    ASSERT_EQ(M_REPLACE_DONE, MReplaceFile(link.c_str(), "new", 3));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ("new", ReadFileBytes(target));
}

}  // namespace
