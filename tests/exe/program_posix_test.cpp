// The real Linux edition, started as a separate process: its start and end lines, the
// single-instance rule, the shutdown on SIGINT and SIGTERM, and its options.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/child_process_posix.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"
#include "version.h"

namespace {

std::string Message(const std::string& line) {
    size_t secondTab = line.find('\t', line.find('\t') + 1);
    return secondTab == std::string::npos ? "" : line.substr(secondTab + 1);
}

std::string VersionLine(const char* word) {
    return std::string("ケルム Version ") + std::to_string(FSW_VERSION_MAJOR) + "." +
           std::to_string(FSW_VERSION_MINOR) + "." + std::to_string(FSW_VERSION_BUILD) + " (" +
           std::to_string(FSW_VERSION_REVISION) + ") " + word;
}

bool LogHasLine(const std::string& path, const std::string& message) {
    for (const std::string& line : SplitLines(ReadFileBytes(path))) {
        if (Message(line) == message)
            return true;
    }
    return false;
}

class ProgramTest : public ::testing::Test {
protected:
    TempDir dir;
    TempDir runtime;
};

TEST_F(ProgramTest, WritesTheStartLineAndOnSigtermTheEndLineAndExitsWith0) {
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(program.Started());
    std::string log = dir.File("fsw.log");
    ASSERT_TRUE(WaitUntil([&] { return LogHasLine(log, VersionLine("起動")); }, 10000));
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(10000));
    std::vector<std::string> lines = SplitLines(ReadFileBytes(log));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(VersionLine("起動"), Message(lines.front()));
    EXPECT_EQ("終了要求(SIGTERM)を受けました", Message(lines[lines.size() - 2]));
    EXPECT_EQ(VersionLine("終了"), Message(lines.back()));
    EXPECT_EQ(0u, lines.front().find_first_of("0123456789"));
    EXPECT_NE(std::string::npos, lines.front().find("\tfsw\t")) << "module name fsw";
}

TEST_F(ProgramTest, SigintEndsItTheSameWay) {
    Program program(dir.Path(), runtime.Path());
    std::string log = dir.File("fsw.log");
    ASSERT_TRUE(WaitUntil([&] { return LogHasLine(log, VersionLine("起動")); }, 10000));
    program.Signal(SIGINT);
    EXPECT_EQ(0, program.Wait(10000));
    EXPECT_TRUE(LogHasLine(log, VersionLine("終了")));
    EXPECT_FALSE(LogHasLine(log, "終了要求(SIGTERM)を受けました"));
}

TEST_F(ProgramTest, ASecondCopyIsRefusedWithExitCode2WithoutTouchingTheLog) {
    // With a host list there is no line about a missing one after the start line, so the
    // first copy's log is complete once the start line is there.
    WriteFileBytes(dir.File("fsw.lst"), "");
    Program first(dir.Path(), runtime.Path());
    std::string log = dir.File("fsw.log");
    ASSERT_TRUE(WaitUntil([&] { return LogHasLine(log, VersionLine("起動")); }, 10000));
    std::string before = ReadFileBytes(log);

    TempDir otherDir;
    Program second(otherDir.Path(), runtime.Path());
    EXPECT_EQ(2, second.Wait(10000));
    EXPECT_EQ("エラー: ケルムは既に起動中です\n", second.Stderr());
    EXPECT_FALSE(FileExists(otherDir.File("fsw.log")));
    EXPECT_EQ(before, ReadFileBytes(log));

    first.Signal(SIGTERM);
    EXPECT_EQ(0, first.Wait(10000));
}

