// Commands run by /bin/sh -c: the variables and the input reach them, their exit code and
// first line come back; the bound ends them with their children; a child that keeps the
// output open does not hold the run; the program's descriptors stay its own. Also the
// shell's commands for the shared tests (mcommand_test.cpp).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "mlib/mcommand.h"
#include "tests/support/command_lines.h"
#include "tests/support/test_support.h"

TestCommand FloodingCommand() {
    return {"head -c 50000000 /dev/zero; exit 7", {}};
}

TestCommand NonReadingCommand() {
    return {"exit 0", {}};
}

TestCommand CopyingCommand(const std::string& file) {
    return {"cat > '" + file + "'", {}};
}

namespace {

// True once the process is gone or only a zombie.
bool Gone(pid_t pid) {
    std::string stat = ReadFileBytes("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0);
}

// Runs "before; sleep seconds & (its pid to a file); after" and gives the sleeping child's
// pid, 0 if it never wrote it.
MCommandResult RunWithChild(const std::string& before, unsigned seconds, const std::string& after,
                            unsigned timeoutMs, pid_t* child) {
    TempDir dir;
    std::string pidFile = dir.File("child.pid");
    MCommandResult result = MRunCommand(
        before + "sleep " + std::to_string(seconds) + " & echo $! > '" + pidFile + "'; " + after,
        {}, "", timeoutMs);
    std::string text;
    WaitUntil([&] { return !(text = ReadFileBytes(pidFile)).empty(); }, 5000);
    *child = static_cast<pid_t>(atoi(text.c_str()));
    return result;
}

TEST(MRunCommand, VariablesAndInputReachItsExitCodeAndFirstLineComeBack) {
    MCommandResult result = MRunCommand(
        "printf '%s|%s|%s\\n' \"$FSW_TEXT\" \"$HOME\" \"$(cat)\"; echo second; exit 3",
        {{"FSW_TEXT", "空き領域 $(x) `y`"}, {"HOME", "/replaced"}}, "入力\n二行目", 10000);
    EXPECT_EQ(M_COMMAND_EXITED, result.state);
    EXPECT_EQ(3, result.exitCode);
    EXPECT_EQ("空き領域 $(x) `y`|/replaced|入力", result.firstLine)
        << "the variables as bytes, not as shell text; the line ends at the first line feed";
}

TEST(MRunCommand, ASignalEndingItGives128PlusTheSignal) {
    MCommandResult result = MRunCommand("kill -TERM $$", {}, "", 10000);
    EXPECT_EQ(M_COMMAND_EXITED, result.state);
    EXPECT_EQ(128 + SIGTERM, result.exitCode);
}

TEST(MRunCommand, ACommandThatNeverEndsIsEndedAtTheBoundWithItsChildren) {
    pid_t child = 0;
    MCommandResult result = RunWithChild("echo started; ", 1000, "wait", 1000, &child);
    EXPECT_EQ(M_COMMAND_TIMED_OUT, result.state);
    EXPECT_EQ("started", result.firstLine);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(WaitUntil([&] { return Gone(child); }, 5000)) << "the shell's child ended too";
}

// It would hold the run until the bound, which then reports a time-out (an unread input:
// mcommand_test.cpp).
TEST(MRunCommand, AChildKeepingTheOutputDoesNotHoldTheRun) {
    pid_t child = 0;
    MCommandResult kept = RunWithChild("", 30, "echo done", 20000, &child);
    EXPECT_EQ(M_COMMAND_EXITED, kept.state);
    EXPECT_EQ("done", kept.firstLine);
    if (child > 0) {
        kill(child, SIGKILL);
    }
}

TEST(MRunCommand, TheProgramsOwnDescriptorsAreNotInherited) {
    int fd = open("/dev/null", O_RDONLY);  // without close-on-exec, as a socket may be
    ASSERT_GE(fd, 3);
    std::string check = "[ -e /proc/$$/fd/" + std::to_string(fd) + " ] && echo open || echo closed";
    MCommandResult result = MRunCommand(check, {}, "", 10000);
    close(fd);
    EXPECT_EQ("closed", result.firstLine);
}

}  // namespace
