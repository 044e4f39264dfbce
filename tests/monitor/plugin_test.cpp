// The check plugin: limits, usage errors, grading at the limits and the summary of
// several paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/host_entry.h"
#include "monitor/plugin.h"

namespace {

const uint64_t MB = 1048576;
const uint64_t GB = 1073741824;

// Per cents are kept in per mille, amounts in bytes rounded down.
TEST(Plugin, LimitsAreWrittenAsInTheHostListWithDecimals) {
    const struct {
        const char* text;
        bool valid;
        bool percent;
        uint64_t amount;
    } cases[] = {
        {"20%", true, true, 200},
        {"100%", true, true, 1000},
        {"100.0%", true, true, 1000},
        {"5.5%", true, true, 55},
        {"0.1%", true, true, 1},
        {"500MB", true, false, 500 * MB},
        {"2gb", true, false, 2 * GB},
        {"1.5GB", true, false, 3 * GB / 2},
        {"0.001KB", true, false, 1},
        {"0.000000001GB", true, false, 1},
        {"4294967295.999999999GB", true, false, 4294967295 * GB + GB - 2},
        {"100KB", true, false, 102400},
        {"4096B", true, false, 4096},
        {"4294967295B", true, false, 4294967295u},
        {"101%", false, false, 0},
        {"100.1%", false, false, 0},
        {"5.55%", false, false, 0},  // finer than the grades' tenth of a per cent
        {"1.0000000001GB", false, false, 0},
        {"1.5B", false, false, 0},
        {"4294967296B", false, false, 0},
        {"20", false, false, 0},
        {"20 %", false, false, 0},
        {"-5MB", false, false, 0},
        {".5GB", false, false, 0},
        {"5.GB", false, false, 0},
        {"1.2.3GB", false, false, 0},
        {"1,5GB", false, false, 0},
        {"%", false, false, 0},
        {"", false, false, 0},
    };
    for (const auto& c : cases) {
        FreeLimit limit = {false, 0};
        ASSERT_EQ(c.valid, ParseFreeLimit(c.text, &limit)) << c.text;
        if (c.valid) {
            EXPECT_EQ(c.percent, limit.percent) << c.text;
            EXPECT_EQ(c.amount, limit.amount) << c.text;
        }
    }
}

TEST(Plugin, BadArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"-H", "h", "-w", "20%", "/"},                  // no -c
        {"-H", "h", "-w", "10%", "-c", "20%", "/"},     // -c above -w
        {"-H", "h", "-w", "1GB", "-c", "1025MB", "/"},  // the same in bytes
        {"-H", "h", "-w", "5.5%", "-c", "5.6%", "/"},   // and with decimals
        {"-H", "h", "-w", "1.5GB", "-c", "1537MB", "/"},
        {"-H", "h", "-w", "20%", "-c", "10%"},  // no path
        {"-w", "20%", "-c", "10%", "/"},        // no host
        {"-H", "h", "-p", "0", "-w", "20%", "-c", "10%", "/"},
        {"-H", "h", "-p", "65536", "-w", "20%", "-c", "10%", "/"},
        {"-H", "h", "-t", "x", "-w", "20%", "-c", "10%", "/"},
        {"-H", "h", "-x", "-w", "20%", "-c", "10%", "/"},
        {"-H", "h", "-w", "20%", "-c"},
        {"--list", "-H", "h"},
        {"--dir", "/tmp", "-H", "h", "-w", "20%", "-c", "10%", "/"},
        {"--list", "-6"},
        {"--list", "--all"},
        {"-H", "h:50801", "-w", "20%", "-c", "10%", "/"},
        {"-H", "[::1", "-w", "20%", "-c", "10%", "/"},
        {"--growth", "-H", "h"},                         // no path
        {"--growth", "-H", "h", "/a", "/b"},             // two
        {"--growth", "-H", "h", "-w", "20%", "/"},       // a limit
        {"--growth", "/"},                               // no host
    };
    for (const std::vector<std::string>& args : bad) {
        PluginOptions options;
        std::string problem;
        EXPECT_FALSE(ParsePluginArguments(args, &options, &problem)) << args[1];
        EXPECT_FALSE(problem.empty());
    }
}

