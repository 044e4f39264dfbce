// The texts that a check cycle's results are shown with: the cells of the status list,
// and the balloon that sums a cycle up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/forecast.h"
#include "net/check_result.h"

const int STATUS_COLUMN_COUNT = 8;
// "状態", "最終確認日時", "ホスト", "パス", "しきい値", "空き領域", "説明", "満杯予測".
extern const char* const STATUS_COLUMN_TITLES[STATUS_COLUMN_COUNT];

// Whether a result has a row in the status list (every status but STATUS_NONE).
bool IsListed(const CheckResult& result);
// "正常", "注意", "警告", "危険", "エラー", or "??????" for any other status.
const char* StatusWord(int32_t status);
// "%04u/%02u/%02u %02u:%02u:%02u", the time of the check.
void FormatCheckTime(const CheckResult& result, char* out, size_t size);
// "%lu %s": the threshold and its unit text, e.g. "10 %" or "500 MB".
void FormatThresholdText(uint32_t threshold, uint32_t unit, char* out, size_t size);
// A size in B, KB, MB, GB or TB with one decimal ("1023 B", "1.5 KB", "1.0 TB").
void FormatByteSize(uint64_t bytes, char* out, size_t size);
// "N/A" for an error, "N/A (reason)" with the words of its reason ("ボリュームなし" for a "*"
// row whose host listed none); "%.1f %%" for a percent target; otherwise the free bytes as
// FormatByteSize writes them.
void FormatFreeSpace(const CheckResult& result, char* out, size_t size);

// One line per error result, each ended by LF: "host (port) path: reason" with the words of
// its reason, "host (port) path: エラー" without one. Empty when there is no error.
std::string ErrorReasonLines(const std::vector<CheckResult>& results);

// The time until a disk is full: "約N日" (whole days, rounded down), "約N時間" below a day,
// "1時間以内" below an hour, "1年以上" from FORECAST_YEAR_SECONDS on, "-" for FORECAST_NONE.
// A forecast of the lowest point of repeating bursts (ofBursts) says so under a year:
// "約N日 (ピーク時)".
void FormatForecast(int64_t seconds, char* out, size_t size, bool ofBursts = false);

// The eight cells of one row, in column order.
struct StatusRowTexts {
    const char* status;
    char time[40];
    const char* host;
    const char* path;
    char threshold[32];
    char freeSpace[80];  // an error's reason fits: "N/A (" and 15 characters of 3 bytes
    const char* description;
    char forecast[32];
};
// Fills the row of a result and the forecast of its target (seconds until full, or
// FORECAST_NONE, and whether it is of bursts); the host, path and description point into the
// result.
void MakeStatusRowTexts(const CheckResult& result, int64_t forecast, StatusRowTexts* row,
                        bool ofBursts = false);

// Balloon icon flags (NIIF_WARNING, NIIF_ERROR).
const unsigned BALLOON_ICON_WARNING = 2;
const unsigned BALLOON_ICON_ERROR = 3;

// The balloon of a cycle's summary at level 2 to 4: its text (with CR LF between two
// lines), title and icon flag. False at level 1, which shows none.
bool MakeSummaryBalloon(unsigned level, unsigned below, unsigned errors, char* text, size_t size,
                        const char** title, unsigned* iconFlag);

// A cycle's summary with the forecast counted too: soon disks are forecast to be full
// within days days. With soon above 0 the level is at least 2.
struct CycleSummary {
    unsigned level;  // of the statuses alone, 1 to 4
    unsigned below;
    unsigned errors;
    unsigned days;
    unsigned soon;
};
unsigned SummaryLevel(const CycleSummary& summary);
// The balloon of the summary: the text of its status level, then on a line of its own
// "空き領域が%u日以内になくなる見込みのディスクが %u個あります。" when soon is above 0;
// with nothing else to report, that line alone, at level 2. False when there is nothing.
bool MakeCycleBalloon(const CycleSummary& summary, char* text, size_t size, const char** title,
                      unsigned* iconFlag);
