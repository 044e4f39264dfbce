// When a disk will be full: the rate at which free space falls, from a target's recent
// measurements, followed from the latest one down to zero.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/history_point.h"

const int64_t FORECAST_NONE = -1;
const int64_t FORECAST_WINDOW_SECONDS = 15 * 86400;  // the measurements looked at
const size_t FORECAST_MIN_POINTS = 3;
const int64_t FORECAST_MIN_SPAN_SECONDS = 3600;
// The longest forecast: a disk that lasts this long or longer is shown as lasting a year or
// more ("1年以上"), since no trend is followed that far.
const int64_t FORECAST_YEAR_SECONDS = 365 * 86400;

// Seconds from the latest measurement until free space reaches 0, at most
// FORECAST_YEAR_SECONDS, or FORECAST_NONE: fewer than 3 measurements in the 15 days before
// now, spanning less than an hour, or free space not falling. points are in time order;
// those dated after now are left out, and so are those of other runs than run (the newest,
// see NewestRun: a clock set back starts a new one). A change of the total size by more than
// 1 % between two measurements (a resized disk) starts the series anew too. Where free space
// falls and recovers every day or week (see FitForecastLine), it is the time until the lowest
// point of a cycle reaches 0, and ofBursts (when given) is set true.
int64_t ForecastSecondsToFull(const HistoryPoint* points, size_t count, int64_t now, uint32_t run,
                              bool* ofBursts = nullptr);

// The newest run of the points dated up to now. The history knows it without looking: the
// run of the check it wrote last.
uint32_t NewestRun(const HistoryPoint* points, size_t count, int64_t now);

// The forecast as a line: free bytes at time t are lowestFree + slope * (t - latestTime), and
// reach zero when the forecast says. Without bursts lowestFree is latestFree; where free space
// falls and recovers every burstPeriod seconds (a day or a week: backups written and deleted,
// logs rotated), it is the line of the cycles' lowest points, which the forecast is of. False
// when there are too few measurements.
struct ForecastLine {
    int64_t latestTime;
    double latestFree;     // the latest measurement's free bytes
    double slope;          // bytes per second; negative when free space falls
    double secondsToFull;  // from latestTime; infinity when free space is not falling
    int64_t burstPeriod;   // 0 without bursts
    double lowestFree;     // the cycles' lowest free bytes as of latestTime
};
bool FitForecastLine(const HistoryPoint* points, size_t count, int64_t now, uint32_t run,
                     ForecastLine* line);
