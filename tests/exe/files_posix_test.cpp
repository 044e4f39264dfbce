// The files the real program writes, met as a user meets them: a metrics file and a history
// that another user has turned into a link to a file of theirs choosing (or a device), a
// history that is a FIFO whose reader never reads, and an ALLOW list longer than any buffer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "mlib/mfileops.h"
#include "net/protocol.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"

namespace {

const char REFUSED_METRICS[] =
    "メトリクスファイルが通常のファイルでないか他のユーザのリンクのため、書き込みません。(File=";
const char REFUSED_APPEND[] =
    "履歴ファイルが通常のファイルでないか他のユーザのリンクのため、書き込みません。(File=";
const char REFUSED_COMPACTION[] =
    "履歴ファイルが通常のファイルでないか他のユーザのリンクのため、整理しません。(File=";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ProgramFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "planting another user's link and a device needs root";
        }
        victim = dir.File("victim");
        // A target nobody answers: the cycle ends at once with an error result.
        WriteFileBytes(dir.File("fsw.lst"),
                       "0\t127.0.0.1\t" + std::to_string(FreePort()) + "\t/\t10\t0\t停止中\n");
    }
    // A link at name to the victim, made by root and handed to "nobody" as if planted.
    void PlantForeignLink(const std::string& name) {
        ASSERT_EQ(0, symlink(victim.c_str(), name.c_str()));
        ASSERT_EQ(0, lchown(name.c_str(), 65534, 65534));
    }
    void ExpectLinkToVictim(const std::string& name) {
        struct stat info;
        ASSERT_EQ(0, lstat(name.c_str(), &info));
        EXPECT_TRUE(S_ISLNK(info.st_mode));
        EXPECT_EQ(65534u, info.st_uid);
    }

    TempDir dir;
    TempDir runtime;
    std::string victim;
};

// fsw --once as root, as the README's cron line runs it, with PROMFILE planted: a link of
// another user to a file root may write, a device node (as /dev/null). Neither is written
// nor replaced; the run says why on standard error. A set-uid file there loses the bit.
TEST_F(ProgramFilesTest, OnceAsRootNeverWritesThroughAPlantedMetricsFile) {
    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nPROMFILE=fsw.prom\n");
    const std::string prom = dir.File("fsw.prom");
    for (const char* kind : {"link", "device"}) {
        SCOPED_TRACE(kind);
        WriteFileBytes(victim, "root:secret\n");
        if (std::string(kind) == "link") {
            PlantForeignLink(prom);
        } else {
            ASSERT_EQ(0, mknod(prom.c_str(), S_IFCHR | 0666, makedev(1, 3)));
        }
        ProgramRun run = RunFsw({"--dir", dir.Path(), "--once"}, runtime.Path());
        EXPECT_NE(-1, run.exitCode);
        EXPECT_TRUE(Contains(run.err, REFUSED_METRICS + prom + ")")) << run.err;
        EXPECT_EQ("root:secret\n", ReadFileBytes(victim));
        struct stat info;
        ASSERT_EQ(0, lstat(prom.c_str(), &info));
        EXPECT_TRUE(std::string(kind) == "link" ? S_ISLNK(info.st_mode) : S_ISCHR(info.st_mode));
        ASSERT_EQ(0, unlink(prom.c_str()));
    }
    // A set-uid file there, and what a run killed while writing it left beside it.
    WriteFileBytes(prom, "old");
    ASSERT_EQ(0, chmod(prom.c_str(), 04755));
    pid_t gone = fork();
    if (gone == 0) {
        _exit(0);
    }
    waitpid(gone, nullptr, 0);
    std::string left = dir.File(MNewFileName(static_cast<unsigned long>(gone), 0));
    WriteFileBytes(left, "half");
    ProgramRun run = RunFsw({"--dir", dir.Path(), "--once"}, runtime.Path());
    struct stat info;
    ASSERT_EQ(0, stat(prom.c_str(), &info));
    EXPECT_EQ(0644u, info.st_mode & 07777);
    EXPECT_TRUE(Contains(ReadFileBytes(prom), "fsw_cycle_targets 1")) << run.err;
    EXPECT_FALSE(FileExists(left));
    EXPECT_TRUE(
        Contains(run.err, "保存途中で残った一時ファイルを削除しました。(File=" + left + ")"));
}

