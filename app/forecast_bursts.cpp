// Bursts of use that repeat: the cycle's shape by the hour, and when its lowest point is gone.
#include "app/forecast_bursts.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const int64_t HOUR = 3600;
const int64_t DAY = 86400;
const int64_t WEEK = 7 * DAY;
const double NEVER = std::numeric_limits<double>::infinity();

// Of an even number, the mean of the middle two. Reorders values.
double Median(std::vector<double>* values) {
    auto middle = values->begin() + static_cast<std::ptrdiff_t>(values->size() / 2);
    std::nth_element(values->begin(), middle, values->end());
    if (values->size() % 2 == 1) {
        return *middle;
    }
    return (*middle + *std::max_element(values->begin(), middle)) / 2;
}

// The series by the hour: the mean of each hour's checks with the trend taken out (what
// free space would be at the latest check without it), by hour since the first one's.
struct Hours {
    int64_t first;              // the first check's hour, counted from 1970
    std::vector<double> level;  // NaN for an hour without checks
};

Hours ByHour(const std::vector<ForecastSample>& series, int64_t latestTime,
             const ForecastTrend& trend) {
    Hours hours;
    auto hourOf = [&](double time) { return (latestTime + static_cast<int64_t>(time)) / HOUR; };
    hours.first = hourOf(series.front().time);
    size_t count = static_cast<size_t>(hourOf(0) - hours.first + 1);
    std::vector<double> sum(count, 0);
    std::vector<unsigned> checks(count, 0);
    for (const ForecastSample& s : series) {
        size_t i = static_cast<size_t>(hourOf(s.time) - hours.first);
        sum[i] += s.free + trend.FallBy(s.time);
        checks[i]++;
    }
    hours.level.resize(count);
    for (size_t i = 0; i < count; i++) {
        hours.level[i] = checks[i] > 0 ? sum[i] / checks[i] : std::nan("");
    }
    return hours;
}

// The cycle of period seconds in the hours, if they show one: profile is set to the usual
// level of each hour of the cycle (the median over the cycles), by the hour since 1970
// modulo the cycle's hours. A week is looked for from 8 days of checks on: a burst seen twice.
bool FindCycle(const Hours& hours, int64_t period, double totalBytes, const ForecastTrend& trend,
               std::vector<double>* profile) {
    const int64_t phases = period / HOUR;
    const size_t count = hours.level.size();
    if (static_cast<int64_t>(count) < phases + phases / 7) {
        return false;
    }
    auto phaseOf = [&](size_t i) {
        return static_cast<size_t>((hours.first + static_cast<int64_t>(i)) % phases);
    };
    std::vector<std::vector<double>> byPhase(static_cast<size_t>(phases));
    for (size_t i = 0; i < count; i++) {
        if (!std::isnan(hours.level[i])) {
            byPhase[phaseOf(i)].push_back(hours.level[i]);
        }
    }
    profile->assign(byPhase.size(), 0);
    for (size_t j = 0; j < byPhase.size(); j++) {
        if (byPhase[j].empty()) {
            return false;
        }
        std::vector<double> values = byPhase[j];
        (*profile)[j] = Median(&values);
    }
    // How far the hours seen more than once are from their usual level: the noise, and the
    // share of their spread that the cycle leaves unexplained.
    std::vector<double> deviations;
    double mean = 0;
    for (size_t i = 0; i < count; i++) {
        if (!std::isnan(hours.level[i]) && byPhase[phaseOf(i)].size() > 1) {
            deviations.push_back(hours.level[i] - (*profile)[phaseOf(i)]);
            mean += hours.level[i];
        }
    }
    if (deviations.empty()) {
        return false;
    }
    mean /= static_cast<double>(deviations.size());
    double unexplained = 0;
    double spread = 0;
    size_t d = 0;
    for (size_t i = 0; i < count; i++) {
        if (!std::isnan(hours.level[i]) && byPhase[phaseOf(i)].size() > 1) {
            unexplained += deviations[d] * deviations[d];
            spread += (hours.level[i] - mean) * (hours.level[i] - mean);
            deviations[d] = std::fabs(deviations[d]);
            d++;
        }
    }
    double noise = 1.4826 * Median(&deviations);
    auto highest = std::max_element(profile->begin(), profile->end());
    double top = *highest;
    double depth = top - *std::min_element(profile->begin(), profile->end());
    if (depth < totalBytes / 200 || depth < 10 * noise || depth < trend.FallBy(period) / 2 ||
        unexplained > spread / 4) {
        return false;
    }
    // Every cycle (from its highest hour on) that has checks in most of the dip's hours dips
    // there too, and at least two do: a single burst, or bursts at other hours each time,
    // make no cycle.
    double half = top - depth / 2;
    size_t dipHours = 0;
    for (double level : *profile) {
        dipHours += level < half ? 1 : 0;
    }
    int64_t offset = highest - profile->begin();
    std::vector<double> sum;
    std::vector<size_t> seen;
    for (size_t i = 0; i < count; i++) {
        if (std::isnan(hours.level[i]) || (*profile)[phaseOf(i)] >= half) {
            continue;
        }
        size_t c = static_cast<size_t>((hours.first + static_cast<int64_t>(i) - offset) / phases -
                                       (hours.first - offset) / phases);
        sum.resize(std::max(sum.size(), c + 1), 0);
        seen.resize(sum.size(), 0);
        sum[c] += hours.level[i];
        seen[c]++;
    }
    size_t dipping = 0;
    for (size_t c = 0; c < sum.size(); c++) {
        if (2 * seen[c] < dipHours) {
            continue;  // at the edge of the series, or checks missing
        }
        if (sum[c] / static_cast<double>(seen[c]) >= half) {
            return false;
        }
        dipping++;
    }
    return dipping >= 2;
}

}  // namespace

