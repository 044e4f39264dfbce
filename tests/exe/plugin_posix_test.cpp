// The check plugin as a monitoring engine runs it: exit codes and the one-line grammar
// for every state, the limits at their exact values, quoting, time-out and usage, against
// a peer that answers with chosen sizes.
#include <gtest/gtest.h>

#include <string>

#include "mlib/mvolumes.h"
#include "tests/support/app_fixture.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/fake_growth.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"

namespace {

const uint64_t MB = 1048576;

std::string SizesReply(uint64_t freeBytes, uint64_t totalBytes) {
    return WireHeader(1825, 2, 0, 256, 16) + Be64(freeBytes) + Be64(totalBytes);
}

TEST(PluginRun, ExitCodesAndTheLineForEachState) {
    const std::string perf = ";524288000:;104857600:;0;1048576000\n";
    const struct {
        std::string path;
        std::string reply;
        int exitCode;
        std::string line;
    } cases[] = {
        {"/x", SizesReply(500 * MB + 1, 1000 * MB), 0,
         "FSW OK - 1 path, least free /x 50.0 % (500.0 MB of 1000.0 MB) | '/x'=524288001B" + perf},
        {"/x", SizesReply(500 * MB, 1000 * MB), 1,
         "FSW WARNING - 1 path, 1 warning, worst /x 50.0 % (500.0 MB of 1000.0 MB) | "
         "'/x'=524288000B" +
             perf},
        {"it's", SizesReply(100 * MB, 1000 * MB), 2,
         "FSW CRITICAL - 1 path, 1 critical, worst it's 10.0 % (100.0 MB of 1000.0 MB) | "
         "'it''s'=104857600B" +
             perf},
        {"/x", WireHeader(1825, 2, 0, 512, 0), 3,
         "FSW UNKNOWN - 1 path, 1 unknown, /x: the server cannot measure it\n"},
        {"/x", WireHeader(2118, 2, 0, 256, 16) + Be64(1) + Be64(2), 3,
         "FSW UNKNOWN - 1 path, 1 unknown, /x: bad reply\n"},
    };
    TempDir runtime;
    for (const auto& c : cases) {
        FakeServer server;
        server.Serve(12 + static_cast<int>(c.path.size()), c.reply);
        ProgramRun run = RunFsw({"check", "-H", "127.0.0.1", "-p", std::to_string(server.Port()),
                                 "-w", "500MB", "-c", "100MB", c.path},
                                runtime.Path());
        EXPECT_EQ(c.exitCode, run.exitCode) << run.out;
        EXPECT_EQ(c.line, run.out);
        EXPECT_EQ("", run.err);
        EXPECT_EQ(WireHeader(1825, 2, 1, 0, static_cast<uint32_t>(c.path.size())) + c.path,
                  server.Received());
    }
}

// The path travels as Shift-JIS; a closed port is UNKNOWN for its path while the others
// count; the worst decides.
TEST(PluginRun, PathsAreAskedEachAndTheWorstDecides) {
    TempDir runtime;
    FakeServer server;
    server.Serve(12 + 3, SizesReply(10 * MB, 1000 * MB));  // the path is 3 bytes in Shift-JIS
    ProgramRun run = RunFsw({"check", "-H", "127.0.0.1", "-p", std::to_string(server.Port()), "-w",
                             "20%", "-c", "0%", "/表"},
                            runtime.Path());
    EXPECT_EQ(1, run.exitCode) << run.out;
    EXPECT_EQ(WireHeader(1825, 2, 1, 0, 3) + "/\x95\x5C", server.Received());
    EXPECT_EQ(0u, run.out.find("FSW WARNING - 1 path, 1 warning, worst /表 1.0 % ")) << run.out;

    uint16_t closed = FreePort();
    run = RunFsw({"check", "-H", "127.0.0.1", "-p", std::to_string(closed), "-w", "20%", "-c", "1%",
                  "/a", "/b"},
                 runtime.Path());
    EXPECT_EQ(3, run.exitCode);
    EXPECT_EQ("FSW UNKNOWN - 2 paths, 2 unknown, /a: connection refused\n", run.out);
}

TEST(PluginRun, TheTimeOutBoundsTheWholeRun) {
    TempDir runtime;
    BlackHoleServer silent;
    ProgramRun run = RunFsw({"check", "-H", "127.0.0.1", "-p", std::to_string(silent.Port()), "-t",
                             "1", "-w", "20%", "-c", "1%", "/x"},
                            runtime.Path(), 5000);
    EXPECT_EQ(3, run.exitCode);
    EXPECT_EQ(0u, run.out.find("FSW UNKNOWN - ")) << run.out;
    EXPECT_EQ(1u, SplitLines(run.out).size()) << run.out;
}

// The conventions of the plugin guidelines: the version line with UNKNOWN, -v's long
// output after the first line, and limits with decimals.
TEST(PluginRun, VersionVerboseOutputAndDecimalLimits) {
    TempDir runtime;
    for (const char* version : {"-V", "--version"}) {
        ProgramRun run = RunFsw({"check", version}, runtime.Path());
        EXPECT_EQ(3, run.exitCode) << version;
        EXPECT_EQ(RunFsw({"--version"}, runtime.Path()).out, run.out) << version;
        EXPECT_EQ(1u, SplitLines(run.out).size()) << run.out;
    }

    // 55 MB of 1000 MB free is 5.5 %: at the warning level, above the critical 0.05 GB.
    FakeServer server;
    server.Serve(12 + 2, SizesReply(55 * MB, 1000 * MB));
    ProgramRun run = RunFsw({"check", "-H", "127.0.0.1", "-p", std::to_string(server.Port()), "-v",
                             "-w", "5.5%", "-c", "0.05GB", "/x"},
                            runtime.Path());
    EXPECT_EQ(1, run.exitCode) << run.out;
    EXPECT_EQ(
        "FSW WARNING - 1 path, 1 warning, worst /x 5.5 % (55.0 MB of 1000.0 MB) | "
        "'/x'=57671680B;57671680:;53687091:;0;1048576000\n"
        "/x: WARNING 5.5 % (55.0 MB of 1000.0 MB)\n",
        run.out);

    run = RunFsw({"check", "-H", "127.0.0.1", "-p", std::to_string(FreePort()), "-v", "-w", "5%",
                  "-c", "1%", "/a", "/b"},
                 runtime.Path());
    EXPECT_EQ(3, run.exitCode);
    EXPECT_EQ(
        "FSW UNKNOWN - 2 paths, 2 unknown, /a: connection refused\n"
        "/a: UNKNOWN connection refused\n/b: UNKNOWN connection refused\n",
        run.out);
}

TEST(PluginRun, BadArgumentsAreUnknownWithTheUsage) {
    TempDir runtime;
    ProgramRun run = RunFsw({"check", "-H", "h", "-w", "5%", "-c", "10%", "/"}, runtime.Path());
    EXPECT_EQ(3, run.exitCode);
    std::vector<std::string> lines = SplitLines(run.out);
    ASSERT_EQ(6u, lines.size()) << run.out;
    EXPECT_EQ("FSW UNKNOWN - -c is above -w", lines[0]);
    EXPECT_EQ(0u, lines[1].find("Usage: fsw check -H HOST"));
    EXPECT_EQ(0u, lines[5].find("       fsw check --help | --version"));

    run = RunFsw({"check", "--help"}, runtime.Path());
    EXPECT_EQ(0, run.exitCode);
    EXPECT_NE(std::string::npos,
              run.out.find("Exit codes: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN"));
}

// The real server on both families, asked over IPv6 by address, by a name that has only
// an IPv6 address (in /etc/hosts of a private mount namespace), and with the family
// forced each way.
TEST(PluginRun, IPv6AddressesAndNamesWithTheFamilyChosen) {
    TestApp t;
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    TempDir runtime;
    auto check = [&](const std::vector<std::string>& how,
                     const std::vector<std::string>& wrapper = {}) {
        std::vector<std::string> args = {"check"};
        args.insert(args.end(), how.begin(), how.end());
        std::vector<std::string> rest = {"-p", std::to_string(port), "-w", "1B", "-c",
                                         "0B", t.dir.Path()};
        args.insert(args.end(), rest.begin(), rest.end());
        return RunFsw(args, runtime.Path(), 20000, wrapper);
    };
    for (const std::vector<std::string>& how : std::vector<std::vector<std::string>>{
             {"-6", "-H", "::1"}, {"-H", "[::1]"}, {"-4", "-H", "127.0.0.1"}}) {
        ProgramRun run = check(how);
        EXPECT_EQ(0, run.exitCode) << how[1] << ": " << run.out << run.err;
        EXPECT_EQ(0u, run.out.find("FSW OK - 1 path, least free ")) << run.out;
    }
    for (const std::vector<std::string>& how :
         std::vector<std::vector<std::string>>{{"-4", "-H", "::1"}, {"-6", "-H", "127.0.0.1"}}) {
        ProgramRun run = check(how);
        EXPECT_EQ(3, run.exitCode) << how[2];
        EXPECT_EQ("FSW UNKNOWN - 1 path, 1 unknown, " + t.dir.Path() + ": no address for the host\n",
                  run.out);
    }

    std::string hosts = runtime.File("hosts");
    // The C library answers an IPv4 lookup of a name on ::1 with 127.0.0.1, so the
    // refusal by -4 is shown with a name on an address of another machine.
    WriteFileBytes(hosts, "::1 v6only.test\nfd00::abcd v6far.test\n");
    const std::vector<std::string> privateHosts = {
        "/usr/bin/unshare",
        "-m",
        "/bin/sh",
        "-c",
        "/bin/mount --bind \"$0\" /etc/hosts || exit 97; exec \"$@\"",
        hosts};
    ProgramRun run = check({"-H", "v6only.test"}, privateHosts);
    if (run.exitCode == 97 || run.err.find("unshare:") != std::string::npos) {
        GTEST_SKIP() << "no private mount namespace here: " << run.err;
    }
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_EQ(0u, run.out.find("FSW OK - 1 path, least free ")) << run.out;
    run = check({"-4", "-H", "v6far.test"}, privateHosts);
    EXPECT_EQ(3, run.exitCode) << run.out;
    EXPECT_EQ("FSW UNKNOWN - 1 path, 1 unknown, " + t.dir.Path() + ": no address for the host\n",
              run.out);
}

std::vector<std::string> g_listed;
bool ListForTest(bool, std::vector<std::string>* paths) {
    *paths = g_listed;
    return true;
}

// --all against the real server: each listed volume but the one a path names, the
// unmeasurable one unknown; -p '*' against a server of the earlier protocol.
TEST(PluginRun, EveryVolumeTheServerLists) {
    TestApp t;
    MSetVolumeListHook(ListForTest);
    g_listed = {"/", t.dir.Path(), "/no/such"};
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    TempDir runtime;
    ProgramRun run = RunFsw({"check", "-H", "127.0.0.1", "-p", std::to_string(port), "-w", "1B",
                             "-c", "0B", "--all", t.dir.Path()},
                            runtime.Path());
    MSetVolumeListHook(nullptr);
    EXPECT_EQ(3, run.exitCode) << run.out;
    EXPECT_EQ(0u, run.out.find("FSW UNKNOWN - 3 paths, 1 unknown, least free " + t.dir.Path()))
        << run.out;
    EXPECT_NE(std::string::npos, run.out.find(" '/'=")) << run.out;

    FakeServer old;
    old.Serve(12, "");
    run = RunFsw({"check", "-H", "127.0.0.1", "-p", std::to_string(old.Port()), "-p", "*", "-w",
                  "1B", "-c", "0B"},
                 runtime.Path());
    EXPECT_EQ(3, run.exitCode);
    EXPECT_EQ(
        "FSW UNKNOWN - 1 path, 1 unknown, *: the server gave no list (an older version, "
        "or this client is not allowed)\n",
        run.out);
}

// --growth prints the folders that grew under the path and nothing above it; a WARNING path
// is followed by its folders as long output; a server without scans says so, and is OK.
TEST(PluginRun, GrowthOfAPathAndAsLongOutputOfAWarning) {
    FakeGrowthSource source(SampleGrowthReport(1800000000));
    TestApp t;
    uint16_t port = t.StartServer(0, &source);
    ASSERT_NE(0, port);
    TempDir runtime;
    std::string p = std::to_string(port);
    ProgramRun run = RunFsw({"check", "--growth", "-H", "127.0.0.1", "-p", p, "/srv"},
                            runtime.Path());
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ(0u, run.out.find("127.0.0.1 (" + p + ") /srv:\n比較したスキャン: ")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\n  /srv/video/2026\t50.0 GB\t+100.0 MB\t+1.0 GB\n"))
        << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("/home")) << run.out;

    run = RunFsw({"check", "-H", "127.0.0.1", "-p", p, "-w", "100%", "-c", "0%", "/"},
                 runtime.Path());
    EXPECT_EQ(1, run.exitCode) << run.out;
    EXPECT_NE(std::string::npos,
              run.out.find("\n/: growth /srv/video/2026 +1.0 GB in 7 days, +100.0 MB in 1 day, "
                           "now 50.0 GB\n/: growth /srv/mail "))
        << run.out;
    EXPECT_EQ(2, source.Asked());

    FakeServer old;
    old.Serve(12 + 4, "");
    run = RunFsw({"check", "--growth", "-H", "127.0.0.1", "-p", std::to_string(old.Port()), "/srv"},
                 runtime.Path());
    EXPECT_EQ(WireHeader(1825, 2, 3, 0, 4) + "/srv", old.Received());
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ("127.0.0.1 (" + std::to_string(old.Port()) +
                  ") /srv: このサーバはフォルダの増加を報告しません\n",
              run.out);
}

}  // namespace
