// What the chart of a target's history shows, in pixels of a client area of a given size:
// free space over time as a line through the measured checks, the threshold as a horizontal
// line, the forecast's line from the latest check down to zero or the right edge, and the
// ticks of both axes with their labels. Kept apart from the drawing so it can be checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/history_point.h"

struct ChartPoint {
    int x;
    int y;
};

struct ChartTick {
    int position;  // x of a time tick, y of a value tick
    std::string label;
};

struct ChartInput {
    const HistoryPoint* points;  // the target's checks, oldest first
    size_t count;
    uint32_t threshold;  // the target's threshold and its unit: the vertical axis's unit
    uint32_t unit;
    int64_t now;        // for the forecast's window
    int64_t utcOffset;  // local wall-clock time minus Unix time, for the dates
    int width;          // the client area
    int height;
    int charWidth;  // of a digit of the chart's font: value labels take room by it
    int dpi = 96;   // of the window: the margins below are given for 96
};

struct ChartLayout {
    int left;  // the plot area within the client area
    int top;
    int right;
    int bottom;
    std::vector<ChartPoint> series;  // the measured checks; repeated pixels once
    bool hasThreshold;
    int thresholdY;
    bool hasForecast;
    // From the latest check down to zero; where the forecast is of repeating bursts, the line
    // of the cycles' lowest points instead, from the forecast's first day of checks.
    bool forecastOfBursts;
    ChartPoint forecastFrom;
    ChartPoint forecastTo;
    std::vector<ChartTick> timeTicks;   // dates, "MM/DD" or "MM/DD HH:MM"
    std::vector<ChartTick> valueTicks;  // "0 GB", "10 GB", ... in the threshold's unit
};

// Margins of the plot area, room for the labels; the left one grows with the longest value
// label.
const int CHART_MARGIN_LEFT = 48;
const int CHART_MARGIN_RIGHT = 16;
const int CHART_MARGIN_TOP = 16;
const int CHART_MARGIN_BOTTOM = 28;

// False when there is nothing to draw: no measured check, or no room.
bool LayOutChart(const ChartInput& input, ChartLayout* layout);