// The service's history planted as another user's link to a file that holds old lines:
// neither the cycle's append nor the compaction at start writes it; both are logged.
TEST_F(ProgramFilesTest, TheHistoryIsNeitherAppendedNorCompactedThroughAPlantedLink) {
    time_t old = time(nullptr) - 40 * 86400;
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", localtime(&old));
    std::string lines;
    for (int day = 0; day < 40; day++) {
        time_t when = old + day * 86400;
        strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", localtime(&when));
        lines += std::string(stamp) + "\tsrv\t50801\t/data\t1\t100\t1000\r\n";
    }
    WriteFileBytes(victim, lines);
    const std::string history = dir.File("lastchk.txt");
    PlantForeignLink(history);
    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nSERVER=0\nCLIENT=1\nINTVAL=60\nNOTI=0\n");
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(program.Started());
    const std::string log = dir.File("fsw.log");
    ASSERT_TRUE(WaitUntil(
        [&] { return Contains(ReadFileBytes(log), REFUSED_APPEND + history + ")"); }, 20000))
        << ReadFileBytes(log);
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(20000));
    EXPECT_TRUE(Contains(ReadFileBytes(log), REFUSED_COMPACTION + history + ")"));
    EXPECT_EQ(lines, ReadFileBytes(victim));
    ExpectLinkToVictim(history);
}

// A history that is a FIFO, full, with a holder that never reads: the cycle's append is
// refused instead of blocking the program's one thread, so SIGTERM ends it at once.
TEST_F(ProgramFilesTest, AHistoryThatIsAFullFifoNeitherHangsTheCycleNorTheStop) {
    const std::string history = dir.File("lastchk.txt");
    ASSERT_EQ(0, mkfifo(history.c_str(), 0600));
    int holder = open(history.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    int filler = open(history.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(filler, 0);
    std::string block(4096, 'x');
    while (write(filler, block.data(), block.size()) > 0) {
    }
    close(filler);
    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nSERVER=0\nCLIENT=1\nINTVAL=60\nNOTI=0\n");
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(program.Started());
    const std::string log = dir.File("fsw.log");
    bool refused = WaitUntil(
        [&] { return Contains(ReadFileBytes(log), REFUSED_APPEND + history + ")"); }, 20000);
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(5000)) << "a stop within 5 s, not a process stuck in a write";
    close(holder);
    EXPECT_TRUE(refused) << ReadFileBytes(log);
}

// An ALLOW list of more than 4,096 bytes whose last entry, 10.0.0.0/16, a cut at 4,095
// bytes made 10.0.0.0/1 (which holds 127.0.0.1): read whole, it keeps 127.0.0.1 out.
TEST(ProgramAllow, AnAllowListLongerThanAnyBufferIsAppliedWhole) {
    TempDir dir;
    TempDir runtime;
    std::string allow;
    while (allow.size() + 9 <= 4095 - 10) {
        allow += "10.1.1.1,";
    }
    allow += std::string(4095 - 10 - allow.size(), ' ') + "10.0.0.0/16";
    uint16_t port = FreePort();
    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nSERVER=1\nSVPORT=" + std::to_string(port) +
                                            "\nCLIENT=0\nALLOW=" + allow + "\n");
    WriteFileBytes(dir.File("fsw.lst"), "");
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(WaitForListening(port, 10000));
    EXPECT_EQ("", AskFrom(port, "127.0.0.1", DiskRequest(dir.Path())));
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(20000));
    std::string log = ReadFileBytes(dir.File("fsw.log"));
    EXPECT_TRUE(Contains(log, "許可されていないアドレスからの接続を切断しました (127.0.0.1)"));
}

}  // namespace
