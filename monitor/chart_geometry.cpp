// The chart's geometry.
#include "monitor/chart_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/forecast.h"
#include "app/host_entry.h"
#include "app/wall_clock.h"

namespace {

const int VALUE_TICKS = 5;  // about as many value ticks

// The vertical axis's value of a number of free bytes: a per cent of the total for a
// percent target, the threshold's unit otherwise.
double AxisValue(double freeBytes, uint64_t totalBytes, uint32_t unit) {
    switch (unit) {
        case UNIT_PERCENT:
            return totalBytes == 0 ? 0 : freeBytes * 100.0 / static_cast<double>(totalBytes);
        case UNIT_KB:
            return freeBytes / 1024.0;
        case UNIT_MB:
            return freeBytes / 1048576.0;
        case UNIT_GB:
            return freeBytes / 1073741824.0;
        default:
            return freeBytes;
    }
}

// 1, 2 or 5 times a power of ten, at least raw.
double NiceStep(double raw) {
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= raw) {
            return factor * power;
        }
    }
    return 10 * power;
}

std::string ValueLabel(double value, double step, uint32_t unit) {
    char text[48];
    int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
    snprintf(text, sizeof text, "%.*f %s", decimals, value, UnitText(unit));
    return text;
}

// Dates at whole hours or days of the local clock, as many as fit: a date alone takes
// less room than a date with a time.
std::vector<ChartTick> TimeTicks(int64_t from, int64_t to, int64_t utcOffset, int left, int right) {
    static const int64_t STEPS[] = {3600,      3 * 3600,  6 * 3600,   12 * 3600, 86400,
                                    2 * 86400, 7 * 86400, 14 * 86400, 28 * 86400};
    int64_t step = STEPS[sizeof STEPS / sizeof STEPS[0] - 1];
    for (int64_t candidate : STEPS) {
        double spacing = static_cast<double>(right - left) * static_cast<double>(candidate) /
                         static_cast<double>(to - from);
        if (spacing >= (candidate < 86400 ? 96 : 48)) {
            step = candidate;
            break;
        }
    }
    std::vector<ChartTick> ticks;
    int64_t wallFrom = from + utcOffset;
    int64_t first = (wallFrom / step + (wallFrom % step > 0 ? 1 : 0)) * step;
    for (int64_t wall = first; wall <= to + utcOffset; wall += step) {
        MLocalTime fields;
        WallFields(wall, &fields);
        char label[32];
        if (step >= 86400) {
            snprintf(label, sizeof label, "%02u/%02u", unsigned{fields.month},
                     unsigned{fields.day});
        } else {
            snprintf(label, sizeof label, "%02u/%02u %02u:%02u", unsigned{fields.month},
                     unsigned{fields.day}, unsigned{fields.hour}, unsigned{fields.minute});
        }
        double share =
            static_cast<double>(wall - utcOffset - from) / static_cast<double>(to - from);
        ticks.push_back({left + static_cast<int>(std::lround(share * (right - left))), label});
    }
    return ticks;
}

// The top of the value axis, a whole number of steps (*step) above the highest value and
// the threshold with a tenth to spare; a percentage axis stops at 100 when both fit below.
double ValueAxisTop(double highest, double threshold, uint32_t unit, double* step) {
    double top = std::max(highest, threshold) * 1.1;
    *step = NiceStep(top > 0 ? top / VALUE_TICKS : 1);
    top = std::ceil(top / *step) * *step;
    if (top <= 0) {
        top = *step;
    }
    if (unit == UNIT_PERCENT && top > 100 && std::max(highest, threshold) <= 100) {
        top = 100;  // no room above the whole disk
    }
    return top;
}

// The labels of the value axis from 0 to top, and the length of the longest.
std::vector<std::string> ValueLabels(double top, double step, uint32_t unit, size_t* longest) {
    std::vector<std::string> labels;
    for (int i = 0; i * step <= top + step / 2; i++) {
        labels.push_back(ValueLabel(i * step, step, unit));
        *longest = std::max(*longest, labels.back().size());
    }
    return labels;
}

// Times from..to and values 0..top onto the plot's pixels.
struct PlotScale {
    int left;
    int bottom;
    int width;
    int height;
    int64_t from;
    int64_t to;
    double top;

    int X(double time) const {
        return left + static_cast<int>(std::lround((time - static_cast<double>(from)) * width /
                                                   static_cast<double>(to - from)));
    }
    int Y(double value) const {
        return bottom - static_cast<int>(std::lround(value * height / top));
    }
};

