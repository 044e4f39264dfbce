// The texts that a folder-growth report is shown with: the console's and check --growth's
// text, the balloon's line, the notification command's variables and the plugin's long
// output. Local times are Unix seconds plus utcOffset (CurrentUtcOffset).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mlib/mcommand.h"
#include "net/check_result.h"
#include "net/growth_cache.h"

// "+1.5 GB", "-300.0 MB", "+0 B": a growth as FormatByteSize writes the amount, signed.
std::string FormatGrowth(int64_t bytes);
// "2026/12/10 03:00", or "-" for 0 (no scan); " (途中まで)" after a partial scan.
std::string FormatScanTime(const GrowthScanInfo& scan, int64_t utcOffset);
// Whole days between two scans, at least 1: what "7日間" says when the oldest scan is nearer.
unsigned DaysBetween(int64_t earlier, int64_t later);

// The report as lines of text: the compared scans, then "増えたフォルダ (N日間)" with a line
// per folder (path, size, one-day and seven-day growth, tab-separated), then the recent
// large files (path, size, time of change). Control characters of paths print as spaces.
std::string GrowthReportText(const GrowthReport& report, int64_t utcOffset);

// The rows at caution or worse that have an answer in the cache, each as a line
// "host (port) path:" and the report's text indented, or the answer's words on that line.
// Empty when there is none.
std::string GrowthListText(const std::vector<CheckResult>& results, const GrowthCache& cache,
                           int64_t utcOffset);

// One short line for the balloon: the folder that grew most over the week, of the worst row
// at caution or worse with a report that names one: "D:\Share\Video\2026 が7日間で120.0 GB
// 増えました". Empty when there is none.
std::string GrowthBalloonLine(const std::vector<CheckResult>& results, const GrowthCache& cache);

// The notification command's variables FSW_GROWTH1 to FSW_GROWTH3: the three folders that
// grew most over the week, of every row at caution or worse, each "host<TAB>port<TAB>folder
// <TAB>size<TAB>one-day growth<TAB>seven-day growth" in bytes; empty beyond those there are.
MEnvironment GrowthEnvironment(const std::vector<CheckResult>& results, const GrowthCache& cache);

// The chart window's table of a report, row by row, each a list of cells: the title
// "増えたフォルダ (N日間)", the compared scans, the column titles (フォルダ, サイズ, 1日, 7日),
// a row per folder, then "最近の大きなファイル" with its titles (サイズ, 更新日時) and a row per
// file. Empty without a report.
std::vector<std::vector<std::string>> GrowthTableRows(const GrowthEntry& entry,
                                                      int64_t utcOffset);

// The plugin's long output for a path: "label: growth FOLDER +X in N days, +Y in 1 day, now
// Z", a line for each of the first three folders, "label: no folder grew" when none did;
// nothing without a report.
std::string GrowthPluginLines(const std::string& label, const GrowthEntry& entry);
