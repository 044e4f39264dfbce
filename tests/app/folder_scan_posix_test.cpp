// The folder scan over a real tree: hard links counted once, links never followed (a
// loop), another file system mounted inside left out, an unreadable folder counted, a file
// that grows while it is read, the recent large files, and the program's stop.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>

#include "app/folder_scan.h"
#include "tests/support/test_support.h"

namespace {

void WriteBytes(const std::string& path, size_t size) {
    WriteFileBytes(path, std::string(size, 'x'));
}

// du's figure for a folder, in bytes of space on the disk, not crossing into other mounts.
uint64_t DuBytes(const std::string& path) {
    std::string command = "du -s -x -B1 '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    unsigned long long bytes = 0;
    if (pipe == nullptr || fscanf(pipe, "%llu", &bytes) != 1) {
        bytes = 0;
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return bytes;
}

std::map<std::string, ScanFolder> ByPath(const FolderScan& scan) {
    std::map<std::string, ScanFolder> folders;
    for (const ScanFolder& folder : scan.folders) {
        folders[folder.path] = folder;
    }
    return folders;
}

FolderScan Scan(const std::string& root, MLogSink& log, const std::atomic<bool>* stop = nullptr,
               std::chrono::seconds limit = std::chrono::seconds(60)) {
    ScanOptions options;
    options.root = root;
    options.now = time(nullptr);
    options.stop = stop;
    options.timeLimit = limit;
    FolderScan scan;
    EXPECT_TRUE(RunFolderScan(options, log, &scan));
    return scan;
}

// A tree: a/f (1 MB) with a second name in a and a third in b; a loop of links; a
// folder four levels down; an old large file and a new one.
void MakeTree(const std::string& root) {
    for (const char* folder : {"/a", "/b", "/c", "/c/d", "/c/d/e", "/c/d/e/f"}) {
        mkdir((root + folder).c_str(), 0755);
    }
    WriteBytes(root + "/a/f", 1 << 20);
    ASSERT_EQ(0, link((root + "/a/f").c_str(), (root + "/a/f2").c_str()));
    ASSERT_EQ(0, link((root + "/a/f").c_str(), (root + "/b/f3").c_str()));
    ASSERT_EQ(0, symlink("..", (root + "/c/up").c_str()));
    ASSERT_EQ(0, symlink(root.c_str(), (root + "/b/loop").c_str()));
    WriteBytes(root + "/c/d/e/f/deep", 64 << 10);
    WriteBytes(root + "/c/old", 2 << 20);
    struct utimbuf old = {time(nullptr) - 30 * 86400, time(nullptr) - 30 * 86400};
    utime((root + "/c/old").c_str(), &old);
}

TEST(FolderScan, CountsEachFileOnceAndFollowsNoLink) {
    TempDir dir;
    MakeTree(dir.Path());
    MLogSink& log = MNoLog();
    FolderScan scan = Scan(dir.Path(), log);
    std::map<std::string, ScanFolder> folders = ByPath(scan);
    ASSERT_EQ(1u, folders.count(dir.Path()));
    EXPECT_FALSE(scan.partial);
    EXPECT_EQ(DuBytes(dir.Path()), folders[dir.Path()].bytes);
    // The file is in a or in b, never in both.
    uint64_t a = folders[dir.Path() + "/a"].bytes, b = folders[dir.Path() + "/b"].bytes;
    EXPECT_EQ(DuBytes(dir.Path() + "/a") + DuBytes(dir.Path() + "/b") - (1u << 20), a + b);
    EXPECT_EQ(1u, folders.count(dir.Path() + "/c/d/e"));  // depth 3
    EXPECT_EQ(0u, folders.count(dir.Path() + "/c/d/e/f"));  // depth 4, far below 1 %
    EXPECT_EQ(7u, scan.folderCount);
    // The new 1 MB file once (by one of its names), not the old one.
    ASSERT_EQ(2u, scan.files.size());
    EXPECT_EQ(uint64_t(1) << 20, scan.files[0].bytes);
    EXPECT_EQ(dir.Path() + "/c/d/e/f/deep", scan.files[1].path);
}

// A file written to all the while: the scan ends whole and counts it at some size.
TEST(FolderScan, AFileGrowingDuringTheScan) {
    TempDir dir;
    MakeTree(dir.Path());
    std::atomic<bool> done{false};
    std::thread writer([&] {
        int fd = open((dir.Path() + "/b/growing").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        std::string block(4096, 'y');
        while (!done && fd >= 0) {
            if (write(fd, block.data(), block.size()) < 0 || lseek(fd, 0, SEEK_END) > (64 << 20)) {
                if (ftruncate(fd, 0) != 0) {
                    break;
                }
            }
        }
        close(fd);
    });
    FolderScan scan = Scan(dir.Path(), MNoLog());
    done = true;
    writer.join();
    EXPECT_FALSE(scan.partial);
    EXPECT_GE(ByPath(scan)[dir.Path()].bytes, uint64_t(1) << 20);
}

// The program's stop and the time bound: the root alone is read, and kept as not whole.
TEST(FolderScan, AStopOrTheTimeBoundEndsItPartial) {
    TempDir dir;
    MakeTree(dir.Path());
    std::atomic<bool> stop{true}, going{false};
    for (bool stopped : {true, false}) {
        FolderScan scan = Scan(dir.Path(), MNoLog(), stopped ? &stop : &going,
                               std::chrono::seconds(stopped ? 60 : 0));
        EXPECT_TRUE(scan.partial);
        ASSERT_EQ(1u, scan.folders.size());
        EXPECT_FALSE(scan.folders[0].complete);
        EXPECT_EQ(0u, scan.otherBytes);
    }
}

// Root reads every folder: the scan then runs in a child process as nobody.
TEST(FolderScan, AnUnreadableFolderIsCountedAndNamed) {
    TempDir dir;
    MakeTree(dir.Path());
    std::string secret = dir.Path() + "/a/secret";
    mkdir(secret.c_str(), 0700);
    WriteBytes(secret + "/hidden", 1 << 20);
    chmod(dir.Path().c_str(), 0755);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(77);
        }
        struct Log : MLogSink {
            int WriteLine(const std::string& line) override {
                named = named || line.find("a/secret") != std::string::npos;
                return 0;
            }
            bool named = false;
        } log;
        FolderScan scan = Scan(dir.Path(), log);
        std::map<std::string, ScanFolder> folders = ByPath(scan);
        bool ok = scan.unreadableCount == 1 && log.named && folders[dir.Path() + "/a"].complete &&
                  folders.count(secret) == 1 && !scan.partial;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "cannot take the user nobody to make a folder unreadable";
    }
    EXPECT_EQ(0, WEXITSTATUS(status));
}

// Another file system mounted inside: its files are not counted. Needs root and loop
// devices; skipped, saying why, where the machine has neither.
TEST(FolderScan, NeverCrossesIntoAnotherMount) {
    TempDir dir;
    MakeTree(dir.Path());
    std::string image = dir.Path() + "/../" + "fswscan-test.img";
    std::string mountPoint = dir.Path() + "/c/mnt";
    mkdir(mountPoint.c_str(), 0755);
    std::string make = "truncate -s 16M '" + image + "' && mkfs.ext4 -q -F '" + image +
                       "' >/dev/null 2>&1 && mount -o loop '" + image + "' '" + mountPoint +
                       "' 2>/dev/null";
    if (geteuid() != 0 || system(make.c_str()) != 0) {
        unlink(image.c_str());
        GTEST_SKIP() << "no loop-mounted file system here (needs root and a loop device)";
    }
    struct Unmount {
        std::string point, image;
        ~Unmount() {
            int ignored = system(("umount '" + point + "'").c_str());
            (void)ignored;
            unlink(image.c_str());
        }
    } unmount{mountPoint, image};
    WriteBytes(mountPoint + "/inside", 4 << 20);
    FolderScan scan = Scan(dir.Path(), MNoLog());
    std::map<std::string, ScanFolder> folders = ByPath(scan);
    EXPECT_EQ(0u, folders.count(mountPoint));
    EXPECT_EQ(DuBytes(dir.Path()), folders[dir.Path()].bytes);
    EXPECT_LT(folders[dir.Path() + "/c"].bytes, uint64_t(4) << 20);
}

}  // namespace
