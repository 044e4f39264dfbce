// The real Linux edition, started as a separate process: its start and end lines, the
// single-instance rule and the shutdown on SIGINT and SIGTERM.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "version.h"

extern char** environ;

namespace {

// One run of build/linux/fsw with --dir and a private runtime folder for its marker.
class Program {
public:
    Program(const std::string& dir, const std::string& runtimeDir) {
        std::string exe = FSW_EXE_PATH;
        std::vector<std::string> args = {exe, "--dir", dir};
        std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtimeDir, "LANG=C.UTF-8"};
        static int runs = 0;
        std::string errPath = runtimeDir + "/stderr-" + std::to_string(++runs) + ".txt";
        m_errPath = errPath;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(&e[0]);
        envp.push_back(nullptr);
        m_started =
            posix_spawn(&m_pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (m_started && !m_ended) {
            kill(m_pid, SIGKILL);
            Wait(5000);
        }
    }
    bool Started() const { return m_started; }
    void Signal(int signal) { kill(m_pid, signal); }
    // The exit code, or -1 when the program did not end in time.
    int Wait(unsigned milliseconds) {
        int status = 0;
        bool ended =
            WaitUntil([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, milliseconds);
        if (!ended)
            return -1;
        m_ended = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Stderr() const { return ReadFileBytes(m_errPath); }

private:
    pid_t m_pid = 0;
    bool m_started = false;
    bool m_ended = false;
    std::string m_errPath;
};

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
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(VersionLine("起動"), Message(lines.front()));
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
}

TEST_F(ProgramTest, ASecondCopyIsRefusedWithExitCode2WithoutTouchingTheLog) {
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

}  // namespace
