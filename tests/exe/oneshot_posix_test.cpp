// One-shot runs of the real program beside a running copy that serves the disks: --once
// prints the cycle as the console does and exits by the worst grade, check --list is the
// plugin over the host list; neither writes the log nor runs the notification command,
// and --once writes the metrics, and fails when its history line cannot be written.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "mlib/mfileops.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"

namespace {

class OneShotTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = FreePort();
        WriteFileBytes(dir.File("fsw.ini"),
                       "[fsw]\nSERVER=1\nSVPORT=" + std::to_string(port) +
                           "\nCLIENT=0\nNOTI=1\nPROMFILE=fsw.prom\nNOTIFYCMD=touch '" +
                           dir.File("notified") + "'\n");
        WriteFileBytes(dir.File("fsw.lst"), "");
        server.reset(new Program(dir.Path(), runtime.Path()));
        ASSERT_TRUE(WaitForListening(port, 10000));
    }
    void TearDown() override {
        EXPECT_FALSE(WaitUntil([&] { return FileExists(dir.File("notified")); }, 1000))
            << "the notification command is the running copy's, whose cycles are off";
        server->Signal(SIGTERM);
        EXPECT_NE(-1, server->Wait(10000)) << "the serving copy ends";
    }
    std::string Target(uint16_t targetPort, const char* threshold, const char* unit) {
        return "0\t127.0.0.1\t" + std::to_string(targetPort) + "\t" + dir.Path() + "\t" +
               threshold + "\t" + unit + "\t説明\n";
    }

    TempDir dir;
    TempDir runtime;
    uint16_t port = 0;
    std::unique_ptr<Program> server;
};

// Normal only, then an error, a caution (any disk is at or below 100 %) and a danger (no
// disk has 4000000000 GB free): the worst decides in the order danger, caution, error.
TEST_F(OneShotTest, OnceExitsByTheWorstGradeAndLeavesTheLogAlone) {
    uint16_t closed = FreePort();
    const struct {
        std::string list;
        int exitCode;
        bool balloon;
        size_t withoutScans;  // rows at caution or worse, whose server keeps no folder scans
    } cases[] = {
        {Target(port, "0", "0"), 0, false, 0},
        {Target(port, "0", "0") + Target(closed, "10", "0"), 3, true, 0},
        {Target(closed, "10", "0") + Target(port, "100", "0"), 1, true, 1},
        {Target(port, "100", "0") + Target(port, "4000000000", "3"), 2, true, 2},
    };
    for (const auto& c : cases) {
        WriteFileBytes(dir.File("fsw.lst"), c.list);
        ProgramRun run = RunFsw({"--dir", dir.Path(), "--once"}, runtime.Path());
        EXPECT_EQ(c.exitCode, run.exitCode) << c.list;
        std::vector<std::string> lines = SplitLines(run.out);
        size_t targets = SplitLines(c.list).size();
        ASSERT_EQ(1 + targets + c.withoutScans + (c.balloon ? 1 : 0), lines.size()) << run.out;
        EXPECT_EQ("状態\t最終確認日時\tホスト\tパス\tしきい値\t空き領域\t説明\t満杯予測", lines[0]);
        EXPECT_EQ(c.exitCode == 3 || c.exitCode == 1,
                  run.err.find("に接続できません") != std::string::npos)
            << run.err;
        EXPECT_NE(std::string::npos,
                  ReadFileBytes(dir.File("fsw.prom"))
                      .find("\nfsw_cycle_targets " + std::to_string(targets) + "\n"));
    }
    // The running copy logs the queries it answers; the one-shot runs write nothing there.
    std::string log = ReadFileBytes(dir.File("fsw.log"));
    EXPECT_EQ(std::string::npos, log.find("に接続できません"));
    EXPECT_EQ(log.find(" Version "), log.rfind(" Version ")) << "one start line";

    // The history's lock held by another writer all along: the run says that its line was
    // not written and does not pass for a good one.
    MFileLock held;
    ASSERT_EQ(MFileLock::HELD, held.Lock(dir.File("lastchk.txt.lock").c_str(), 0));
    WriteFileBytes(dir.File("fsw.lst"), Target(port, "0", "0"));
    ProgramRun run = RunFsw({"--dir", dir.Path(), "--once"}, runtime.Path());
    EXPECT_EQ(3, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("1行を書き込めませんでした")) << run.err;
}

