// The chart's geometry for a prepared history: where the checks, the threshold, the
// forecast and the dates go in a client area of 400 x 300.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/host_entry.h"
#include "monitor/chart_geometry.h"

namespace {

const int64_t DAY = 86400;
const int64_t T0 = 19675 * DAY;  // 2023/11/14 00:00 UTC
const uint64_t GB = 1073741824;

std::vector<int> Xs(const std::vector<ChartPoint>& points) {
    std::vector<int> xs;
    for (const ChartPoint& point : points) {
        xs.push_back(point.x);
    }
    return xs;
}

// 30, 20 and 10 GB free of 100 GB a day apart, and a failed check between: the time axis
// runs over 2.5 days (x 48 to 384), the value axis from 0 to 40 (y 272 to 16), and the
// forecast, 1 day beyond the latest check, is cut at the right edge at 5 GB.
TEST(ChartGeometry, APreparedHistoryGivesItsPoints) {
    const std::vector<HistoryPoint> points = {
        {T0, 30 * GB, 100 * GB, 1},
        {T0 + DAY / 2, 0, 0, 5},
        {T0 + DAY, 20 * GB, 100 * GB, 2},
        {T0 + 2 * DAY, 10 * GB, 100 * GB, 3},
    };
    const struct {
        uint32_t threshold;
        uint32_t unit;
        int64_t utcOffset;
        int thresholdY;
        std::vector<ChartTick> timeTicks;
        const char* topLabel;
    } cases[] = {
        {5, UNIT_GB, 0, 240, {{48, "11/14"}, {182, "11/15"}, {317, "11/16"}}, "40 GB"},
        {10, UNIT_PERCENT, 9 * 3600, 208, {{132, "11/15"}, {266, "11/16"}}, "40 %"},
    };
    for (const auto& c : cases) {
        ChartLayout layout;
        ChartInput input = {points.data(), points.size(), c.threshold, c.unit, T0 + 2 * DAY,
                            c.utcOffset,   400,           300,         7};
        ASSERT_TRUE(LayOutChart(input, &layout));
        EXPECT_EQ((std::vector<int>{48, 16, 384, 272}),
                  (std::vector<int>{layout.left, layout.top, layout.right, layout.bottom}));
        ASSERT_EQ(3u, layout.series.size());
        EXPECT_EQ((std::vector<int>{48, 182, 317}), Xs(layout.series));
        EXPECT_EQ((std::vector<int>{80, 144, 208}),
                  (std::vector<int>{layout.series[0].y, layout.series[1].y, layout.series[2].y}));
        EXPECT_TRUE(layout.hasThreshold);
        EXPECT_EQ(c.thresholdY, layout.thresholdY);
        ASSERT_TRUE(layout.hasForecast);
        EXPECT_EQ((std::vector<int>{317, 208, 384, 240}),
                  (std::vector<int>{layout.forecastFrom.x, layout.forecastFrom.y,
                                    layout.forecastTo.x, layout.forecastTo.y}));
        ASSERT_EQ(c.timeTicks.size(), layout.timeTicks.size());
        for (size_t i = 0; i < c.timeTicks.size(); i++) {
            EXPECT_EQ(c.timeTicks[i].position, layout.timeTicks[i].position);
            EXPECT_EQ(c.timeTicks[i].label, layout.timeTicks[i].label);
        }
        ASSERT_EQ(5u, layout.valueTicks.size());
        EXPECT_EQ(272, layout.valueTicks[0].position);
        EXPECT_EQ(16, layout.valueTicks[4].position);
        EXPECT_EQ(c.topLabel, layout.valueTicks[4].label);
    }
}

// A forecast that reaches zero inside the chart ends there; a disk that is not filling
// has none; a percent axis ends at the whole disk; a history without a measured check, or a window
// too small, draws nothing.
TEST(ChartGeometry, TheForecastEndsAtZeroAndNothingIsDrawnWithoutAMeasuredCheck) {
    std::vector<HistoryPoint> points = {{T0, 30 * GB, 100 * GB, 1},
                                        {T0 + DAY, 20 * GB, 100 * GB, 1},
                                        {T0 + 2 * DAY, GB, 100 * GB, 1}};
    ChartLayout layout;
    ChartInput input = {points.data(), points.size(), 1, UNIT_GB, T0 + 2 * DAY, 0, 400, 300, 7};
    ASSERT_TRUE(LayOutChart(input, &layout));
    ASSERT_TRUE(layout.hasForecast);
    EXPECT_EQ(layout.bottom, layout.forecastTo.y);
    EXPECT_LT(layout.forecastTo.x, layout.right);

    points[2].freeBytes = 40 * GB;
    ASSERT_TRUE(LayOutChart(input, &layout));
    EXPECT_FALSE(layout.hasForecast);

    points[0].freeBytes = 95 * GB;  // 95 %: the axis stops at 100 %, not at 150 %
    input.unit = UNIT_PERCENT;
    ASSERT_TRUE(LayOutChart(input, &layout));
    EXPECT_EQ("100 %", layout.valueTicks.back().label);
    EXPECT_EQ(layout.top, layout.valueTicks.back().position);

    std::vector<HistoryPoint> failed = {{T0, 0, 0, 5}};
    EXPECT_FALSE(
        LayOutChart({failed.data(), failed.size(), 1, UNIT_GB, T0, 0, 400, 300, 7}, &layout));
    EXPECT_FALSE(
        LayOutChart({points.data(), points.size(), 1, UNIT_GB, T0, 0, 80, 300, 7}, &layout));
}

// At 150 % the margins are half as wide again, so the labels keep their room.
TEST(ChartGeometry, TheMarginsGrowWithTheWindowsDpi) {
    std::vector<HistoryPoint> points = {{T0, 30 * GB, 100 * GB, 1},
                                        {T0 + DAY, 20 * GB, 100 * GB, 1}};
    ChartLayout at96;
    ChartLayout at144;
    ChartInput input = {points.data(), points.size(), 1, UNIT_GB, T0 + DAY, 0, 600, 450, 0};
    ASSERT_TRUE(LayOutChart(input, &at96));
    input.dpi = 144;
    ASSERT_TRUE(LayOutChart(input, &at144));
    EXPECT_EQ(at96.left * 3 / 2, at144.left);
    EXPECT_EQ(at96.top * 3 / 2, at144.top);
    EXPECT_EQ(600 - (600 - at96.right) * 3 / 2, at144.right);
    EXPECT_EQ(450 - (450 - at96.bottom) * 3 / 2, at144.bottom);
}

// Logs of 40 GB a day rotated at midnight on a fill of 10 GB a day: the forecast is of the
// lowest points, so its line runs from the first check on under every check, touching the
// last ones before each rotation.
TEST(ChartGeometry, TheForecastOfBurstsIsTheLineOfTheLowestPoints) {
    std::vector<HistoryPoint> points;
    for (int64_t t = 0; t <= 4 * DAY; t += 1800) {
        uint64_t used = (10 * t + 40 * (t % DAY)) / DAY;
        points.push_back({T0 + t, (400 - used) * GB, 1000 * GB, 1});
    }
    ChartLayout layout;
    ChartInput input = {points.data(), points.size(), 1, UNIT_GB, T0 + 4 * DAY, 0, 400, 300, 7};
    ASSERT_TRUE(LayOutChart(input, &layout));
    ASSERT_TRUE(layout.hasForecast);
    EXPECT_TRUE(layout.forecastOfBursts);
    EXPECT_EQ(layout.left, layout.forecastFrom.x);
    int lowest = 0;
    for (const ChartPoint& point : layout.series) {
        double share = static_cast<double>(point.x - layout.forecastFrom.x) /
                       (layout.forecastTo.x - layout.forecastFrom.x);
        double lineY =
            layout.forecastFrom.y + share * (layout.forecastTo.y - layout.forecastFrom.y);
        EXPECT_GE(lineY + 1, point.y) << point.x;
        lowest = std::max(lowest, point.y);
    }
    EXPECT_LE(layout.forecastFrom.y, lowest + 3);
}

}  // namespace
