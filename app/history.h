// The history of check results: the file CHKFILE names, to which every cycle appends one
// line per result, and in memory the checks of each target (host, port, path) of the last
// KEEPDAYS days with the forecast of when its disk will be full. Used on the user-interface
// thread only.
#pragma once

#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/forecast.h"
#include "app/history_point.h"
#include "net/check_result.h"

class CheckHistory {
public:
    CheckHistory();

    // Reads the file at start: the lines of the last keepDays days (0: all) go into memory.
    // Lines older than that are dropped from the file, which is written beside and renamed;
    // lines that cannot be read are skipped, counted in one log line, and kept. A missing
    // file is an empty history. An empty path keeps the history in memory only.
    void Open(const char* path, uint32_t keepDays, int64_t now);
    // The end of a cycle: one line per result with a status appended in one write, the
    // checks added in memory and the forecasts of their targets made again. Once a day the
    // file and the memory are rid of what is older than keepDays days.
    void Record(const std::vector<CheckResult>& results, uint32_t keepDays, int64_t now);

    // Seconds until the disk of the result's target is full, as of the last Record, or
    // FORECAST_NONE.
    int64_t ForecastOf(const CheckResult& result) const;
    // How many of the targets of the results (STATUS_NONE aside) are forecast to be full
    // within days days, each target (host, port, path) once however often it is listed; 0 when
    // days is 0. A forecast of a year or more counts for no number of days.
    unsigned CountFullWithin(const std::vector<CheckResult>& results, uint32_t days) const;
    // The kept checks of a target, oldest first; null when it has none.
    const std::vector<HistoryPoint>* PointsOf(const char* host, uint16_t port,
                                              const char* path) const;
    size_t PointCount() const;

private:
    struct Target {
        std::vector<HistoryPoint> points;
        int64_t forecast = FORECAST_NONE;
        // The time of the check written last and its run (see HistoryPoint::run).
        int64_t lastWritten = INT64_MIN;
        uint32_t run = 0;

        // Gives a check written after the others its run.
        void Stamp(HistoryPoint* point);
    };
    // Failures are logged once each, until the same operation succeeds again.
    enum Failure { READ_FAILED, OPEN_FAILED, WRITE_FAILED, COMPACT_FAILED, FAILURE_KINDS };

    void Append(const std::string& lines);
    // Writes the file anew without the lines dated before cutoff; bytes is its content.
    // The number of lines dropped: 0 when there was nothing to drop or the rewrite failed.
    size_t Compact(const std::string& bytes, int64_t cutoff);
    void CompactFile(int64_t cutoff);  // reads the file, then Compact
    void DropFromMemory(int64_t cutoff);
    void Fail(Failure kind, const char* format);
    void Succeed(Failure kind) { m_failed[kind] = false; }

    std::string m_path;
    std::map<std::string, Target> m_targets;
    int64_t m_lastCompaction;
    bool m_failed[FAILURE_KINDS];
};

// The map key of a target.
std::string HistoryKey(const char* host, uint16_t port, const char* path);