// One copy per data folder, whoever starts it: a copy of another user (with a lock of its
// own user's) on the folder of a running copy is refused; one on another folder starts.
TEST_F(ProgramTest, ASecondCopyOnTheSameFolderIsRefusedWhateverItsUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can start a copy as another user";
    }
    WriteFileBytes(dir.File("fsw.lst"), "");
    Program first(dir.Path(), runtime.Path());
    ASSERT_TRUE(
        WaitUntil([&] { return LogHasLine(dir.File("fsw.log"), VersionLine("起動")); }, 10000));
    TempDir otherRuntime;
    TempDir otherDir;
    ASSERT_EQ(0, chmod(otherRuntime.Path().c_str(), 01777));
    ASSERT_EQ(0, chmod(dir.Path().c_str(), 0755));
    ASSERT_EQ(0, chmod(otherDir.Path().c_str(), 0777));
    const std::vector<std::string> nobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                             "--clear-groups"};
    ProgramRun second = RunFsw({"--dir", dir.Path()}, otherRuntime.Path(), 20000, nobody);
    EXPECT_EQ(2, second.exitCode);
    EXPECT_EQ("エラー: 同じデータフォルダのケルムが既に起動中です。(Dir=" + dir.Path() + ")\n",
              second.err);
    // On a folder of its own the same user's copy starts (and is ended by the timeout).
    ProgramRun elsewhere = RunFsw({"--dir", otherDir.Path()}, otherRuntime.Path(), 3000, nobody);
    EXPECT_EQ(-1, elsewhere.exitCode) << elsewhere.err;

    first.Signal(SIGTERM);
    EXPECT_EQ(0, first.Wait(10000));
}

TEST_F(ProgramTest, ACopyStartsAgainOnceTheFirstHasEnded) {
    {
        Program first(dir.Path(), runtime.Path());
        ASSERT_TRUE(
            WaitUntil([&] { return LogHasLine(dir.File("fsw.log"), VersionLine("起動")); }, 10000));
        first.Signal(SIGTERM);
        ASSERT_EQ(0, first.Wait(10000));
    }
    std::remove(dir.File("fsw.log").c_str());
    Program again(dir.Path(), runtime.Path());
    ASSERT_TRUE(
        WaitUntil([&] { return LogHasLine(dir.File("fsw.log"), VersionLine("起動")); }, 10000));
    again.Signal(SIGTERM);
    EXPECT_EQ(0, again.Wait(10000));
}

TEST_F(ProgramTest, AMissingDirIsRefusedWithExitCode2) {
    Program program(dir.File("missing"), runtime.Path());
    EXPECT_EQ(2, program.Wait(10000));
    EXPECT_NE(std::string::npos, program.Stderr().find("missing"));
}

TEST_F(ProgramTest, OptionsThatAnswerAndEnd) {
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string stdoutStart;
        std::string stderrStart;
    };
    const Case cases[] = {
        {{"--version"}, 0, VersionLine("").substr(0, VersionLine("").size() - 1) + "\n", ""},
        {{"--help"}, 0, "usage: fsw [--dir DIR] [--once]\n", ""},
        {{"--dir", dir.Path(), "--version"}, 0, "ケルム Version ", ""},
        {{"--verbose"}, 2, "", "fsw: unknown argument: --verbose\nusage: fsw"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {FSW_EXE_PATH};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        std::string out = runtime.File("out.txt");
        std::string err = runtime.File("err.txt");
        ChildProcess program(argv, {"XDG_RUNTIME_DIR=" + runtime.Path()}, out, err);
        EXPECT_EQ(c.exitCode, program.Wait(10000)) << c.arguments[0];
        std::string printed = ReadFileBytes(out);
        EXPECT_EQ(c.stdoutStart, printed.substr(0, c.stdoutStart.size())) << printed;
        EXPECT_EQ(c.stdoutStart.empty(), printed.empty()) << printed;
        EXPECT_EQ(c.stderrStart, ReadFileBytes(err).substr(0, c.stderrStart.size()));
    }
    EXPECT_FALSE(FileExists(dir.File("fsw.log"))) << "an answering option starts nothing";
}

