// The forecast against worked cases: a falling, flat, rising and noisy disk, too few
// checks, a span under an hour, a resized disk, old and failed checks left out; a one-off
// copy and cleanup, a fill speeding up, office hours, and a flat disk with noise and jobs;
// bursts that repeat every day or week and some that do not; checks dated ahead of now and a
// clock set back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "app/forecast.h"

namespace {

const int64_t NOW = 1700000000;
const double GB = 1e9;
const int64_t DAY = 86400;

// count measured checks step seconds apart, the last one at NOW, with free(i) bytes free
// (i = 0 is the oldest) of a 1 TB disk.
std::vector<HistoryPoint> Series(int count, int64_t step, std::function<double(int)> free) {
    std::vector<HistoryPoint> points;
    for (int i = 0; i < count; i++) {
        points.push_back({NOW - (count - 1 - i) * step, static_cast<uint64_t>(free(i)),
                          static_cast<uint64_t>(1000 * GB), 1});
    }
    return points;
}

// points without those dated from from to to seconds before NOW.
std::vector<HistoryPoint> Without(std::vector<HistoryPoint> points, int64_t from, int64_t to) {
    points.erase(std::remove_if(points.begin(), points.end(),
                                [&](const HistoryPoint& p) {
                                    return p.time > NOW - from && p.time < NOW - to;
                                }),
                 points.end());
    return points;
}

int64_t Forecast(const std::vector<HistoryPoint>& points) {
    return ForecastSecondsToFull(points.data(), points.size(), NOW,
                                 NewestRun(points.data(), points.size(), NOW));
}

TEST(Forecast, WorkedCases) {
    const struct {
        const char* name;
        std::vector<HistoryPoint> points;
        int64_t expected;
    } cases[] = {
        // 1 GB an hour from 100 GB: 91 GB left at the latest, 91 hours.
        {"falling", Series(10, 3600, [](int i) { return 100 * GB - i * GB; }), 91 * 3600},
        {"already full", Series(4, 3600, [](int i) { return (3 - i) * GB; }), 0},
        {"flat", Series(10, 3600, [](int) { return 500 * GB; }), FORECAST_NONE},
        {"rising", Series(10, 3600, [](int i) { return 100 * GB + i * GB; }), FORECAST_NONE},
        {"two checks", Series(2, 86400, [](int i) { return 100 * GB - i * GB; }), FORECAST_NONE},
        {"under an hour", Series(5, 899, [](int i) { return 100 * GB - i * GB; }), FORECAST_NONE},
        {"exactly an hour", Series(3, 1800, [](int i) { return 10 * GB - i * GB; }), 8 * 1800},
        {"none at all", {}, FORECAST_NONE},
        // Three checks over an hour, the last two 3 minutes apart: 1 GB an hour, 9 GB left.
        {"two close together",
         {{NOW - 3600, 10000000000, 1000000000000, 1},
          {NOW - 180, 9050000000, 1000000000000, 1},
          {NOW, 9000000000, 1000000000000, 1}},
         9 * 3600},
        // 10 GB a day with 300 GB left, no check measured for 11 days (a server unreachable):
        // the stretch the gap leaves empty counts as no rise.
        {"checks missing for 11 days",
         Without(Series(721, 1800, [](int i) { return 300 * GB + 10 * GB * (720 - i) / 48; }),
                 14 * DAY + DAY / 5, 3 * DAY),
         30 * DAY},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Forecast(c.points)) << c.name;
    }
}

// Noise of a few GB around a fall of 2 GB a day: the fit finds the rate within a few per
// cent.
TEST(Forecast, NoisyChecksFollowTheTrend) {
    const double noise[] = {3, -2, 1, -3, 2, 0, -1, 3, -2, 1};
    std::vector<HistoryPoint> points =
        Series(60, 7200, [&](int i) { return 300 * GB - i * GB / 6 + noise[i % 10] * GB; });
    double latest = static_cast<double>(points.back().freeBytes);
    double expected = latest / (2 * GB / 86400);
    EXPECT_NEAR(expected, static_cast<double>(Forecast(points)), expected * 0.05);
}

