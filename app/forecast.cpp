// The forecast's arithmetic.
#include "app/forecast.h"

#include <algorithm>

namespace {

// Longer than any disk will last: a free space that barely falls is not followed further.
const double LONGEST_FORECAST_SECONDS = 1e12;

// More than 1 % apart: the disk was resized (or replaced), not filled.
bool Resized(uint64_t a, uint64_t b) {
    uint64_t larger = a > b ? a : b;
    uint64_t difference = a > b ? a - b : b - a;
    return difference > larger / 100;
}

}  // namespace

// The sums are taken relative to the latest measurement, so a flat series gives exactly no
// slope and large sizes lose no precision; they are centred in a second pass over the range.
bool FitForecastLine(const HistoryPoint* points, size_t count, int64_t now, ForecastLine* line) {
    const HistoryPoint* end = points + count;
    const HistoryPoint* begin =
        std::lower_bound(points, end, now - FORECAST_WINDOW_SECONDS,
                         [](const HistoryPoint& point, int64_t time) { return point.time < time; });
    const HistoryPoint* latest = nullptr;
    const HistoryPoint* first = nullptr;
    size_t n = 0;
    for (const HistoryPoint* p = end; p != begin;) {
        --p;
        if (!IsMeasured(*p)) {
            continue;
        }
        if (latest != nullptr && Resized(p->totalBytes, first->totalBytes)) {
            break;
        }
        if (latest == nullptr) {
            latest = p;
        }
        first = p;
        n++;
    }
    if (n < FORECAST_MIN_POINTS || latest->time - first->time < FORECAST_MIN_SPAN_SECONDS) {
        return false;
    }
    auto x = [&](const HistoryPoint& p) { return static_cast<double>(p.time - latest->time); };
    auto y = [&](const HistoryPoint& p) {
        return static_cast<double>(static_cast<int64_t>(p.freeBytes - latest->freeBytes));
    };
    double sumX = 0;
    double sumY = 0;
    for (const HistoryPoint* p = first; p <= latest; p++) {
        if (IsMeasured(*p)) {
            sumX += x(*p);
            sumY += y(*p);
        }
    }
    double meanX = sumX / static_cast<double>(n);
    double meanY = sumY / static_cast<double>(n);
    double sxx = 0;
    double sxy = 0;
    for (const HistoryPoint* p = first; p <= latest; p++) {
        if (IsMeasured(*p)) {
            sxx += (x(*p) - meanX) * (x(*p) - meanX);
            sxy += (x(*p) - meanX) * (y(*p) - meanY);
        }
    }
    line->latestTime = latest->time;
    line->latestFree = static_cast<double>(latest->freeBytes);
    line->slope = sxy / sxx;
    return true;
}

int64_t ForecastSecondsToFull(const HistoryPoint* points, size_t count, int64_t now) {
    ForecastLine line;
    if (!FitForecastLine(points, count, now, &line) || !(line.slope < 0)) {
        return FORECAST_NONE;
    }
    double seconds = line.latestFree / -line.slope;
    return static_cast<int64_t>(std::min(seconds, LONGEST_FORECAST_SECONDS));
}