// A stack limit larger than the address space leaves no room for a thread's stack, so
// the signal thread cannot start: the program says so and ends before it does anything.
TEST_F(ProgramTest, WithoutItsSignalThreadItEndsWithExitCode2) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit a limited address space";
#endif
    std::string err = runtime.File("err.txt");
    ChildProcess program(
        {"/bin/sh", "-c", "ulimit -s 1048576 && ulimit -v 262144 && exec \"$0\" --dir \"$1\"",
         FSW_EXE_PATH, dir.Path()},
        {"XDG_RUNTIME_DIR=" + runtime.Path()}, "", err);
    EXPECT_EQ(2, program.Wait(10000));
    EXPECT_EQ(
        "エラー: "
        "シグナルを受けるスレッドを開始できません。SIGKILLでしか止められないため起動しません\n",
        ReadFileBytes(err));
    EXPECT_FALSE(FileExists(dir.File("fsw.log")));
}

// A FIFO as the settings file and as the host list stalled the start for good (SIGTERM
// unheard): now both are refused, and the settings line, found before the log was open,
// follows the start line.
TEST_F(ProgramTest, FifosAsSettingsAndListAreRefusedAndLoggedAfterTheStartLine) {
    ASSERT_EQ(0, mkfifo(dir.File("fsw.ini").c_str(), 0600));
    ASSERT_EQ(0, mkfifo(dir.File("fsw.lst").c_str(), 0600));
    Program program(dir.Path(), runtime.Path());
    std::string log = dir.File("fsw.log");
    std::string listLine =
        "登録ホストファイルが通常のファイルではありません。(File=" + dir.File("fsw.lst") + ")";
    ASSERT_TRUE(WaitUntil([&] { return LogHasLine(log, listLine); }, 10000));
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(10000));
    std::vector<std::string> lines = SplitLines(ReadFileBytes(log));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(VersionLine("起動"), Message(lines[0]));
    EXPECT_EQ("設定ファイルが通常のファイルではありません。(File=" + dir.File("fsw.ini") + ")",
              Message(lines[1]));
    EXPECT_EQ(listLine, Message(lines[2]));
}

TEST_F(ProgramTest, ALockFileOthersMayWriteRefusesTheStartWithExitCode2) {
    std::string lock = runtime.File("FSW_Mutex1825.lock");
    WriteFileBytes(lock, "");
    ASSERT_EQ(0, chmod(lock.c_str(), 0666));
    Program program(dir.Path(), runtime.Path());
    EXPECT_EQ(2, program.Wait(10000));
    EXPECT_EQ(
        "エラー: 起動中のケルムがあるか確認できないため起動しません。"
        "ロックファイルに他のユーザーが書き込めます。(File=" +
            lock + ")\n",
        program.Stderr());
    EXPECT_FALSE(FileExists(dir.File("fsw.log")));
}

// The settings the package installs, with a free port and files of the test's own:
// only this machine may ask, over either family (Debian's localhost is ::1 and 127.0.0.1),
// and the log is bounded.
TEST_F(ProgramTest, ThePackagesSettingsServeOnlyThisMachine) {
    uint16_t port = FreePort();
    std::string ini;
    std::string allow;
    for (const std::string& line : SplitLines(ReadFileBytes(FSW_SOURCE_DIR "/packaging/fsw.ini"))) {
        if (line.find("ALLOW=") == 0) {
            allow = line.substr(6);
        }
        if (line.find("SVPORT=") == 0) {
            ini += "SVPORT=" + std::to_string(port) + "\n";
        } else if (line.find("LOGFILE=") == 0 || line.find("CHKFILE=") == 0) {
            ini += line.substr(0, line.find('=') + 1) + dir.File(line.substr(0, 3)) + "\n";
        } else {
            ini += line + "\n";
        }
    }
    EXPECT_NE(std::string::npos, ini.find("\nLOGMAX=10\n")) << ini;
    WriteFileBytes(dir.File("fsw.ini"), ini);
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(WaitForListening(port, 10000));
    EXPECT_EQ(28u, AskFrom(port, "127.0.0.1", DiskRequest(dir.Path())).size());
    EXPECT_EQ(28u, AskAt("::1", port, DiskRequest(dir.Path())).size());
    EXPECT_EQ("", AskFrom(port, "127.0.0.2", DiskRequest(dir.Path())));
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(10000));
    EXPECT_TRUE(LogHasLine(dir.File("LOG"), "接続を許可するアドレス: " + allow)) << allow;
}

}  // namespace
