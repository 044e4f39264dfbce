// The check plugin: limits, usage errors, grading at the limits and the summary of
// several paths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/host_entry.h"
#include "monitor/plugin.h"

namespace {

TEST(Plugin, LimitsAreWrittenAsInTheHostList) {
    const struct {
        const char* text;
        bool valid;
        uint32_t threshold;
        uint32_t unit;
    } cases[] = {
        {"20%", true, 20, UNIT_PERCENT},
        {"100%", true, 100, UNIT_PERCENT},
        {"500MB", true, 500, UNIT_MB},
        {"2gb", true, 2, UNIT_GB},
        {"100KB", true, 100, UNIT_KB},
        {"4096B", true, 4096, 4},
        {"4294967295B", true, 4294967295u, 4},
        {"101%", false, 0, 0},
        {"4294967296B", false, 0, 0},
        {"20", false, 0, 0},
        {"20 %", false, 0, 0},
        {"-5MB", false, 0, 0},
        {"1.5GB", false, 0, 0},
        {"%", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const auto& c : cases) {
        FreeLimit limit = {0, 0};
        ASSERT_EQ(c.valid, ParseFreeLimit(c.text, &limit)) << c.text;
        if (c.valid) {
            EXPECT_EQ(c.threshold, limit.threshold) << c.text;
            EXPECT_EQ(c.unit, limit.unit) << c.text;
        }
    }
}

TEST(Plugin, BadArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"-H", "h", "-w", "20%", "/"},                  // no -c
        {"-H", "h", "-w", "10%", "-c", "20%", "/"},     // -c above -w
        {"-H", "h", "-w", "1GB", "-c", "1025MB", "/"},  // the same in bytes
        {"-H", "h", "-w", "20%", "-c", "10%"},          // no path
        {"-w", "20%", "-c", "10%", "/"},                // no host
        {"-H", "h", "-p", "0", "-w", "20%", "-c", "10%", "/"},
        {"-H", "h", "-p", "65536", "-w", "20%", "-c", "10%", "/"},
        {"-H", "h", "-t", "x", "-w", "20%", "-c", "10%", "/"},
        {"-H", "h", "-x", "-w", "20%", "-c", "10%", "/"},
        {"-H", "h", "-w", "20%", "-c"},
        {"--list", "-H", "h"},
        {"--dir", "/tmp", "-H", "h", "-w", "20%", "-c", "10%", "/"},
        {"--list", "-6"},
        {"-H", "h:50801", "-w", "20%", "-c", "10%", "/"},
        {"-H", "[::1", "-w", "20%", "-c", "10%", "/"},
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
    ASSERT_TRUE(ParsePluginArguments(
        {"-H", "srv", "-p", "50900", "-t", "3", "-w", "1GB", "-c", "20%", "C:\\", "--", "-x"},
        &options, &problem))
        << problem;
    EXPECT_EQ("srv", options.host);
    EXPECT_EQ(50900, options.port);
    EXPECT_EQ(3u, options.timeout);
    EXPECT_EQ(UNIT_GB, options.warning.unit);
    EXPECT_EQ(20u, options.critical.threshold);
    EXPECT_EQ((std::vector<std::string>{"C:\\", "-x"}), options.paths);
}

// At the limit counts as below; a per cent is compared in per mille of the total.
TEST(Plugin, FreeSpaceAtALimitCountsAsBelowIt) {
    const FreeLimit w500MB = {500, UNIT_MB};
    const FreeLimit c100MB = {100, UNIT_MB};
    const FreeLimit w20 = {20, UNIT_PERCENT};
    const FreeLimit c5 = {5, UNIT_PERCENT};
    const uint64_t MB = 1048576;
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
    const uint64_t GB = 1073741824;
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
}

}  // namespace