TEST(Plugin, MinusFourAndMinusSixChooseTheFamily) {
    const struct {
        std::vector<std::string> args;
        MAddressFamily family;
    } cases[] = {
        {{"-H", "::1", "-w", "2%", "-c", "1%", "/"}, M_FAMILY_ANY},
        {{"-4", "-H", "h", "-w", "2%", "-c", "1%", "/"}, M_FAMILY_IPV4},
        {{"-H", "[::1]", "-6", "-w", "2%", "-c", "1%", "/"}, M_FAMILY_IPV6},
        {{"-6", "-4", "-H", "h", "-w", "2%", "-c", "1%", "/"}, M_FAMILY_IPV4},  // the last wins
    };
    for (const auto& c : cases) {
        PluginOptions options;
        std::string problem;
        ASSERT_TRUE(ParsePluginArguments(c.args, &options, &problem)) << problem;
        EXPECT_EQ(c.family, options.family) << c.args[0];
        EXPECT_EQ((std::vector<std::string>{"/"}), options.paths);
    }
}

TEST(Plugin, AWholeCommandLine) {
    PluginOptions options;
    std::string problem;
    ASSERT_TRUE(ParsePluginArguments({"-H", "srv", "-p", "50900", "-t", "3", "-v", "-w", "1GB",
                                      "-c", "20%", "C:\\", "--", "-x", "-V"},
                                     &options, &problem))
        << problem;
    EXPECT_EQ("srv", options.host);
    EXPECT_EQ(50900, options.port);
    EXPECT_EQ(3u, options.timeout);
    EXPECT_EQ(1u, options.verbose);
    EXPECT_FALSE(options.version);
    EXPECT_FALSE(options.warning.percent);
    EXPECT_EQ(GB, options.warning.amount);
    EXPECT_EQ(200u, options.critical.amount);
    EXPECT_EQ((std::vector<std::string>{"C:\\", "-x", "-V"}), options.paths);

    // --version, as --help, ends the parse: nothing after it can be a usage error.
    for (const char* version : {"-V", "--version"}) {
        PluginOptions asked;
        ASSERT_TRUE(ParsePluginArguments({"--list", version, "-x"}, &asked, &problem)) << version;
        EXPECT_TRUE(asked.version);
    }
}

// At the limit counts as below; a per cent is compared in per mille of the total.
TEST(Plugin, FreeSpaceAtALimitCountsAsBelowIt) {
    const FreeLimit w500MB = {false, 500 * MB};
    const FreeLimit c100MB = {false, 100 * MB};
    const FreeLimit w20 = {true, 200};
    const FreeLimit c5 = {true, 50};
    const FreeLimit w5_5 = {true, 55};
    const FreeLimit c1_5GB = {false, 3 * GB / 2};
    const struct {
        uint64_t freeBytes;
        uint64_t totalBytes;
        FreeLimit warning;
        FreeLimit critical;
        PluginState state;
    } cases[] = {
        {500 * MB + 1, 1000 * MB, w500MB, c100MB, PLUGIN_OK},
        {500 * MB, 1000 * MB, w500MB, c100MB, PLUGIN_WARNING},
        {100 * MB + 1, 1000 * MB, w500MB, c100MB, PLUGIN_WARNING},
        {100 * MB, 1000 * MB, w500MB, c100MB, PLUGIN_CRITICAL},
        {201, 1000, w20, c5, PLUGIN_OK},
        {200, 1000, w20, c5, PLUGIN_WARNING},
        {50, 1000, w20, c5, PLUGIN_CRITICAL},
        {0, 0, w20, c5, PLUGIN_CRITICAL},
        {300 * MB, 1000 * MB, w500MB, c5, PLUGIN_WARNING},
        {56, 1000, w5_5, c5, PLUGIN_OK},
        {55, 1000, w5_5, c5, PLUGIN_WARNING},
        {3 * GB / 2 + 1, 100 * GB, w5_5, c1_5GB, PLUGIN_WARNING},
        {3 * GB / 2, 100 * GB, w5_5, c1_5GB, PLUGIN_CRITICAL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.state, GradeFreeBytes(c.freeBytes, c.totalBytes, c.warning, c.critical))
            << c.freeBytes << " of " << c.totalBytes;
    }
}

