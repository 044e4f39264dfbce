// The texts of the status list: status words, time, threshold and free space.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/host_entry.h"
#include "monitor/status_text.h"

namespace {

CheckResult Result(int32_t status, uint32_t unit, uint64_t value) {
    CheckResult result;
    memset(&result, 0, sizeof result);
    result.status = status;
    result.unit = unit;
    result.value = value;
    return result;
}

std::string FreeSpace(int32_t status, uint32_t unit, uint64_t value, int32_t reason = 0) {
    char text[80];
    CheckResult result = Result(status, unit, value);
    result.reason = reason;
    FormatFreeSpace(result, text, sizeof text);
    return text;
}

std::string Threshold(uint32_t threshold, uint32_t unit) {
    char text[64];
    FormatThresholdText(threshold, unit, text, sizeof text);
    return text;
}

TEST(StatusText, FreeSpaceStepsThroughBKBMBGBAndTB) {
    EXPECT_EQ("0 B", FreeSpace(STATUS_NORMAL, UNIT_GB, 0));
    EXPECT_EQ("1023 B", FreeSpace(STATUS_NORMAL, UNIT_GB, 1023));
    EXPECT_EQ("1.0 KB", FreeSpace(STATUS_NORMAL, UNIT_GB, 1024));
    EXPECT_EQ("1.5 KB", FreeSpace(STATUS_NORMAL, UNIT_KB, 1536));
    EXPECT_EQ("1024.0 KB", FreeSpace(STATUS_NORMAL, UNIT_MB, 1048575));
    EXPECT_EQ("1.0 MB", FreeSpace(STATUS_NORMAL, UNIT_MB, 1048576));
    EXPECT_EQ("500.0 MB", FreeSpace(STATUS_CAUTION, UNIT_MB, 524288000));
    EXPECT_EQ("1.0 GB", FreeSpace(STATUS_NORMAL, 7, 1073741824ull));
    EXPECT_EQ("1.0 TB", FreeSpace(STATUS_NORMAL, UNIT_GB, 1099511627776ull));
    EXPECT_EQ("16777216.0 TB", FreeSpace(STATUS_NORMAL, UNIT_GB, ~0ull));
}

TEST(StatusText, FreeSpaceOfAPercentTargetIsTenthsOfAPercent) {
    EXPECT_EQ("12.3 %", FreeSpace(STATUS_NORMAL, UNIT_PERCENT, 123));
    EXPECT_EQ("0.0 %", FreeSpace(STATUS_DANGER, UNIT_PERCENT, 0));
    EXPECT_EQ("100.0 %", FreeSpace(STATUS_NORMAL, UNIT_PERCENT, 1000));
}

TEST(StatusText, AnErrorShowsNAAndItsReasonWhateverItsUnit) {
    EXPECT_EQ("N/A", FreeSpace(STATUS_ERROR, UNIT_PERCENT, 0));
    EXPECT_EQ("N/A", FreeSpace(STATUS_ERROR, UNIT_GB, 12345));
    EXPECT_EQ("N/A (接続を拒否されました)",
              FreeSpace(STATUS_ERROR, UNIT_GB, 12345, REASON_REFUSED));
    EXPECT_EQ("N/A (時間内に問合せを開始できません)",
              FreeSpace(STATUS_ERROR, UNIT_PERCENT, 0, REASON_NOT_STARTED));
    EXPECT_EQ("N/A", FreeSpace(STATUS_ERROR, UNIT_PERCENT, 0, 99)) << "an unknown code";
    CheckResult none = Result(STATUS_ERROR, UNIT_PERCENT, 0);
    none.noVolumes = true;  // a "*" row whose host listed no volume
    char text[64];
    FormatFreeSpace(none, text, sizeof text);
    EXPECT_STREQ("ボリュームなし", text);
}

TEST(StatusText, ThresholdIsTheNumberASpaceAndTheUnitWord) {
    EXPECT_EQ("10 %", Threshold(10, UNIT_PERCENT));
    EXPECT_EQ("1 KB", Threshold(1, UNIT_KB));
    EXPECT_EQ("500 MB", Threshold(500, UNIT_MB));
    EXPECT_EQ("4000000000 GB", Threshold(4000000000u, UNIT_GB));
    EXPECT_EQ("500 B", Threshold(500, 4));
    EXPECT_EQ("500 B", Threshold(500, 0xFFFFFFFFu));
}

TEST(StatusText, StatusWordsAndWhichResultsAreListed) {
    EXPECT_STREQ("正常", StatusWord(STATUS_NORMAL));
    EXPECT_STREQ("注意", StatusWord(STATUS_CAUTION));
    EXPECT_STREQ("警告", StatusWord(STATUS_WARNING));
    EXPECT_STREQ("危険", StatusWord(STATUS_DANGER));
    EXPECT_STREQ("エラー", StatusWord(STATUS_ERROR));
    EXPECT_STREQ("??????", StatusWord(6));
    EXPECT_STREQ("??????", StatusWord(-1));
    EXPECT_FALSE(IsListed(Result(STATUS_NONE, 0, 0)));
    EXPECT_TRUE(IsListed(Result(STATUS_ERROR, 0, 0)));
}

TEST(StatusText, ARowHasItsEightCellsInColumnOrder) {
    CheckResult result = Result(STATUS_WARNING, UNIT_MB, 1048576 * 300ull);
    result.year = 2024;
    result.month = 3;
    result.day = 9;
    result.hour = 7;
    result.minute = 5;
    result.second = 0;
    result.threshold = 1000;
    strcpy(result.host, "server1");
    strcpy(result.path, "C:\\");
    strcpy(result.description, "経理");
    StatusRowTexts row;
    MakeStatusRowTexts(result, 10 * 86400 + 5 * 3600, &row);
    EXPECT_STREQ("警告", row.status);
    EXPECT_STREQ("2024/03/09 07:05:00", row.time);
    EXPECT_STREQ("server1", row.host);
    EXPECT_STREQ("C:\\", row.path);
    EXPECT_STREQ("1000 MB", row.threshold);
    EXPECT_STREQ("300.0 MB", row.freeSpace);
    EXPECT_STREQ("経理", row.description);
    EXPECT_STREQ("約10日", row.forecast);
    const char* titles[] = {"状態",     "最終確認日時", "ホスト", "パス",
                            "しきい値", "空き領域",     "説明",   "満杯予測"};
    for (int i = 0; i < STATUS_COLUMN_COUNT; i++) {
        EXPECT_STREQ(titles[i], STATUS_COLUMN_TITLES[i]);
    }
}

TEST(StatusText, ForecastTexts) {
    const struct {
        int64_t seconds;
        const char* text;
        bool ofBursts;
    } cases[] = {
        {FORECAST_NONE, "-", false},
        {0, "1時間以内", false},
        {3599, "1時間以内", false},
        {3600, "約1時間", false},
        {86399, "約23時間", false},
        {86400, "約1日", false},
        {3 * 86400 - 1, "約2日", false},
        {365 * 86400 - 1, "約364日", false},
        {365 * 86400, "1年以上", false},
        {int64_t{1} << 40, "1年以上", false},
        {FORECAST_NONE, "-", true},
        {7200, "約2時間 (ピーク時)", true},
        {3 * 86400, "約3日 (ピーク時)", true},
        {365 * 86400, "1年以上", true},
    };
    for (const auto& c : cases) {
        char text[32];
        FormatForecast(c.seconds, text, sizeof text, c.ofBursts);
        EXPECT_STREQ(c.text, text) << c.seconds;
    }
}

// The forecast's line follows the table's text, or stands alone at level 2.
TEST(StatusText, TheCycleBalloonAddsTheLineOfDisksSoonFull) {
    const std::string soon = "空き領域が7日以内になくなる見込みのディスクが 2個あります。";
    const struct {
        CycleSummary summary;
        unsigned level;
        std::string title;
        unsigned icon;
        std::string text;
    } cases[] = {
        {{1, 0, 0, 7, 2}, 2, "空き領域減少", BALLOON_ICON_WARNING, soon},
        {{2, 1, 0, 7, 2},
         2,
         "空き領域減少",
         BALLOON_ICON_WARNING,
         "空き領域がしきい値を下回ったディスクが 1個あります。\r\n" + soon},
        {{3, 0, 1, 7, 2},
         3,
         "空き領域エラー",
         BALLOON_ICON_ERROR,
         "空き領域を確認できないディスクが 1個あります。\r\n" + soon},
        {{4, 1, 0, 7, 0},
         4,
         "空き領域減少",
         BALLOON_ICON_ERROR,
         "空き領域がしきい値を下回ったディスクが 1個あります。"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.level, SummaryLevel(c.summary));
        char text[512];
        const char* title = "";
        unsigned icon = 0;
        ASSERT_TRUE(MakeCycleBalloon(c.summary, text, sizeof text, &title, &icon));
        EXPECT_EQ(c.title, title);
        EXPECT_EQ(c.icon, icon);
        EXPECT_EQ(c.text, text);
    }
    char text[512];
    const char* title = "";
    unsigned icon = 0;
    EXPECT_EQ(1u, SummaryLevel({1, 0, 0, 7, 0}));
    EXPECT_FALSE(MakeCycleBalloon({1, 0, 0, 7, 0}, text, sizeof text, &title, &icon));
}

}  // namespace
