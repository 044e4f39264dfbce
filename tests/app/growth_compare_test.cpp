// Which folders explain the growth: the rule of growth_compare.h over small scans, the
// choice of the scans compared, and which kept scans are let go of.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/growth_compare.h"
#include "app/scan_store.h"

namespace {

const uint64_t MB = 1ull << 20;
const uint64_t GB = 1ull << 30;

struct Folder {
    const char* path;
    uint64_t bytes;
    bool complete;
};

// A scan of /v (a volume root with 100 GB used: deeper folders kept from 1 GB, growth
// meaningful from 100 MB). Depths follow the paths.
FolderScan ScanOf(const std::vector<Folder>& folders, bool partial = false, uint64_t other = 0) {
    FolderScan scan;
    scan.root = "/v";
    scan.usedBytes = 100 * GB;
    scan.volumeRoot = true;
    scan.partial = partial;
    scan.otherBytes = other;
    for (const Folder& folder : folders) {
        std::string path = folder.path;
        uint32_t depth = 0;
        for (size_t i = 2; i < path.size(); ++i) {
            depth += path[i] == '/';
        }
        scan.folders.push_back(ScanFolder{path, folder.bytes, depth, folder.complete});
    }
    return scan;
}

struct Listed {
    std::string path;
    int64_t growthWeek;
};

TEST(GrowthCompare, ListsTheFoldersThatExplainTheGrowth) {
    struct Case {
        const char* name;
        std::vector<Folder> latest;
        std::vector<Folder> before;
        bool beforePartial;
        uint64_t otherNow, otherBefore;
        std::vector<Listed> listed;
    };
    const Case cases[] = {
        {"a deep folder that holds most of it is named, not its parents",
         {{"/v", 11 * GB, true}, {"/v/a", 3 * GB, true}, {"/v/a/b", 2900 * MB, true}},
         {{"/v", 10 * GB, true}, {"/v/a", 2 * GB, true}, {"/v/a/b", 2000 * MB, true}},
         false, 0, 0, {{"/v/a/b", 900 * MB}}},
        {"growth spread over children names the parent and each meaningful child",
         {{"/v", 11 * GB, true}, {"/v/a", 3 * GB, true}, {"/v/a/x", 1400 * MB, true},
          {"/v/a/y", 1400 * MB, true}},
         {{"/v", 10 * GB, true}, {"/v/a", 2 * GB, true}, {"/v/a/x", 1000 * MB, true},
          {"/v/a/y", 1000 * MB, true}},
         false, 0, 0, {{"/v/a", 1 * GB}, {"/v/a/x", 400 * MB}, {"/v/a/y", 400 * MB}}},
        {"growth below the meaningful amount names nothing",
         {{"/v", 10 * GB + 90 * MB, true}, {"/v/a", 1 * GB + 90 * MB, true}},
         {{"/v", 10 * GB, true}, {"/v/a", 1 * GB, true}}, false, 0, 0, {}},
        {"a new folder at depth 2 grew from nothing",
         {{"/v", 10 * GB, true}, {"/v/a", 2 * GB, true}, {"/v/a/new", 1 * GB, true}},
         {{"/v", 9 * GB, true}, {"/v/a", 1 * GB, true}}, false, 0, 0, {{"/v/a/new", 1 * GB}}},
        {"a new deep folder grew from at most the older scan's 1 % mark",
         {{"/v", 10 * GB, true}, {"/v/a", 3 * GB, true}, {"/v/a/b", 3 * GB, true},
          {"/v/a/b/c", 3 * GB, true}, {"/v/a/b/c/d", 1536 * MB, true}},
         {{"/v", 10 * GB, true}, {"/v/a", 3 * GB, true}, {"/v/a/b", 3 * GB, true},
          {"/v/a/b/c", 3 * GB, true}},
         false, 0, 0, {{"/v/a/b/c/d", 512 * MB}}},
        {"a folder missing from a partial scan has no known growth",
         {{"/v", 10 * GB, true}, {"/v/a", 2 * GB, true}, {"/v/a/new", 1 * GB, true}},
         {{"/v", 9 * GB, false}, {"/v/a", 1 * GB, false}}, true, 0, 0, {}},
        {"a folder the latest scan did not read whole is not compared",
         {{"/v", 11 * GB, false}, {"/v/a", 3 * GB, false}},
         {{"/v", 10 * GB, true}, {"/v/a", 1 * GB, true}}, false, 0, 0, {}},
        {"growth no folder accounts for is the other line's",
         {{"/v", 10 * GB, true}, {"/v/a", 5 * GB, true}},
         {{"/v", 10 * GB, true}, {"/v/a", 5 * GB, true}}, false, 3 * GB, 2 * GB,
         {{SCAN_OTHER_NAME, 1 * GB}}},
        {"shrinking folders are never named",
         {{"/v", 8 * GB, true}, {"/v/a", 1 * GB, true}},
         {{"/v", 10 * GB, true}, {"/v/a", 3 * GB, true}}, false, 0, 0, {}},
    };
    for (const Case& c : cases) {
        FolderScan latest = ScanOf(c.latest, false, c.otherNow);
        FolderScan before = ScanOf(c.before, c.beforePartial, c.otherBefore);
        GrowthReport report = CompareScans(latest, nullptr, &before);
        std::vector<std::string> got, want;
        for (const GrowthFolder& folder : report.folders) {
            got.push_back(folder.path + " " + std::to_string(folder.growthWeek));
        }
        for (const Listed& listed : c.listed) {
            want.push_back(listed.path + " " + std::to_string(listed.growthWeek));
        }
        EXPECT_EQ(want, got) << c.name;
        EXPECT_EQ(c.beforePartial, report.weekBefore.partial) << c.name;
    }
}

// The day's growth alone can name a folder; its week's growth is told beside it.
TEST(GrowthCompare, DayGrowthNamesAFolderWithItsWeeksGrowth) {
    FolderScan latest = ScanOf({{"/v", 12 * GB, true}, {"/v/a", 4 * GB, true}});
    FolderScan day = ScanOf({{"/v", 11 * GB, true}, {"/v/a", 3 * GB, true}});
    FolderScan week = ScanOf({{"/v", 12 * GB, true}, {"/v/a", 4 * GB, true}});
    GrowthReport report = CompareScans(latest, &day, &week);
    ASSERT_EQ(1u, report.folders.size());
    EXPECT_EQ("/v/a", report.folders[0].path);
    EXPECT_EQ(int64_t(GB), report.folders[0].growthDay);
    EXPECT_EQ(0, report.folders[0].growthWeek);
    EXPECT_EQ(4 * GB, report.folders[0].sizeBytes);
}

TEST(GrowthCompare, ChoosesTheScansNearestToADayAndAWeekBefore) {
    const int64_t D = 86400, T = 100 * 86400;
    struct Case {
        const char* name;
        std::vector<ScanTime> scans;
        int latest, day, week;
    };
    const Case cases[] = {
        {"none", {}, -1, -1, -1},
        {"one scan is compared with none", {{T, false}}, 0, -1, -1},
        {"daily scans", {{T - 7 * D, false}, {T - D, false}, {T, false}, {T - 2 * D, false}},
         2, 1, 0},
        {"only scans of the same day: the oldest for both", {{T - 600, false}, {T, false},
         {T - 300, false}}, 1, 0, 0},
        {"a whole scan rather than a nearer partial one",
         {{T, false}, {T - D, true}, {T - D - 3600, false}, {T - 7 * D, true}}, 0, 2, 2},
    };
    for (const Case& c : cases) {
        ComparedScans chosen = ChooseComparedScans(c.scans);
        EXPECT_EQ(c.latest, chosen.latest) << c.name;
        EXPECT_EQ(c.day, chosen.dayBefore) << c.name;
        EXPECT_EQ(c.week, chosen.weekBefore) << c.name;
    }
}

TEST(GrowthCompare, KeepsTheLastScanOfEightDaysAndAFewOfToday) {
    struct Case {
        const char* name;
        std::vector<KeptScan> scans;  // day, time, partial
        std::vector<bool> keep;
    };
    const int64_t T = 20 * 86400;
    const Case cases[] = {
        {"five of today: the last four",
         {{20, T + 1, false}, {20, T + 2, false}, {20, T + 3, false}, {20, T + 4, false},
          {20, T + 5, false}},
         {false, true, true, true, true}},
        {"of an earlier day the last, and the last whole one when that is partial",
         {{19, T - 30, false}, {19, T - 20, false}, {19, T - 10, true}},
         {false, true, true}},
        {"eight earlier days with scans, not the ninth",
         {{19, T - 1 * 86400, false}, {18, T - 2 * 86400, false}, {17, T - 3 * 86400, false},
          {15, T - 5 * 86400, false}, {14, T - 6 * 86400, false}, {13, T - 7 * 86400, false},
          {12, T - 8 * 86400, false}, {10, T - 10 * 86400, false}, {9, T - 11 * 86400, false}},
         {true, true, true, true, true, true, true, true, false}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.keep, ScansToKeep(c.scans, 20)) << c.name;
    }
}

}  // namespace