PathReport Measured(const std::string& label, PluginState state, uint64_t freeBytes,
                    uint64_t totalBytes) {
    PathReport report;
    report.label = label;
    report.state = state;
    report.measured = true;
    report.freeBytes = freeBytes;
    report.totalBytes = totalBytes;
    report.warningBytes = totalBytes / 5;
    report.criticalBytes = totalBytes / 20;
    return report;
}

TEST(Plugin, TheLineSummarisesThenGivesPerformanceDataPerMeasuredPath) {
    PathReport lost;
    lost.label = "/gone";
    lost.reason = "no connection";
    std::vector<PathReport> reports = {Measured("C:\\", PLUGIN_OK, 825 * GB / 10, 200 * GB),
                                       Measured("it's|x", PLUGIN_OK, 150 * GB, 200 * GB)};
    PluginState state = PLUGIN_UNKNOWN;
    EXPECT_EQ(
        "FSW OK - 2 paths, least free C:\\ 41.2 % (82.5 GB of 200.0 GB) | "
        "'C:\\'=88583700480B;42949672960:;10737418240:;0;214748364800 "
        "'it''s\xC2\xA6x'=161061273600B;42949672960:;10737418240:;0;214748364800\n",
        PluginLine(reports, &state));
    EXPECT_EQ(PLUGIN_OK, state);

    reports.push_back(lost);
    reports.push_back(Measured("/full", PLUGIN_CRITICAL, 1024, 200 * GB));
    std::string line = PluginLine(reports, &state);
    EXPECT_EQ(PLUGIN_CRITICAL, state);
    EXPECT_EQ(0u, line.find("FSW CRITICAL - 4 paths, 1 critical, 1 unknown, worst /full 0.0 % "
                            "(1.0 KB of 200.0 GB) | "))
        << line;

    EXPECT_EQ("FSW UNKNOWN - 1 path, 1 unknown, /gone: no connection\n",
              PluginLine({lost}, &state));
    EXPECT_EQ(PLUGIN_UNKNOWN, state);

    // -v: a line per path, in order, that no path can break or turn into performance data.
    EXPECT_EQ(
        "C:\\: OK 41.2 % (82.5 GB of 200.0 GB)\n"
        "it's\xC2\xA6x: OK 75.0 % (150.0 GB of 200.0 GB)\n"
        "/gone: UNKNOWN no connection\n"
        "/full: CRITICAL 0.0 % (1.0 KB of 200.0 GB)\n",
        PluginDetails(reports));
}

// An "=" would end a label early: it is written as U+FF1D, in the label only.
TEST(Plugin, AnEqualsSignInAPathIsReplacedInItsLabel) {
    EXPECT_EQ(
        "'/a\xEF\xBC\x9D"
        "b''c\xEF\xBC\x9D'",
        PerfLabel("/a=b'c="));
    PluginState state = PLUGIN_UNKNOWN;
    std::string line = PluginLine({Measured("/k=v", PLUGIN_OK, 50, 100)}, &state);
    EXPECT_EQ(0u, line.find("FSW OK - 1 path, least free /k=v 50.0 % ")) << line;
    EXPECT_NE(std::string::npos, line.find("| '/k\xEF\xBC\x9Dv'=50B;")) << line;
}

// Two servers of one host with the same path are two labels; an IPv6 address is
// bracketed so that its colons are not taken for the port's.
TEST(Plugin, ListLabelsNameHostPortAndPath) {
    const struct {
        const char* host;
        uint16_t port;
        const char* label;
    } cases[] = {
        {"srv", 50801, "srv:50801:/data"},
        {"srv", 50802, "srv:50802:/data"},
        {"::1", 50801, "[::1]:50801:/data"},
        // one written form for every way to write an IPv6 address; names as they stand
        {"[::1]", 50801, "[::1]:50801:/data"},
        {"0:0:0:0:0:0:0:1", 50801, "[::1]:50801:/data"},
        {"[FD00::0010]", 50801, "[fd00::10]:50801:/data"},
        {"Srv", 50801, "Srv:50801:/data"},
    };
    for (const auto& c : cases) {
        CheckResult result = {};
        result.status = STATUS_NORMAL;
        strcpy(result.host, c.host);
        strcpy(result.path, "/data");
        result.port = c.port;
        EXPECT_EQ(c.label, ReportOfResult(result).label);
    }
}

}  // namespace