// The measured points as pixels, one where several fall on the same.
std::vector<ChartPoint> SeriesPoints(const HistoryPoint* first, const HistoryPoint* end,
                                     uint32_t unit, const PlotScale& scale) {
    std::vector<ChartPoint> series;
    for (const HistoryPoint* p = first; p != end; p++) {
        if (!IsMeasured(*p)) {
            continue;
        }
        ChartPoint point = {
            scale.X(static_cast<double>(p->time)),
            scale.Y(AxisValue(static_cast<double>(p->freeBytes), p->totalBytes, unit))};
        if (series.empty() || series.back().x != point.x || series.back().y != point.y) {
            series.push_back(point);
        }
    }
    return series;
}

// The forecast's line from the latest check to where the disk is full or the plot ends,
// when the newest run's free space falls. A forecast of bursts draws the line of the
// cycles' lowest points instead, from the start of the forecast's window.
bool ForecastSegment(const ChartInput& input, int64_t from, int64_t to, const PlotScale& scale,
                     ChartPoint* start, ChartPoint* until, bool* ofBursts) {
    ForecastLine line;
    uint32_t run = NewestRun(input.points, input.count, input.now);
    if (!FitForecastLine(input.points, input.count, input.now, run, &line) || !(line.slope < 0)) {
        return false;
    }
    const HistoryPoint* last = input.points + input.count;
    while (!IsMeasured(*--last)) {
    }
    double latestAt = static_cast<double>(line.latestTime);
    double zeroAt = latestAt + line.secondsToFull;
    double endAt = std::min(zeroAt, static_cast<double>(to));
    double endFree = line.lowestFree + line.slope * (endAt - latestAt);
    double startAt = latestAt;
    *ofBursts = line.burstPeriod != 0;
    if (*ofBursts) {
        startAt = std::max(static_cast<double>(from),
                           static_cast<double>(input.now - FORECAST_WINDOW_SECONDS));
    }
    double startFree = line.lowestFree + line.slope * (startAt - latestAt);
    *start = {scale.X(startAt),
              scale.Y(AxisValue(std::max(startFree, 0.0), last->totalBytes, input.unit))};
    *until = {scale.X(endAt),
              scale.Y(AxisValue(std::max(endFree, 0.0), last->totalBytes, input.unit))};
    return true;
}

}  // namespace

// The time axis runs from the first check to a quarter of the history (at least an hour)
// beyond the latest, room for the forecast; the value axis from 0 to a round value above
// the highest free space and the threshold.
bool LayOutChart(const ChartInput& input, ChartLayout* layout) {
    *layout = ChartLayout();
    const HistoryPoint* end = input.points + input.count;
    const HistoryPoint* first = std::find_if(input.points, end, IsMeasured);
    if (first == end) {
        return false;
    }
    int64_t latest = first->time;
    double highest = 0;
    for (const HistoryPoint* p = first; p != end; p++) {
        if (IsMeasured(*p)) {
            latest = p->time;
            highest = std::max(
                highest, AxisValue(static_cast<double>(p->freeBytes), p->totalBytes, input.unit));
        }
    }
    int64_t from = first->time;
    int64_t to = latest + std::max<int64_t>((latest - from) / 4, 3600);
    double threshold = input.threshold;  // in the axis's unit already
    double step = 0;
    double top = ValueAxisTop(highest, threshold, input.unit, &step);
    size_t longest = 0;
    std::vector<std::string> labels = ValueLabels(top, step, input.unit, &longest);
    // Room for the longest value label left of the plot; margins grow with the DPI.
    auto scaled = [&](int pixels) { return (pixels * input.dpi + 48) / 96; };
    layout->left = std::max(scaled(CHART_MARGIN_LEFT),
                            scaled(12) + input.charWidth * static_cast<int>(longest));
    layout->top = scaled(CHART_MARGIN_TOP);
    layout->right = input.width - scaled(CHART_MARGIN_RIGHT);
    layout->bottom = input.height - scaled(CHART_MARGIN_BOTTOM);
    if (layout->right - layout->left < 20 || layout->bottom - layout->top < 20) {
        return false;
    }

    PlotScale scale = {layout->left,
                       layout->bottom,
                       layout->right - layout->left,
                       layout->bottom - layout->top,
                       from,
                       to,
                       top};
    layout->series = SeriesPoints(first, end, input.unit, scale);
    layout->hasThreshold = input.threshold > 0 && threshold <= top;
    layout->thresholdY = scale.Y(threshold);
    layout->hasForecast = ForecastSegment(input, from, to, scale, &layout->forecastFrom,
                                          &layout->forecastTo, &layout->forecastOfBursts);
    layout->timeTicks = TimeTicks(from, to, input.utcOffset, layout->left, layout->right);
    for (size_t i = 0; i < labels.size(); i++) {
        layout->valueTicks.push_back({scale.Y(static_cast<double>(i) * step), labels[i]});
    }
    return true;
}