double ForecastTrend::SecondsToZero(double free) const {
    if (free <= 0) {
        return 0;
    }
    if (growth > 0 && rate > 0) {
        return std::log1p(growth * free / rate) / growth;
    }
    if (acceleration > 0) {
        return (std::sqrt(rate * rate + 2 * acceleration * free) - rate) / acceleration;
    }
    return rate > 0 ? free / rate : NEVER;
}

// The level of the latest cycle: the median of its hours against the usual ones, so that the
// size of its own burst, larger or smaller than the usual, moves the forecast but little.
// Each hour of the cycle then reaches zero when the trend has taken its level at that hour;
// the forecast is the first such hour to come.
bool FindBurstCycle(const std::vector<ForecastSample>& series, int64_t latestTime,
                    double latestFree, double totalBytes, const ForecastTrend& trend,
                    BurstCycle* cycle) {
    // Hours of the cycle are counted from 1970: a check dated before then (or within a week
    // of it) has none.
    if (series.empty() || latestTime + static_cast<int64_t>(series.front().time) < WEEK) {
        return false;
    }
    Hours hours = ByHour(series, latestTime, trend);
    std::vector<double> profile;
    for (int64_t period : {DAY, WEEK}) {
        if (!FindCycle(hours, period, totalBytes, trend, &profile)) {
            continue;
        }
        const int64_t phases = period / HOUR;
        std::vector<double> recent;
        for (size_t i = hours.level.size() - std::min(hours.level.size(), size_t(phases));
             i < hours.level.size(); i++) {
            if (!std::isnan(hours.level[i])) {
                int64_t j = (hours.first + static_cast<int64_t>(i)) % phases;
                recent.push_back(hours.level[i] - profile[static_cast<size_t>(j)]);
            }
        }
        double shift = recent.empty() ? 0 : Median(&recent);
        cycle->period = period;
        cycle->lowest = *std::min_element(profile.begin(), profile.end()) + shift;
        cycle->secondsToFull = NEVER;
        for (int64_t j = 0; j < phases; j++) {
            double seconds =
                trend.SecondsToZero(latestFree + profile[static_cast<size_t>(j)] + shift);
            if (!(seconds < cycle->secondsToFull)) {
                continue;
            }
            // The first time from then on that falls in hour j of the cycle.
            double at = static_cast<double>(latestTime) + seconds;
            int64_t hour = static_cast<int64_t>(at / HOUR);
            int64_t ahead = ((j - hour % phases) + phases) % phases;
            if (ahead > 0) {
                at = static_cast<double>((hour + ahead) * HOUR);
            }
            cycle->secondsToFull =
                std::min(cycle->secondsToFull, at - static_cast<double>(latestTime));
        }
        return true;
    }
    return false;
}
