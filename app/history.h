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
#include "mlib/mfileops.h"
#include "mlib/mlog_sink.h"
#include "net/check_result.h"

class LatestDays;
class LocalClock;

class CheckHistory {
public:
    // Failures and what reading and compacting dropped go to log.
    explicit CheckHistory(MLogSink& log);

    // Reads the file at start, a chunk at a time: the lines HistoryCutoff keeps go into
    // memory (keepDays 0: all). Older lines are dropped from the file, which is written
    // beside and renamed over its name; lines that cannot be read are skipped, counted in
    // one log line, and kept. A missing file is an empty history. An empty path keeps the
    // history in memory only.
    void Open(const char* path, uint32_t keepDays, int64_t now);
    // The end of a cycle: one line per result with a status appended in one write, the
    // checks added in memory and the forecasts of their targets made again. Once a day the
    // file and the memory are rid of what HistoryCutoff drops. Appends and compactions of
    // one file, by any process, take turns on the lock file beside it (LOCK_SUFFIX); lines
    // that could not wait for it are kept and go with the next cycle's (a single-cycle
    // history waits HISTORY_FINAL_WAIT_MS instead, as it has no next cycle). A lock file of
    // another user is not used, with a log line: the lines go without it.
    void Record(const std::vector<CheckResult>& results, uint32_t keepDays, int64_t now);
    // A run of one cycle (fsw --once): its appends wait as long as Flush does.
    void SetSingleCycle() { m_singleCycle = true; }
    // The stop: the lines still kept are written, waiting at most waitMs for the lock, or
    // lost with a log line that counts them.
    void Flush(unsigned waitMs);
    // Every line recorded so far is in the file (true also without a file).
    bool AllWritten() const { return !m_lost && m_pending.empty(); }

    // Seconds until the disk of the result's target is full, as of the last Record, or
    // FORECAST_NONE.
    int64_t ForecastOf(const CheckResult& result) const;
    // Whether that forecast is of the lowest point of bursts that repeat (see
    // ForecastSecondsToFull).
    bool ForecastIsOfBursts(const CheckResult& result) const;
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
        bool forecastOfBursts = false;
        // The time of the check written last and its run (see HistoryPoint::run).
        int64_t lastWritten = INT64_MIN;
        uint32_t run = 0;

        // Gives a check written after the others its run.
        void Stamp(HistoryPoint* point);
    };
    // Failures are logged once each, until the same operation succeeds again.
    enum Failure {
        READ_FAILED,
        OPEN_FAILED,
        WRITE_FAILED,
        COMPACT_FAILED,
        REFUSED,          // appends: not a regular file, or another user's link
        COMPACT_REFUSED,  // the same met by a compaction
        BUSY,             // another writer held the lock too long
        FOREIGN_LOCK,     // the lock file belongs to another user
        FAILURE_KINDS
    };

    // Takes the lock beside the file, waiting at most waitMs: false while another writer
    // holds it. Without a usable lock file the lines go without it.
    bool LockFile(MFileLock* lock, unsigned waitMs);
    // Appends the kept lines and these. Lines that cannot have the lock are kept, or with
    // last (no later write will come) lost with a log line.
    void Append(const std::string& lines, unsigned waitMs, bool last);
    // Writes the file anew without the lines dated before cutoff, reading it a chunk at a
    // time under the lock. The number of lines dropped: 0 when there was nothing to drop or
    // the rewrite failed (the file is then as it was).
    size_t Compact(int64_t cutoff);
    // The daily compaction: the file's days counted, then Compact when a line is to go.
    void CompactFile(uint32_t keepDays, int64_t now);
    // Reads the open file's lines into memory, counting the lines it cannot read and
    // finding the oldest time (Open).
    void ReadLines(MLineReader* lines, uint32_t keepDays, int64_t now, LocalClock* clock,
                   LatestDays* days, unsigned* skipped, int64_t* oldest);
    void SortPoints();
    void DropUnsortedFromMemory(int64_t cutoff);             // points in any order
    void DropFromMemory(int64_t cutoff);                     // points in time order
    void DropOldFromMemory(uint32_t keepDays, int64_t now);  // by HistoryCutoff
    void Fail(Failure kind, const char* format);
    void Succeed(Failure kind) { m_failed[kind] = false; }

    MLogSink& m_log;
    std::string m_path;
    std::string m_pending;  // lines not yet appended: the lock was not to be had
    std::map<std::string, Target> m_targets;
    int64_t m_lastCompaction;
    bool m_failed[FAILURE_KINDS];
    bool m_singleCycle;
    bool m_lost;  // lines recorded since Open did not reach the file
};

// How long the last write of a history (the stop's, a single cycle's) waits for the lock.
const unsigned HISTORY_FINAL_WAIT_MS = 5000;

// The map key of a target.
std::string HistoryKey(const char* host, uint16_t port, const char* path);

// What the lock file of a history is named: the history's name and this.
extern const char HISTORY_LOCK_SUFFIX[];

// The latest days (of the wall clock) on which a history has lines, as its lines come.
class LatestDays {
public:
    explicit LatestDays(uint32_t count) : m_count(count), m_more(false) {}
    void Add(int64_t wallSeconds);
    // The wall-clock second the earliest of the latest count days begins with, or INT64_MIN
    // when there are no more than count days (no line is older than they are).
    int64_t FirstKeptSecond() const;

private:
    uint32_t m_count;
    std::vector<int64_t> m_days;  // the latest count days met, ascending
    bool m_more;                  // more days than count were met
};

// The compaction rule: lines dated before the answer are dropped. It is keepDays days before
// now, but never later than the start of the keepDays latest days on which the history has
// lines (firstKeptSecond, a Unix time, as LatestDays gives it once placed), so that a clock
// that is wrong for a start or a day cannot make the whole history look old: its lines add
// a day or two to the count at most. INT64_MIN (nothing dropped) for keepDays 0.
int64_t HistoryCutoff(uint32_t keepDays, int64_t now, int64_t firstKeptSecond);
