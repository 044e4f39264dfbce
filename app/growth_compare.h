// Which folders explain a volume's growth: a pure comparison of the latest scan with the
// scans of about one day and about seven days before.
//
// The rule. A folder's growth over a period is its size in the latest scan minus its size in
// the older one. A folder missing from the older scan had size 0 there when that scan was
// whole and would have recorded it (depth 3 or less, under a recorded parent, the scan not
// cut at its folder cap); else it was below the older scan's 1 % mark, and that mark (or its
// parent's older size, when smaller) is taken as its older size, so that its growth is never
// overstated. Growth is unknown, and counts as 0, where either scan did not read the folder
// whole (a partial scan).
// A folder is listed when, over the week or over the day, it grew by at least the meaningful
// amount (64 MiB, or 0.1 % of the volume's used space when that is more) and none of its
// recorded children (nor, for the root, the line for what was not attributed) grew by more
// than half of the folder's growth over that period. Listed folders come largest week's
// growth first, then largest day's growth.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/folder_scan.h"
#include "net/growth_report.h"

const uint64_t GROWTH_MEANINGFUL_MIN = 64ull << 20;
const uint64_t GROWTH_MEANINGFUL_PERMILLE = 1;
const size_t GROWTH_MAX_FOLDERS = 100;  // listed at most

uint64_t MeaningfulGrowth(uint64_t usedBytes);

// The report of latest against dayBefore and weekBefore (either may be null: no such scan).
// The root's line for what was not attributed has the path SCAN_OTHER_NAME.
GrowthReport CompareScans(const FolderScan& latest, const FolderScan* dayBefore,
                          const FolderScan* weekBefore);

// A kept scan as the choice of the compared ones sees it.
struct ScanTime {
    int64_t endTime;
    bool partial;
};
// Of scans (any order), the latest, and the ones nearest to one day and to seven days
// before it among the others (a whole scan rather than a partial one; failing both, the
// oldest there is, which may be of the same day): their indexes, -1 for none.
struct ComparedScans {
    int latest = -1;
    int dayBefore = -1;
    int weekBefore = -1;
};
ComparedScans ChooseComparedScans(const std::vector<ScanTime>& scans);
