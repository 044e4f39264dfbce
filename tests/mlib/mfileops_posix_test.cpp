// Whole-file replacement on POSIX: a real write failure (a file size limit, which stops
// writes also for root), the permissions and symbolic links of the replaced file; what
// is refused (another user's link, a device, a FIFO) by replacements and appends; the lock
// between writers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// Root hands the new file to the old one's owner and group (a root run must not take a
// service's file from it).
TEST(MReplaceFilePosix, TheNewFileKeepsThePermissionsAndTheOwnerOfTheOld) {
    TempDir dir;
    std::string path = dir.File("list.txt");
    WriteFileBytes(path, "old");
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    uid_t owner = geteuid() == 0 ? 65534 : geteuid();
    ASSERT_EQ(0, chown(path.c_str(), owner, owner == 65534 ? 65534 : getegid()));
    ASSERT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), "new", 3));
    struct stat info;
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);
    EXPECT_EQ(owner, info.st_uid);
}

// The lock file is the program's user's alone, as opening it is enough to hold the lock;
// one of another user is not used.
TEST(MFileLockPosix, TheLockFileIsPrivateAndAnotherUsersIsRefused) {
    TempDir dir;
    std::string path = dir.File("lastchk.txt.lock");
    MFileLock lock;
    ASSERT_EQ(MFileLock::HELD, lock.Lock(path.c_str(), 0));
    struct stat info;
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777);
    lock.Unlock();
    if (geteuid() == 0) {
        ASSERT_EQ(0, chown(path.c_str(), 65534, 65534));
        EXPECT_EQ(MFileLock::REFUSED, lock.Lock(path.c_str(), 0));
    }
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

// Old modes that a replacement must not hand on: set-uid, set-gid, writes of others.
TEST(MReplaceFilePosix, TheNewFileIsNeverSetUidAndAt0644Most) {
    TempDir dir;
    std::string path = dir.File("fsw.prom");
    for (mode_t old : {04755, 02755, 0666}) {
        WriteFileBytes(path, "old");
        ASSERT_EQ(0, chmod(path.c_str(), old));
        for (MLinkRule rule : {M_LINK_FOLLOW_TRUSTED, M_LINK_REPLACE_NAME}) {
            ASSERT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), "new", 3, rule));
            struct stat info;
            ASSERT_EQ(0, stat(path.c_str(), &info));
            EXPECT_EQ(old & 0644, info.st_mode & 07777) << std::oct << old;
        }
    }
}

// Names planted where the program writes: another user's link to a file the program could
// write (root could write any), a device node and a FIFO (with a reader that never reads).
// Every write is refused before a byte goes anywhere, and the planted name stays.
class PlantedNameTest : public ::testing::Test {
protected:
    PlantedNameTest() : victim(dir.File("victim")), name(dir.File("fsw.prom")) {
        WriteFileBytes(victim, "secret");
    }
    // Plants kind at name; false when this machine does not let the test do so.
    bool Plant(const std::string& kind) {
        std::remove(name.c_str());
        if (kind == "foreign link") {
            return symlink(victim.c_str(), name.c_str()) == 0 &&
                   lchown(name.c_str(), 65534, 65534) == 0;
        }
        if (kind == "device") {
            return mknod(name.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // as /dev/null
        }
        return mkfifo(name.c_str(), 0600) == 0 &&
               (holder = open(name.c_str(), O_RDONLY | O_NONBLOCK)) >= 0;
    }
    ~PlantedNameTest() override {
        if (holder >= 0) {
            close(holder);
        }
    }

    TempDir dir;
    std::string victim;
    std::string name;
    int holder = -1;
};

TEST_F(PlantedNameTest, ReplacementsAndAppendsAreRefusedAndLeaveThePlantedName) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "planting another user's link and a device needs root";
    }
    for (const char* kind : {"foreign link", "device", "fifo"}) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(Plant(kind));
        struct stat before;
        ASSERT_EQ(0, lstat(name.c_str(), &before));
        for (MLinkRule rule : {M_LINK_FOLLOW_TRUSTED, M_LINK_REPLACE_NAME}) {
            EXPECT_EQ(M_REPLACE_REFUSED, MReplaceFile(name.c_str(), "new", 3, rule));
        }
        EXPECT_EQ(M_APPEND_REFUSED, MAppendFile(name.c_str(), "line\n", 5, "\n"));
        struct stat after;
        ASSERT_EQ(0, lstat(name.c_str(), &after));
        EXPECT_EQ(before.st_mode, after.st_mode);
        EXPECT_EQ(before.st_ino, after.st_ino);
        EXPECT_EQ("secret", ReadFileBytes(victim));
        EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(dir.Path()),
                                   std::filesystem::directory_iterator()))
            << "no new file left beside";
    }
}

// The program's own link: appends and the settings' replacement write the file it names,
// the metrics' replacement puts a file in the link's place and leaves the linked file.
TEST(MReplaceFilePosix, AnOwnLinkIsFollowedOrReplacedAsTheRuleSays) {
    TempDir dir;
    std::string target = dir.File("real.txt");
    std::string link = dir.File("link.txt");
    WriteFileBytes(target, "old");
    ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));
    EXPECT_EQ(M_APPEND_DONE, MAppendFile(link.c_str(), "more\n", 5, "\r\n"));
    EXPECT_EQ("old\r\nmore\n", ReadFileBytes(target)) << "the line end goes first";
    EXPECT_EQ(M_REPLACE_DONE, MReplaceFile(link.c_str(), "new", 3, M_LINK_REPLACE_NAME));
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ("new", ReadFileBytes(link));
    EXPECT_EQ("old\r\nmore\n", ReadFileBytes(target));
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
