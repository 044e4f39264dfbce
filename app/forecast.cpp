// The forecast's arithmetic.
#include "app/forecast.h"

#include "app/forecast_bursts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

const int64_t DAY = 86400;
const int64_t WEEK = 7 * DAY;
const double NEVER = std::numeric_limits<double>::infinity();

// More than 1 % apart: the disk was resized (or replaced), not filled.
bool Resized(uint64_t a, uint64_t b) {
    uint64_t larger = a > b ? a : b;
    uint64_t difference = a > b ? a - b : b - a;
    return difference > larger / 100;
}

using Sample = ForecastSample;

// The checks the forecast rests on, oldest first: the measured ones of the window up to now,
// of the given run, since the disk's size last changed. checks is set to their number, or to
// FORECAST_MIN_POINTS where there are more. Counting back from the latest, checks closer than
// 5 minutes to the one taken before are passed over, and before the last week (which the
// last week's falls reach back to by a day only) checks closer than 30 minutes are skipped
// without being looked at: neither adds anything the falls of a day need, and so the work
// stays small however often the targets are checked.
std::vector<Sample> SeriesOf(const HistoryPoint* points, size_t count, int64_t now, uint32_t run,
                             const HistoryPoint** latest, size_t* checks) {
    const int64_t spacing = 300;
    const int64_t coarseSpacing = 1800;
    const int64_t coarseBefore = now - WEEK;
    auto earlier = [](const HistoryPoint& point, int64_t time) { return point.time < time; };
    auto later = [](int64_t time, const HistoryPoint& point) { return time < point.time; };
    const HistoryPoint* end = std::upper_bound(points, points + count, now, later);
    const HistoryPoint* begin =
        std::lower_bound(points, end, now - FORECAST_WINDOW_SECONDS, earlier);
    *latest = nullptr;
    *checks = 0;
    const HistoryPoint* oldest = nullptr;
    const HistoryPoint* taken = nullptr;
    std::vector<Sample> series;
    series.reserve(std::min(static_cast<size_t>(end - begin),
                            static_cast<size_t>(FORECAST_WINDOW_SECONDS / spacing + 2)));
    auto take = [&](const HistoryPoint* p) {
        series.push_back(
            {static_cast<double>(p->time - (*latest)->time),
             static_cast<double>(static_cast<int64_t>(p->freeBytes - (*latest)->freeBytes))});
        taken = p;
    };
    for (const HistoryPoint* p = end; p != begin;) {
        --p;
        if (!IsMeasured(*p) || p->run != run) {
            continue;
        }
        if (*latest == nullptr) {
            *latest = p;
        } else if (p->totalBytes != oldest->totalBytes &&
                   Resized(p->totalBytes, oldest->totalBytes)) {
            break;
        }
        oldest = p;
        *checks = std::min(*checks + 1, FORECAST_MIN_POINTS);
        if (taken == nullptr || p->time <= taken->time - spacing) {
            take(p);
            if (p->time < coarseBefore && *checks == FORECAST_MIN_POINTS) {
                p = std::upper_bound(begin, p, p->time - coarseSpacing, later);
            }
        }
    }
    if (oldest != taken) {
        take(oldest);
    }
    std::reverse(series.begin(), series.end());
    return series;
}

// Bytes per second by least squares, for a series shorter than a day. The sums are centred,
// so a flat series gives exactly no slope and large sizes lose no precision.
double LeastSquaresSlope(const std::vector<Sample>& series) {
    double meanX = 0;
    double meanY = 0;
    for (const Sample& s : series) {
        meanX += s.time;
        meanY += s.free;
    }
    meanX /= static_cast<double>(series.size());
    meanY /= static_cast<double>(series.size());
    double sxx = 0;
    double sxy = 0;
    for (const Sample& s : series) {
        sxx += (s.time - meanX) * (s.time - meanX);
        sxy += (s.time - meanX) * (s.free - meanY);
    }
    return sxy / sxx;
}

// A week's daily falls summed up: their mean without the outliers, and the width of their
// middle half (from the lower to the upper quartile), which says how much they vary.
struct Falls {
    double mean;
    double width;
    double lower;  // the quartiles
    double upper;
};