// After a resize only the checks since are fitted; checks older than 15 days and failed
// ones are not looked at.
TEST(Forecast, OnlyTheRecentMeasuredChecksOfTheSameDiskCount) {
    std::vector<HistoryPoint> points =
        Series(10, 3600, [](int i) { return 100 * GB - i * 10 * GB; });  // 10 GB an hour
    for (HistoryPoint& point : points) {
        point.time -= 12 * 3600;
    }
    std::vector<HistoryPoint> grown =
        Series(4, 3600, [](int i) { return 1000 * GB - i * GB; });  // 1 GB an hour
    for (HistoryPoint& point : grown) {
        point.totalBytes = static_cast<uint64_t>(2000 * GB);
    }
    points.insert(points.end(), grown.begin(), grown.end());
    EXPECT_EQ(997 * 3600, Forecast(points)) << "the disk was doubled in size";

    std::vector<HistoryPoint> mixed =
        Series(6, 3600, [](int i) { return 50 * GB - i * GB; });  // 1 GB an hour, 45 GB left
    mixed.insert(mixed.begin(), {NOW - 16 * 86400, static_cast<uint64_t>(GB),
                                 static_cast<uint64_t>(1000 * GB), 4});
    mixed.insert(mixed.begin() + 4, {NOW - 2 * 3600 - 1, 0, 0, 5});
    mixed.push_back({NOW + 10, 0, 0, 5});
    EXPECT_EQ(45 * 3600, Forecast(mixed));
}

// Checks every step seconds over days days, the last at NOW, with free(d) bytes free d days
// before NOW (d <= 0).
std::vector<HistoryPoint> Over(int days, std::function<double(double)> free, int step = 1800) {
    int perDay = static_cast<int>(DAY / step);
    return Series(days * perDay + 1, step,
                  [&](int i) { return free(static_cast<double>(i - days * perDay) / perDay); });
}

// Deterministic noise in [-1, 1).
double Noise(int i) {
    uint64_t x = static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 31)) * 0xBF58476D1CE4E5B9ull;
    return static_cast<double>(x >> 11) / 4503599627370496.0 - 1;
}

// Bytes written by NOW + d days into a disk filled 14 GB each weekday from 9:00 to 18:00
// (UTC), nothing at weekends: 10 GB a day on average.
double OfficeWritten(double d) {
    double day = static_cast<double>(NOW) / DAY + d + 3;  // days since a Monday, 00:00
    double weeks = std::floor(day / 7);
    double weekday = day - weeks * 7;
    double hours = (weekday - std::floor(weekday)) * 24;
    double today = weekday < 5 ? std::min(std::max(hours - 9, 0.0), 9.0) / 9 : 0;
    return 14 * GB * (weeks * 5 + std::min(std::floor(weekday), 5.0) + today);
}

