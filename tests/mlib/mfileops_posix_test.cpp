// Whole-file replacement on POSIX: a real write failure (a file size limit, which stops
// writes also for root), the permissions and symbolic links of the replaced file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <string>

#include "mlib/mfileops.h"
#include "mlib/msys.h"
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

// A FIFO named as the log, with or without a reader, is refused at once instead of
// holding the start until a reader comes; a regular file is taken.
TEST(MFilePosix, TheLogIsNeverAFifo) {
    TempDir dir;
    std::string fifo = dir.File("log");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    MFile file;
    EXPECT_FALSE(file.Create(fifo.c_str(), M_OPEN_ALWAYS));
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(file.Create(fifo.c_str(), M_OPEN_ALWAYS));
    close(reader);
    EXPECT_TRUE(file.Create(dir.File("fsw.log").c_str(), M_CREATE_ALWAYS));
    EXPECT_TRUE(file.Write("x", 1));
}