// The mean of values without those far outside their middle half (more than three times its
// width beyond it): a rate that one-off jumps, backups written and deleted, and passing jobs
// do not move, while whole weeks of office hours or rotated logs still count in full, and so
// do fills that come in steps every few days. Where the values that are left pull the mean
// below half the median, a quarter of them or more are space given back (two bursts given
// back within a week, each a day's worth of falls, whose space was taken before it): the
// middle half reaches into them and says little, so values farther from the median than four
// times it, and than least (bytes a second, a fall of a day that is plainly no rate of its
// own), are left out then. Empty values give a mean of 0. Reorders values.
Falls MeanWithinFences(std::vector<double>* values, double least) {
    size_t n = values->size();
    if (n == 0) {
        return {0, 0, 0, 0};
    }
    auto lower = values->begin() + static_cast<std::ptrdiff_t>(n / 4);
    auto middle = values->begin() + static_cast<std::ptrdiff_t>(n / 2);
    auto upper = values->begin() + static_cast<std::ptrdiff_t>(n * 3 / 4);
    std::nth_element(values->begin(), middle, values->end());
    double median = *middle;
    std::nth_element(values->begin(), lower, middle);
    double first = *lower;
    std::nth_element(middle, upper, values->end());
    double width = *upper - first;
    auto meanWithin = [values](double low, double high) {
        double sum = 0;
        size_t kept = 0;
        for (double v : *values) {
            if (v >= low && v <= high) {
                sum += v;
                kept++;
            }
        }
        return kept > 0 ? sum / static_cast<double>(kept) : 0;
    };
    double low = first - 3 * width;
    double high = *upper + 3 * width;
    double mean = meanWithin(low, high);
    if (median > 0 && mean < median / 2) {
        double reach = std::max(4 * median, least);
        mean = meanWithin(std::max(low, median - reach), std::min(high, median + reach));
    }
    return {mean, width, first, *upper};
}

}  // namespace