// Disks that fill in about 30 days whatever happened before: the rate is that of the
// lasting usage, the level that of now.
TEST(Forecast, OneOffJumpsDailyAndWeeklyCyclesAndASpeedUp) {
    const double k = std::log(2.0) / 6;  // a rate twice as fast every 6 days
    const struct {
        const char* name;
        std::function<double(double)> free;
        double expectedDays;
        double tolerance;
    } cases[] = {
        // 10 GB a day with 300 GB left; the old fit saw the copy as a week's fall.
        {"a copy of 200 GB 3 days ago",
         [](double d) { return 300 * GB - 10 * GB * d + (d < -3 ? 200 * GB : 0); }, 30, 0.03},
        {"a cleanup of 200 GB 3 days ago",
         [](double d) { return 300 * GB - 10 * GB * d - (d < -3 ? 200 * GB : 0); }, 30, 0.03},
        {"office hours, 10 GB a day on average",
         [](double d) { return 300 * GB + OfficeWritten(0) - OfficeWritten(d); }, 30, 0.1},
        // 20 GB a day now, 1 GB a day faster each day: 300 GB last 11.6 days.
        {"a fill speeding up", [](double d) { return 300 * GB - (20 * d + d * d / 2) * GB; },
         std::sqrt(1000.0) - 20, 0.05},
        // 20 GB a day now, twice as fast every 7 days: 300 GB last 9.2 days.
        {"a rate doubling every week",
         [](double d) {
             return 300 * GB - 20 * GB * 7 / std::log(2.0) * std::expm1(d / 7 * std::log(2.0));
         },
         std::log1p(std::log(2.0) / 7 * 300 / 20) / (std::log(2.0) / 7), 0.05},
        // Two bursts given back within the last week (and one written in it): the days they
        // took or gave back space in are left out however many there are.
        {"backups of 150 GB held 3 days, given back 5.5 and 1.7 days ago",
         [](double d) {
             bool held = (d >= -8.5 && d < -5.5) || (d >= -4.7 && d < -1.7);
             return 300 * GB - 10 * GB * d - (held ? 150 * GB : 0);
         },
         30, 0.03},
        // A fill in steps: 30 GB written every third day, a third of the falls.
        {"steps of 30 GB every 3 days",
         [](double d) { return 300 * GB - 30 * GB * std::floor(d / 3 + 0.5); }, 30, 0.1},
        // From 1 GB a day 15 days ago, twice as fast every 6 days, with checks 2 GB either
        // way (which hid the rise from the falls of single checks): 460 GB left at 5.7 GB a
        // day last 20.3 days.
        {"a rate doubling every 6 days with noisy checks",
         [=](double d) {
             return 500 * GB - GB / k * std::expm1(k * (d + 15)) +
                    2 * GB * Noise(static_cast<int>(std::lround((d + 15) * 1440)));
         },
         std::log1p((500 - std::expm1(15 * k) / k) * k / std::exp(15 * k)) / k, 0.05},
        {"logs of 40 GB a day rotated at midnight on 10 GB a day",
         [](double d) {
             double hours = std::fmod(static_cast<double>(NOW) / 3600 + d * 24, 24);
             return 300 * GB - 10 * GB * d - 40 * GB * hours / 24;
         },
         (300 - 40 * std::fmod(static_cast<double>(NOW) / 3600, 24) / 24) / 10, 0.03},
    };
    for (const auto& c : cases) {
        for (int step : {1800, 60}) {  // checks every minute are thinned out
            double days = static_cast<double>(Forecast(Over(15, c.free, step))) / DAY;
            EXPECT_NEAR(c.expectedDays, days, c.expectedDays * c.tolerance) << c.name << step;
        }
    }
}

// Bursts: the cycle is found by the hours of the checks, and the forecast is of its lowest
// point, on the trend of 10 GB a day. Weekly: 200 GB held 2 days, the last ended half a day
// ago, 400 GB free besides: the minima's line is at 200 GB and the burst 20 days on no longer
// fits. Daily: logs of 40 GB a day, rotated 0.7 days before each check's day ends, on 300 GB:
// the lowest point is 40 GB below the rotation's level, gone in the cycle from day 25.7 on, at
// 26.56. A steady fill, bursts at irregular days, and a burst seen once make no cycle.
TEST(Forecast, BurstsThatRepeatAreForecastByTheCyclesLowestPoints) {
    auto held = [](double d, std::vector<double> starts, double days) {
        for (double start : starts) {
            if (d >= start && d < start + days) {
                return 200 * GB;
            }
        }
        return 0.0;
    };
    const struct {
        const char* name;
        std::function<double(double)> free;
        int64_t period;
        double lowestGB;
        double days;
    } cases[] = {
        {"weekly",
         [](double d) {
             return 400 * GB - 10 * GB * d - (std::fmod(d + 700 + 2.5, 7) < 2 ? 200 * GB : 0);
         },
         7 * DAY, 200, 20},
        {"daily",
         [](double d) {
             return 300 * GB - 10 * GB * d - 40 * GB * (d + 100.3 - std::floor(d + 100.3));
         },
         DAY, 260.8, 26.56},
        {"none", [](double d) { return 400 * GB - 10 * GB * d; }, 0, 0, 40},
        {"irregular",
         [&](double d) {
             return 400 * GB - 10 * GB * d - held(d, {-13.5, -9.5, -3.2}, 1);
         },
         0, 0, 40},
        {"one burst only", [&](double d) { return 400 * GB - 10 * GB * d - held(d, {-5}, 2); }, 0,
         0, 40},
    };
    for (const auto& c : cases) {
        std::vector<HistoryPoint> points = Over(15, c.free);
        ForecastLine line;
        ASSERT_TRUE(FitForecastLine(points.data(), points.size(), NOW, 0, &line)) << c.name;
        EXPECT_EQ(c.period, line.burstPeriod) << c.name;
        if (c.period != 0) {
            EXPECT_NEAR(c.lowestGB * GB, line.lowestFree, 2 * GB) << c.name;
        }
        EXPECT_NEAR(c.days, line.secondsToFull / DAY, 0.1) << c.name;
        bool ofBursts = false;
        ForecastSecondsToFull(points.data(), points.size(), NOW, 0, &ofBursts);
        EXPECT_EQ(c.period != 0, ofBursts) << c.name;
    }
}

