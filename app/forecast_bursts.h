// Bursts: free space taken for a while and given back on a pattern that repeats every day or
// every week (a backup written and deleted two days later, logs rotated at night). On such a
// disk "full" is the day the lowest point of a cycle reaches zero, long before the trend
// through the ups and downs does. Used by the forecast; pure functions of its series.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// A measured check relative to the latest one: seconds before it (0 or negative) and free
// bytes more than at it.
struct ForecastSample {
    double time;
    double free;
};

// How free space falls in the long run: at rate bytes a second at the latest check, and
// faster by acceleration bytes a second each second, or by the share growth each second.
struct ForecastTrend {
    double rate;
    double acceleration;
    double growth = 0;

    // The bytes free space falls by from the latest check to t seconds after it (t negative:
    // before it, when it was higher).
    double FallBy(double t) const {
        return growth > 0 ? rate * std::expm1(growth * t) / growth
                          : rate * t + acceleration * t * t / 2;
    }
    // Seconds from the latest check until free bytes are gone; infinity when they never are,
    // 0 when free is 0 or less.
    double SecondsToZero(double free) const;
};

struct BurstCycle {
    int64_t period;  // 86400 or 604800 seconds
    // The cycles' lowest free space as of the latest check, relative to the latest check's:
    // the line of the minima is at latestFree + lowest then and falls as the trend does.
    double lowest;
    // Seconds from the latest check until the lowest point of a cycle first reaches zero:
    // the hour of the cycle it falls in, as the cycles before had it. Infinity when never.
    double secondsToFull;
};

// Looks for a cycle of a day, then of a week, in series (oldest first) with latestTime the
// latest check's time and latestFree its free bytes, on a disk of totalBytes: at least two
// whole cycles of checks, each with a dip at the same hours of the cycle (by the checks' own
// timestamps) of at least 0.5 % of the disk and well above the noise, and deep enough that
// free space rises again at the end of it whatever the trend takes meanwhile. False when
// there is none: a steady disk, a single burst, bursts at random hours.
bool FindBurstCycle(const std::vector<ForecastSample>& series, int64_t latestTime,
                    double latestFree, double totalBytes, const ForecastTrend& trend,
                    BurstCycle* cycle);