// The daily falls: for each check a day or more after the first, the fall of free space since
// the last check a day before it, per second. Whole days of them see whole daily cycles (logs
// rotated at night, office hours), and a one-off jump is in one day's worth of them only, which
// the mean leaves out. The falls of the last week give the rate; when those of the week
// before were clearly slower, the fill is speeding up, and the forecast follows the rise.
// Where free space falls and recovers every day or week, the forecast is of the cycles'
// lowest points instead (see FindBurstCycle).
bool FitForecastLine(const HistoryPoint* points, size_t count, int64_t now, uint32_t run,
                     ForecastLine* line) {
    const HistoryPoint* latest;
    size_t checks;
    std::vector<Sample> series = SeriesOf(points, count, now, run, &latest, &checks);
    if (checks < FORECAST_MIN_POINTS ||
        -series.front().time < static_cast<double>(FORECAST_MIN_SPAN_SECONDS)) {
        return false;
    }
    line->latestTime = latest->time;
    line->latestFree = static_cast<double>(latest->freeBytes);
    line->burstPeriod = 0;
    line->lowestFree = line->latestFree;
    // The fences around the median reach 1 % of the disk a day at least.
    const double least = static_cast<double>(latest->totalBytes) / 100 / DAY;
    std::vector<double> lastWeek;
    std::vector<Sample> falls;      // at the time of each check, per second
    size_t before = series.size();  // just after the latest check a day before
    for (size_t i = series.size(); i-- > 0;) {
        const Sample& s = series[i];
        while (before > 0 && series[before - 1].time > s.time - DAY) {
            before--;
        }
        if (before == 0) {
            break;  // nor is there one for the earlier checks
        }
        const Sample& dayBefore = series[before - 1];
        double fall = (dayBefore.free - s.free) / (s.time - dayBefore.time);
        falls.push_back({s.time, fall});
        if (s.time > -WEEK) {
            lastWeek.push_back(fall);
        }
    }
    if (lastWeek.empty()) {
        line->slope = LeastSquaresSlope(series);
        line->secondsToFull = line->slope < 0 ? line->latestFree / -line->slope : NEVER;
        return true;
    }
    Falls recent = MeanWithinFences(&lastWeek, least);
    double rate = recent.mean;
    double acceleration = 0;
    // The falls of the last stretch against those of the stretch before: a week each once the
    // week before is nearly whole, before that halves of the falls there are (3 days at
    // least). A rise counts when it is an eighth of the earlier rate and clearly more than
    // the falls of 6 hours vary within each stretch.
    double span = -series.front().time;
    double stretch = span >= static_cast<double>(WEEK + DAY + WEEK * 7 / 8)
                         ? static_cast<double>(WEEK)
                         : std::min(static_cast<double>(WEEK), (span - DAY) / 2);
    // The falls from back seconds before the latest check to back + length seconds before,
    // as the means of the falls of each 6 hours: each hour counts the same on both sides of
    // the last week's start (where the checks are kept 30 minutes apart), and the noise of
    // single checks, which the falls of frequent checks carry, weighs less than a rise that
    // lasts.
    auto fallsOf = [&falls, least](double back, double length) {
        const double part = 6 * 3600;
        std::vector<double> within;
        double taken = 0;
        double sum = 0;
        int count = 0;
        for (const Sample& fall : falls) {
            if (fall.time > -back || fall.time <= -back - length) {
                continue;
            }
            if (count > 0 && fall.time <= taken - part) {
                within.push_back(sum / count);
                count = 0;
                sum = 0;
            }
            if (count == 0) {
                taken = fall.time;
            }
            sum += fall.free;
            count++;
        }
        if (count > 0) {
            within.push_back(sum / count);
        }
        return MeanWithinFences(&within, least);
    };
    double growth = 0;
    if (stretch >= 3 * DAY) {
        Falls now = fallsOf(0, stretch);
        Falls then = fallsOf(stretch, stretch);
        double rise = now.mean - then.mean;
        // Less than a week each sees a week's cycle in part only: then the two middle halves
        // do not overlap either.
        if (then.mean > 0 && rise > then.mean / 8 && rise > std::max(now.width, then.width) / 2 &&
            (stretch >= static_cast<double>(WEEK) || now.lower > then.upper)) {
            acceleration = rise / stretch;
            // The last week's falls centre half their span and half a day back.
            rate += acceleration * (std::min(static_cast<double>(WEEK), span - DAY) + DAY) / 2;
        }
        // A rise that grows from one third of the falls to the next (each clear, the later
        // a seventh larger) by about the same share each time is a rate growing by a share
        // (a step up rises once only): the forecast follows it so.
        double third = (span - DAY) / 3;
        Falls first = fallsOf(2 * third, third);
        Falls second = fallsOf(third, third);
        Falls last = fallsOf(0, third);
        double width = std::max({first.width, second.width, last.width}) / 2;
        if (acceleration > 0 && third >= 2 * DAY && first.mean > 0 &&
            second.mean - first.mean > std::max(first.mean * 0.2, width) &&
            last.mean - second.mean > (second.mean - first.mean) * 1.15 &&
            last.mean / second.mean < second.mean / first.mean * 1.15) {
            growth = std::log(last.mean / second.mean) / third;
            rate = last.mean * std::exp(growth * (third + DAY) / 2);
            acceleration = 0;
        }
    }
    ForecastTrend trend = {rate, acceleration, growth};
    BurstCycle cycle;
    if (FindBurstCycle(series, latest->time, line->latestFree,
                       static_cast<double>(latest->totalBytes), trend, &cycle)) {
        line->burstPeriod = cycle.period;
        line->lowestFree = line->latestFree + cycle.lowest;
        line->secondsToFull = rate > 0 ? cycle.secondsToFull : NEVER;
    } else {
        line->secondsToFull = rate > 0 ? trend.SecondsToZero(line->latestFree) : NEVER;
    }
    // The line from the level forecast from (the latest check's, or the cycles' lowest)
    // down to zero when the forecast says; the trend's rate when that level is gone already
    // (the next burst does not fit).
    double seconds = line->secondsToFull;
    line->slope = seconds > 0 && seconds < NEVER && line->lowestFree > 0
                      ? -line->lowestFree / seconds
                      : -rate;
    return true;
}

uint32_t NewestRun(const HistoryPoint* points, size_t count, int64_t now) {
    uint32_t run = 0;
    for (const HistoryPoint* p = points; p != points + count && p->time <= now; p++) {
        run = std::max(run, p->run);
    }
    return run;
}

int64_t ForecastSecondsToFull(const HistoryPoint* points, size_t count, int64_t now, uint32_t run,
                              bool* ofBursts) {
    ForecastLine line;
    bool fitted = FitForecastLine(points, count, now, run, &line);
    if (ofBursts != nullptr) {
        *ofBursts = fitted && line.burstPeriod != 0;
    }
    if (!fitted || !(line.secondsToFull < NEVER)) {
        return FORECAST_NONE;
    }
    return static_cast<int64_t>(
        std::min(line.secondsToFull, static_cast<double>(FORECAST_YEAR_SECONDS)));
}
