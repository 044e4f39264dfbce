// Texts of the status list and of the summary balloon.
#include "monitor/status_text.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "app/host_entry.h"

const char* const STATUS_COLUMN_TITLES[STATUS_COLUMN_COUNT] = {
    "状態", "最終確認日時", "ホスト", "パス", "しきい値", "空き領域", "説明", "満杯予測",
};

bool IsListed(const CheckResult& result) {
    return result.status != STATUS_NONE;
}

const char* StatusWord(int32_t status) {
    switch (status) {
        case STATUS_NORMAL:
            return "正常";
        case STATUS_CAUTION:
            return "注意";
        case STATUS_WARNING:
            return "警告";
        case STATUS_DANGER:
            return "危険";
        case STATUS_ERROR:
            return "エラー";
        default:
            return "??????";
    }
}

void FormatCheckTime(const CheckResult& result, char* out, size_t size) {
    snprintf(out, size, "%04u/%02u/%02u %02u:%02u:%02u", unsigned{result.year},
             unsigned{result.month}, unsigned{result.day}, unsigned{result.hour},
             unsigned{result.minute}, unsigned{result.second});
}

void FormatThresholdText(uint32_t threshold, uint32_t unit, char* out, size_t size) {
    snprintf(out, size, "%" PRIu32 " %s", threshold, UnitText(unit));
}

// Each step up divides by 1024 once more, in floating point, as the list shows it.
void FormatByteSize(uint64_t bytes, char* out, size_t size) {
    if (bytes < 1024u) {
        snprintf(out, size, "%" PRIu64 " B", bytes);
        return;
    }
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    const double step = 1.0 / 1024.0;
    double scaled = static_cast<double>(bytes) * step;
    uint64_t bound = uint64_t{1} << 20;
    size_t unit = 0;
    while (unit < 3 && bytes >= bound) {
        scaled *= step;
        bound <<= 10;
        unit++;
    }
    snprintf(out, size, "%.1f %s", scaled, units[unit]);
}

void FormatFreeSpace(const CheckResult& result, char* out, size_t size) {
    if (result.status == STATUS_ERROR) {
        if (result.noVolumes) {
            snprintf(out, size, "ボリュームなし");
            return;
        }
        const char* reason = ErrorReasonText(result.reason);
        if (*reason != '\0') {
            snprintf(out, size, "N/A (%s)", reason);
        } else {
            snprintf(out, size, "N/A");
        }
        return;
    }
    if (result.unit == UNIT_PERCENT) {
        snprintf(out, size, "%.1f %%", static_cast<double>(result.value) / 10.0);
        return;
    }
    FormatByteSize(result.value, out, size);
}

std::string ErrorReasonLines(const std::vector<CheckResult>& results) {
    std::string lines;
    for (const CheckResult& result : results) {
        if (result.status != STATUS_ERROR) {
            continue;
        }
        const char* reason =
            result.noVolumes ? "ボリュームなし" : ErrorReasonText(result.reason);
        lines += std::string(result.host) + " (" + std::to_string(result.port) + ") " +
                 result.path + ": " + (*reason != '\0' ? reason : StatusWord(STATUS_ERROR)) +
                 "\n";
    }
    return lines;
}

void FormatForecast(int64_t seconds, char* out, size_t size, bool ofBursts) {
    if (ofBursts && seconds != FORECAST_NONE && seconds < FORECAST_YEAR_SECONDS) {
        char time[32];
        FormatForecast(seconds, time, sizeof time);
        snprintf(out, size, "%s (ピーク時)", time);
    } else if (seconds == FORECAST_NONE) {
        snprintf(out, size, "-");
    } else if (seconds < 3600) {
        snprintf(out, size, "1時間以内");
    } else if (seconds < 86400) {
        snprintf(out, size, "約%d時間", static_cast<int>(seconds / 3600));
    } else if (seconds >= FORECAST_YEAR_SECONDS) {
        snprintf(out, size, "1年以上");
    } else {
        snprintf(out, size, "約%" PRId64 "日", seconds / 86400);
    }
}

void MakeStatusRowTexts(const CheckResult& result, int64_t forecast, StatusRowTexts* row,
                        bool ofBursts) {
    row->status = StatusWord(result.status);
    FormatCheckTime(result, row->time, sizeof row->time);
    row->host = result.host;
    row->path = result.path;
    FormatThresholdText(result.threshold, result.unit, row->threshold, sizeof row->threshold);
    FormatFreeSpace(result, row->freeSpace, sizeof row->freeSpace);
    row->description = result.description;
    FormatForecast(forecast, row->forecast, sizeof row->forecast, ofBursts);
}

namespace {

const char BELOW_TEXT[] = "空き領域がしきい値を下回ったディスクが %u個あります。";
const char BOTH_TEXT[] =
    "空き領域がしきい値を下回ったディスクが %u個あります。\r\n"
    "空き領域が確認できないディスクが %u個あります。";
const char ERRORS_TEXT[] = "空き領域を確認できないディスクが %u個あります。";
const char SOON_TEXT[] = "空き領域が%u日以内になくなる見込みのディスクが %u個あります。";
const char TITLE_DECREASING[] = "空き領域減少";
const char TITLE_ERROR[] = "空き領域エラー";

}  // namespace

bool MakeSummaryBalloon(unsigned level, unsigned below, unsigned errors, char* text, size_t size,
                        const char** title, unsigned* iconFlag) {
    switch (level) {
        case 2:
            snprintf(text, size, BELOW_TEXT, below);
            *title = TITLE_DECREASING;
            *iconFlag = BALLOON_ICON_WARNING;
            return true;
        case 3:
            if (below > 0) {
                snprintf(text, size, BOTH_TEXT, below, errors);
            } else {
                snprintf(text, size, ERRORS_TEXT, errors);
            }
            *title = TITLE_ERROR;
            *iconFlag = BALLOON_ICON_ERROR;
            return true;
        case 4:
            if (errors > 0) {
                snprintf(text, size, BOTH_TEXT, below, errors);
            } else {
                snprintf(text, size, BELOW_TEXT, below);
            }
            *title = TITLE_DECREASING;
            *iconFlag = BALLOON_ICON_ERROR;
            return true;
        default:
            return false;
    }
}

unsigned SummaryLevel(const CycleSummary& summary) {
    return summary.soon > 0 && summary.level < 2 ? 2 : summary.level;
}

bool MakeCycleBalloon(const CycleSummary& summary, char* text, size_t size, const char** title,
                      unsigned* iconFlag) {
    if (summary.level >= 2) {
        MakeSummaryBalloon(summary.level, summary.below, summary.errors, text, size, title,
                           iconFlag);
    } else if (summary.soon > 0) {
        text[0] = '\0';
        *title = TITLE_DECREASING;
        *iconFlag = BALLOON_ICON_WARNING;
    } else {
        return false;
    }
    if (summary.soon > 0) {
        size_t used = strlen(text);
        snprintf(text + used, size - used, "%s", used > 0 ? "\r\n" : "");
        used = strlen(text);
        snprintf(text + used, size - used, SOON_TEXT, summary.days, summary.soon);
    }
    return true;
}
