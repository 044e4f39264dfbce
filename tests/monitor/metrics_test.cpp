// The cycle's metrics: label escaping, which series a measured and an unmeasured target
// have, one series per label set, and the file's failure logged once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "app/forecast.h"
#include "app/host_entry.h"
#include "mlib/mfileops.h"
#include "monitor/metrics.h"
#include "tests/support/kiv_fixture.h"

namespace {

CheckResult Result(int32_t status, const char* path, const char* description, uint32_t threshold,
                   uint32_t unit, uint64_t freeBytes, uint64_t totalBytes) {
    CheckResult result;
    memset(&result, 0, sizeof result);
    result.status = status;
    CopyField(result.host, sizeof result.host, "fileserver");
    CopyField(result.path, sizeof result.path, path);
    CopyField(result.description, sizeof result.description, description);
    result.port = 50801;
    result.threshold = threshold;
    result.unit = unit;
    result.freeBytes = freeBytes;
    result.totalBytes = totalBytes;
    result.checkTime = 1700000000;
    return result;
}

bool Has(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos;
}

CycleFacts Cycle(double durationSeconds, unsigned targets) {
    CycleFacts cycle;
    cycle.durationSeconds = durationSeconds;
    cycle.targets = targets;
    cycle.endTime = 1700000060;
    cycle.version = "1.2.3.4";
    return cycle;
}

TEST(Metrics, LabelValuesEscapeBackslashQuoteAndLineFeedOnly) {
    EXPECT_EQ("C:\\\\Users\\\\a", EscapeLabelValue("C:\\Users\\a"));
    EXPECT_EQ("say \\\"hi\\\"", EscapeLabelValue("say \"hi\""));
    EXPECT_EQ("two\\nlines\ttab'", EscapeLabelValue("two\nlines\ttab'"));
    EXPECT_EQ(u8"日本語", EscapeLabelValue(u8"日本語"));
}

// Texts of the build's code page come out as UTF-8: Shift-JIS on Windows.
TEST(Metrics, SeriesOfAMeasuredAndAnUnmeasuredTarget) {
    std::vector<CheckResult> results = {
        Result(STATUS_ERROR, "/srv", "", 2, UNIT_GB, 0, 0),
        Result(STATUS_CAUTION, "D:\\データ", "共有", 20, UNIT_PERCENT, 200, 1000),
        Result(STATUS_ERROR, "/pct", "", 20, UNIT_PERCENT, 0, 0),
    };
    std::string text = MakeMetricsText(results, {}, Cycle(0.25, 3));
    const std::string labels =
        u8"{host=\"fileserver\",port=\"50801\",path=\"D:\\\\データ\",description=\"共有\"}";
    const std::string srv = "{host=\"fileserver\",port=\"50801\",path=\"/srv\",description=\"\"}";
    const std::string pct = "{host=\"fileserver\",port=\"50801\",path=\"/pct\",description=\"\"}";
    EXPECT_TRUE(Has(text, "fsw_disk_free_bytes" + labels + " 200")) << text;
    EXPECT_TRUE(Has(text, "fsw_disk_total_bytes" + labels + " 1000"));
    EXPECT_TRUE(Has(text, "fsw_disk_threshold_bytes" + labels + " 200"));
    EXPECT_TRUE(Has(text, "fsw_disk_status" + labels + " 2"));
    EXPECT_TRUE(Has(text, "fsw_disk_up" + labels + " 1"));
    EXPECT_TRUE(Has(text, "fsw_check_timestamp_seconds" + labels + " 1700000000"));

    EXPECT_EQ(std::string::npos, text.find("fsw_disk_free_bytes" + srv));
    EXPECT_TRUE(Has(text, "fsw_disk_threshold_bytes" + srv + " 2147483648")) << "a fixed amount";
    EXPECT_EQ(std::string::npos, text.find("fsw_disk_threshold_bytes" + pct)) << "no total";
    EXPECT_TRUE(Has(text, "fsw_disk_status" + srv + " 5"));
    EXPECT_TRUE(Has(text, "fsw_disk_up" + srv + " 0"));

    EXPECT_TRUE(Has(text, "fsw_cycle_duration_seconds 0.250"));
    EXPECT_TRUE(Has(text, "fsw_cycle_targets 3"));
    EXPECT_TRUE(Has(text, "# TYPE fsw_disk_status gauge"));
    EXPECT_EQ(0u, text.find("# HELP fsw_disk_free_bytes "));
}

// The forecast goes with its own result through the sorting, and only where there is one;
// the cycle's end and the version stand once each.
TEST(Metrics, ForecastsWhereThereAreSomeTheCyclesEndAndTheVersion) {
    std::vector<CheckResult> results = {
        Result(STATUS_NORMAL, "/z", "", 1, UNIT_GB, 5000, 9000),
        Result(STATUS_NORMAL, "/a", "", 1, UNIT_GB, 5000, 9000),
        Result(STATUS_ERROR, "/m", "", 1, UNIT_GB, 0, 0),
    };
    std::string text = MakeMetricsText(results, {7200, FORECAST_NONE, 3600}, Cycle(1, 3));
    const char* labels = "{host=\"fileserver\",port=\"50801\",path=\"%s\",description=\"\"}";
    auto series = [&](const char* path) {
        char line[200];
        snprintf(line, sizeof line, labels, path);
        return std::string("fsw_disk_full_forecast_seconds") + line;
    };
    EXPECT_TRUE(Has(text, series("/z") + " 7200")) << text;
    EXPECT_TRUE(Has(text, series("/m") + " 3600")) << "unmeasured now, forecast by its history";
    EXPECT_EQ(std::string::npos, text.find(series("/a"))) << "no forecast, no series";
    EXPECT_TRUE(Has(text, "fsw_last_cycle_timestamp_seconds 1700000060"));
    EXPECT_TRUE(Has(text, "fsw_build_info{version=\"1.2.3.4\"} 1"));
    EXPECT_TRUE(Has(text, "# TYPE fsw_build_info gauge"));

    // Fewer forecasts than results: the rest have none.
    std::string shorter = MakeMetricsText(results, {7200}, Cycle(1, 3));
    EXPECT_TRUE(Has(shorter, series("/z") + " 7200"));
    EXPECT_EQ(std::string::npos, shorter.find(series("/m")));
}

TEST(Metrics, ARepeatedTargetGivesOneSeriesAndAReplyWithoutBodyCountsAsError) {
    std::vector<CheckResult> results = {Result(STATUS_NONE, "/a", "", 1, UNIT_GB, 0, 0),
                                        Result(STATUS_NONE, "/a", "", 1, UNIT_GB, 0, 0)};
    std::string text = MakeMetricsText(results, {}, Cycle(0, 2));
    const std::string series =
        "fsw_disk_status{host=\"fileserver\",port=\"50801\",path=\"/a\",description=\"\"} 5\n";
    size_t first = text.find(series);
    ASSERT_NE(std::string::npos, first) << text;
    EXPECT_EQ(std::string::npos, text.find(series, first + 1));
}

// Paths that differ only in bytes UTF-8 cannot show keep a label set each.
TEST(Metrics, PathsThatDifferOnlyInInvalidBytesKeepTheirOwnLabels) {
    std::vector<CheckResult> results = {Result(STATUS_NORMAL, "/a\xff", "", 1, UNIT_GB, 1, 2),
                                        Result(STATUS_NORMAL, "/a\xfe", "", 1, UNIT_GB, 1, 2),
                                        Result(STATUS_NORMAL, "/b", "", 1, UNIT_GB, 1, 2)};
    std::string text = MakeMetricsText(results, {}, Cycle(0, 3));
    std::set<std::string> series;
    for (size_t at = text.find("\nfsw_disk_up{"); at != std::string::npos;
         at = text.find("\nfsw_disk_up{", at + 1)) {
        series.insert(text.substr(at, text.find('\n', at + 1) - at));
    }
    EXPECT_EQ(3u, series.size()) << text;
    EXPECT_EQ(1u, series.count("\nfsw_disk_up{host=\"fileserver\",port=\"50801\",path=\"/b\","
                               "description=\"\"} 1"));  // a text of its own keeps its labels
}

TEST(Metrics, ANameWithoutFolderLivesBesideTheSettingsAndAnAbsoluteOneStands) {
    std::string beside = MetricsFilePath("/etc/fsw", "fsw.prom");
    EXPECT_EQ(std::string("/etc/fsw") + M_PATH_SEPARATOR + "fsw.prom", beside);
    EXPECT_EQ("/var/lib/prom/fsw.prom", MetricsFilePath("/etc/fsw", "/var/lib/prom/fsw.prom"));
}

using MetricsFileTest = KivFixture;

// A full disk: the old file stays as it was.
TEST_F(MetricsFileTest, AFailureIsLoggedOnceRetriedAndLoggedAgainAfterASuccess) {
    std::string path = dir.File("fsw.prom");
    MetricsFile file(app);
    ASSERT_TRUE(file.Write(path, "a 1\n"));
    MSetNewFileWriteLimit(2);
    EXPECT_FALSE(file.Write(path, "a 2\n"));
    EXPECT_FALSE(file.Write(path, "a 3\n"));
    std::string failed = "メトリクスファイルに書き込めませんでした。(File=" + path + ")";
    EXPECT_EQ(std::vector<std::string>{failed}, LogMessages());
    EXPECT_EQ("a 1\n", ReadFileBytes(path));

    MSetNewFileWriteLimit(-1);
    EXPECT_TRUE(file.Write(path, "a 4\n"));
    EXPECT_EQ("a 4\n", ReadFileBytes(path));
    MSetNewFileWriteLimit(2);
    EXPECT_FALSE(file.Write(path, "a 5\n"));
    MSetNewFileWriteLimit(-1);
    EXPECT_EQ((std::vector<std::string>{failed, failed}), LogMessages());
}

}  // namespace