TEST_F(OneShotTest, CheckListIsThePluginOverTheHostList) {
    WriteFileBytes(dir.File("fsw.lst"), Target(port, "0", "0") + Target(port, "4000000000", "3") +
                                            Target(port, "1", "4"));
    ProgramRun run = RunFsw({"check", "--list", "--dir", dir.Path()}, runtime.Path());
    EXPECT_EQ(2, run.exitCode);
    std::string label = "'127.0.0.1:" + std::to_string(port) + ":" + dir.Path() + "'";
    std::regex line(
        "FSW CRITICAL - 3 paths, 1 critical, worst 127\\.0\\.0\\.1:[0-9]+:[^ ]+ [0-9.]+ % "
        "\\([0-9.]+ [KMGT]?B of [0-9.]+ [KMGT]?B\\) \\|( " +
        label + "=[0-9]+B;[0-9]+:;[0-9]+:;0;[0-9]+){3}\n");
    EXPECT_TRUE(std::regex_match(run.out, line)) << run.out;
    EXPECT_EQ("", run.err);

    WriteFileBytes(dir.File("fsw.lst"), "");
    run = RunFsw({"check", "--list", "--dir", dir.Path()}, runtime.Path());
    EXPECT_EQ(3, run.exitCode);
    EXPECT_EQ("FSW UNKNOWN - no targets in the host list " + dir.File("fsw.lst") + "\n", run.out);
}

// A target that trickles its reply cannot hide a critical one: at the run's deadline
// what was measured is reported and the rest counts as UNKNOWN.
TEST_F(OneShotTest, CheckListReportsWhatWasMeasuredByItsDeadline) {
    FakeServer trickling;  // a good reply, a byte a second: whole after 28 s
    trickling.Serve(12 + static_cast<int>(dir.Path().size()),
                    WireHeader(1825, 2, 0, 256, 16) + Be64(900) + Be64(1000), 0, 1000);
    WriteFileBytes(dir.File("fsw.lst"),
                   Target(port, "4000000000", "3") + Target(trickling.Port(), "10", "0"));
    ProgramRun run = RunFsw({"check", "--list", "--dir", dir.Path(), "-t", "3"}, runtime.Path());
    EXPECT_EQ(2, run.exitCode) << run.out;
    EXPECT_EQ(0u, run.out.find("FSW CRITICAL - 2 paths, 1 critical, 1 unknown, worst 127.0.0.1:" +
                               std::to_string(port) + ":"))
        << run.out;
    EXPECT_EQ(1u, SplitLines(run.out).size()) << run.out;
}

// Many paths to one server are asked a few at a time, so that the server's share for
// one peer closes none of them.
TEST_F(OneShotTest, CheckAsksManyPathsOfOneServerWithinItsShare) {
    std::vector<std::string> args = {"check", "-H", "127.0.0.1", "-p", std::to_string(port),
                                     "-w",    "0%", "-c",        "0%"};
    const size_t paths = 300;
    for (size_t i = 0; i < paths; i++) {
        args.push_back(dir.Path());
    }
    ProgramRun run = RunFsw(args, runtime.Path(), 60000);
    EXPECT_EQ(0, run.exitCode) << run.out.substr(0, 300);
    EXPECT_EQ(0u, run.out.find("FSW OK - 300 paths, least free ")) << run.out.substr(0, 300);
}

// A cron job must not take a check of nothing for a good one.
TEST_F(OneShotTest, OnceWithNothingToCheckIsUnknown) {
    const struct {
        const char* what;
        bool exists;
        std::string list;
    } cases[] = {
        {"empty", true, ""},
        {"missing", false, ""},
        {"all excluded", true, "1" + Target(port, "0", "0").substr(1)},
    };
    for (const auto& c : cases) {
        std::remove(dir.File("fsw.lst").c_str());
        if (c.exists) {
            WriteFileBytes(dir.File("fsw.lst"), c.list);
        }
        ProgramRun run = RunFsw({"--dir", dir.Path(), "--once"}, runtime.Path());
        EXPECT_EQ(3, run.exitCode) << c.what;
        EXPECT_NE(std::string::npos,
                  run.err.find("チェック対象がありません。ホスト一覧を確認してください。(File=" +
                               dir.File("fsw.lst") + ")"))
            << c.what << run.err;
    }
}

}  // namespace
