// The history at its largest: 10 targets checked every minute for 35 days, 504,000 lines.
// How long the start takes to read it into memory (with nothing to drop, and with a day of
// lines to drop, which rewrites the file), how long the end of a cycle takes to append its
// lines and make the forecasts, and how long the daily compaction takes. Prints the
// median, the 99th percentile and the worst of repeated runs, in elapsed time and in the
// processor time of the process (which the machine's other work does not lengthen).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/history.h"
#include "app/history_line.h"
#include "app/wall_clock.h"
#include "tests/support/app_fixture.h"

namespace {

typedef std::chrono::steady_clock Clock;

const int TARGETS = 10;
const int64_t DAY = 86400;

// Elapsed and processor milliseconds of repeated runs.
struct Times {
    std::vector<double> elapsed;
    std::vector<double> processor;
};

// Runs action once and adds its times.
template <typename Action>
void Measure(Times* times, Action action) {
    std::clock_t cpu = std::clock();
    Clock::time_point begin = Clock::now();
    action();
    times->elapsed.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    times->processor.push_back(1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
}

void Print(const char* what, Times times) {
    for (std::vector<double>* values : {&times.elapsed, &times.processor}) {
        std::sort(values->begin(), values->end());
    }
    size_t n = times.elapsed.size();
    size_t p99 = static_cast<size_t>(0.99 * static_cast<double>(n - 1));
    printf("%-44s %9.1f %9.1f %9.1f %9.1f %9.1f\n", what, times.elapsed[n / 2], times.elapsed[p99],
           times.elapsed.back(), times.processor[n / 2], times.processor.back());
}

// Target i's check at time: a disk of 2 TB that loses about 1 GB a day, with some noise.
CheckResult Check(int target, int64_t time, int64_t offset) {
    CheckResult result = {};
    MLocalTime wall;
    WallFields(time + offset, &wall);
    result.year = wall.year;
    result.month = wall.month;
    result.day = wall.day;
    result.hour = wall.hour;
    result.minute = wall.minute;
    result.second = wall.second;
    result.checkTime = time;
    result.status = STATUS_NORMAL;
    snprintf(result.host, sizeof result.host, "fileserver%d", target);
    snprintf(result.path, sizeof result.path, "D:\\shares\\group%d", target);
    result.port = 50801;
    result.totalBytes = 2000000000000ull;
    result.freeBytes = 900000000000ull - static_cast<uint64_t>(time % (400 * DAY)) * 11574 +
                       static_cast<uint64_t>((time * 7919) % 50000000);
    return result;
}

// A file of days days of checks, the last one a minute before now.
std::string MakeHistory(int64_t now, int days) {
    std::string bytes;
    int64_t offset = CurrentUtcOffset();
    for (int64_t time = now - days * DAY; time < now; time += 60) {
        for (int target = 0; target < TARGETS; target++) {
            bytes += FormatHistoryLine(Check(target, time, offset));
        }
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 5;
    TestApp t;
    std::string path = t.dir.File("lastchk.txt");
    int64_t now = static_cast<int64_t>(time(nullptr));
    std::string full = MakeHistory(now, 35);
    std::string longer = MakeHistory(now, 36);
    WriteFileBytes(path, full);
    size_t lines = static_cast<size_t>(std::count(full.begin(), full.end(), '\n'));
    printf("History of %zu lines (%d targets, a check a minute, 35 days), %.1f MB; %d runs (ms)\n",
           lines, TARGETS, static_cast<double>(full.size()) / 1e6, runs);
    printf("%-44s %29s %19s\n", "", "elapsed", "processor");
    printf("%-44s %9s %9s %9s %9s %9s\n", "", "median", "p99", "worst", "median", "worst");

    Times start;
    Times startDropping;
    for (int i = 0; i < runs; i++) {
        CheckHistory history(MNoLog());
        Measure(&start, [&] { history.Open(path.c_str(), 35, now); });
        if (history.PointCount() != lines) {
            fprintf(stderr, "read %zu of %zu lines\n", history.PointCount(), lines);
            return 1;
        }
    }
    Print("start: read, nothing to drop", start);
    for (int i = 0; i < runs; i++) {
        WriteFileBytes(path, longer);
        CheckHistory history(MNoLog());
        Measure(&startDropping, [&] { history.Open(path.c_str(), 35, now); });
        if (ReadFileBytes(path).size() >= longer.size()) {
            fprintf(stderr, "the day to drop was not dropped\n");
            return 1;
        }
    }
    Print("start: read, a day dropped, file rewritten", startDropping);

    CheckHistory history(MNoLog());
    history.Open(path.c_str(), 35, now);
    Times cycles;
    int64_t offset = CurrentUtcOffset();
    int64_t time = now;
    for (int i = 0; i < 300; i++, time += 60) {
        std::vector<CheckResult> results;
        for (int target = 0; target < TARGETS; target++) {
            results.push_back(Check(target, time, offset));
        }
        Measure(&cycles, [&] { history.Record(results, 35, time); });
        if (history.ForecastOf(results[0]) == FORECAST_NONE) {
            fprintf(stderr, "no forecast\n");
            return 1;
        }
    }
    Print("end of a cycle: 10 lines appended, forecasts", cycles);
    Times daily;
    for (int i = 0; i < runs; i++) {
        time += DAY;
        Measure(&daily, [&] { history.Record({Check(0, time, offset)}, 35, time); });
    }
    Print("end of a cycle with the daily compaction", daily);
    return 0;
}
