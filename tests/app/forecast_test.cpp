// The forecast against worked cases: a falling, flat, rising and noisy disk, too few
// checks, a span under an hour, a resized disk, old and failed checks left out.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/forecast.h"

namespace {

const int64_t NOW = 1700000000;
const double GB = 1e9;

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

int64_t Forecast(const std::vector<HistoryPoint>& points) {
    return ForecastSecondsToFull(points.data(), points.size(), NOW);
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

// After a resize only the checks since are fitted; checks older than 7 days and failed
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
    mixed.insert(mixed.begin(),
                 {NOW - 8 * 86400, static_cast<uint64_t>(GB), static_cast<uint64_t>(1000 * GB), 4});
    mixed.insert(mixed.begin() + 4, {NOW - 2 * 3600 - 1, 0, 0, 5});
    mixed.push_back({NOW + 10, 0, 0, 5});
    EXPECT_EQ(45 * 3600, Forecast(mixed));
}

}  // namespace
