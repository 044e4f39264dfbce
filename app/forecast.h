// When a disk will be full: a least-squares line of free bytes over time through a target's
// recent measurements, followed from the latest one down to zero.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/history_point.h"

const int64_t FORECAST_NONE = -1;
const int64_t FORECAST_WINDOW_SECONDS = 7 * 86400;  // the measurements looked at
const size_t FORECAST_MIN_POINTS = 3;
const int64_t FORECAST_MIN_SPAN_SECONDS = 3600;

// Seconds from the latest measurement until free space reaches 0 at the rate of the fitted
// line, or FORECAST_NONE: fewer than 3 measurements in the 7 days before now, spanning less
// than an hour, or free space not falling. points are in time order. A change of the total
// size by more than 1 % between two measurements (a resized disk) starts the series anew.
int64_t ForecastSecondsToFull(const HistoryPoint* points, size_t count, int64_t now);

// The fitted line of the measurements the forecast uses: free bytes at time t are
// freeAtLatest + slope * (t - latestTime). False when there are too few of them.
struct ForecastLine {
    int64_t latestTime;
    double latestFree;  // the latest measurement's free bytes
    double slope;       // bytes per second; negative when free space falls
};
bool FitForecastLine(const HistoryPoint* points, size_t count, int64_t now, ForecastLine* line);
