// GROWTH's keys as read from the settings file, the time of the next daily scan, and the
// progress line of a foreground scan.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/growth_scans.h"
#include "tests/support/test_support.h"

namespace {

class LinesLog : public MLogSink {
public:
    int WriteLine(const std::string& message) override {
        lines.push_back(message);
        return 0;
    }
    std::vector<std::string> lines;
};

TEST(GrowthScans, ReadsItsKeysAndFallsBackOnBadValues) {
    struct Case {
        const char* ini;
        bool on;
        std::vector<std::string> paths;
        unsigned minute, limit;
        size_t logged;
    };
    const Case cases[] = {
        {"[fsw]\n", false, {}, 180, 30, 0},
        {"[fsw]\nGROWTH=1\nGROWTHPATHS= /srv , ,/home/a b\nGROWTHTIME=4:05\nGROWTHLIMIT=90\n", true,
         {"/srv", "/home/a b"}, 245, 90, 0},
        {"[fsw]\nGROWTH=2\nGROWTHTIME=24:00\nGROWTHLIMIT=0\n", false, {}, 180, 30, 2},
        {"[fsw]\nGROWTHTIME=3\nGROWTHLIMIT=x\n", false, {}, 180, 30, 2},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFileBytes(dir.File("fsw.ini"), c.ini);
        LinesLog log;
        GrowthSettings settings = ReadGrowthSettings(dir.File("fsw.ini").c_str(), log);
        EXPECT_EQ(c.on, settings.on) << c.ini;
        EXPECT_EQ(c.paths, settings.paths) << c.ini;
        EXPECT_EQ(c.minute, settings.scanMinute) << c.ini;
        EXPECT_EQ(c.limit, settings.limitMinutes) << c.ini;
        EXPECT_EQ(c.logged, log.lines.size()) << c.ini;
    }
}

TEST(GrowthScans, NextScanIsTheNextTimeTheLocalClockShowsTheHour) {
    const int64_t DAY = 86400, MIDNIGHT = 20000 * DAY;  // a UTC midnight
    const struct {
        int64_t now, offset;
        unsigned minute;
        int64_t next;
    } cases[] = {
        {MIDNIGHT, 0, 180, MIDNIGHT + 3 * 3600},
        {MIDNIGHT + 3 * 3600, 0, 180, MIDNIGHT + DAY + 3 * 3600},  // just done: tomorrow
        {MIDNIGHT + 4 * 3600, 0, 180, MIDNIGHT + DAY + 3 * 3600},
        {MIDNIGHT, 9 * 3600, 180, MIDNIGHT + 18 * 3600},  // 03:00 in UTC+9 is 18:00 UTC
        {MIDNIGHT + 20 * 3600, -5 * 3600, 0, MIDNIGHT + DAY + 5 * 3600},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.next, NextScanTime(c.now, c.offset, c.minute)) << c.now << " " << c.offset;
    }
}

// Cut to one column less than the terminal's, wide characters as two, and padded.
TEST(GrowthScans, ProgressLineFitsTheTerminal) {
    ScanProgress progress;
    progress.folders = 12;
    progress.files = 345;
    progress.current = "/srv/動画/a\nb";
    EXPECT_EQ("フォルダ 12  ファイル 345  /srv/動画/a?b" + std::string(79 - 40, ' '),
              ScanProgressLine(progress, 80));
    EXPECT_EQ("フォルダ 12  ファイル 345  /srv/動画", ScanProgressLine(progress, 37));
    EXPECT_EQ("フォルダ 12  ファイル 345  /srv/動 ", ScanProgressLine(progress, 36));
}

}  // namespace