// A disk that does not fill: noise of 5 GB either way, or a job that holds 50 GB for 6 hours a
// day, gives no forecast or one of a year or more, never an alarm.
TEST(Forecast, AFlatDiskWithNoiseOrJobsIsNotForecastToFill) {
    const struct {
        const char* name;
        std::function<double(double)> free;
    } cases[] = {
        {"noise", [](double d) { return 500 * GB + 5 * GB * Noise(static_cast<int>(d * 48)); }},
        {"jobs",
         [](double d) {
             double hour = std::fmod(d * 24 + 1000 * 24, 24);
             return 500 * GB - (hour >= 2 && hour < 8 ? 50 * GB : 0);
         }},
    };
    for (const auto& c : cases) {
        for (int days : {2, 8, 15}) {
            int64_t forecast = Forecast(Over(days, c.free));
            EXPECT_TRUE(forecast == FORECAST_NONE || forecast == FORECAST_YEAR_SECONDS)
                << c.name << " over " << days << " days: " << forecast;
        }
    }
}

// A clock set ahead for one start wrote checks dated 40 days on, with little free; then a clock
// 2 days ahead was set right, so that checks are dated before those written earlier. Neither
// takes over: checks dated after now are left out, and a step back starts a new run.
TEST(Forecast, ChecksDatedAheadAndAClockSetBack) {
    std::vector<HistoryPoint> points =
        Series(10, 3600, [](int i) { return 100 * GB - i * GB; });  // 91 hours left
    std::vector<HistoryPoint> ahead = points;
    ahead.push_back(
        {NOW + 40 * DAY, static_cast<uint64_t>(GB), static_cast<uint64_t>(1000 * GB), 1});
    EXPECT_EQ(91 * 3600, Forecast(ahead));

    // 10 GB a day: 5 days dated 2 days ahead, then the last day dated right, as the history
    // stamps them (in time order, the later run among the earlier one).
    std::vector<HistoryPoint> setBack = Over(5, [](double d) { return 100 * GB - 10 * GB * d; });
    for (HistoryPoint& point : setBack) {
        point.time += 2 * DAY - DAY;  // written up to a day ago, dated a day ahead
        point.freeBytes += static_cast<uint64_t>(10 * GB);
    }
    std::vector<HistoryPoint> since = Over(1, [](double d) { return 100 * GB - 10 * GB * d; });
    for (HistoryPoint& point : since) {
        point.run = 1;
    }
    setBack.insert(setBack.end(), since.begin(), since.end());
    std::stable_sort(setBack.begin(), setBack.end(),
                     [](const HistoryPoint& a, const HistoryPoint& b) { return a.time < b.time; });
    EXPECT_EQ(10 * DAY, Forecast(setBack));
}

}  // namespace
