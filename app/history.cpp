// The history of check results: its file and its memory.
#include "app/history.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>

#include "app/forecast.h"
#include "app/history_line.h"
#include "mlib/mfileops.h"
#include "net/ip_address.h"

namespace {

const int64_t DAY_SECONDS = 86400;
// How long an append or a compaction waits for another writer's turn to end. An append
// that waits longer keeps its lines for the next cycle; a compaction waits for its next day.
const unsigned LOCK_WAIT_MS = 500;
// Lines kept for later beyond this are dropped (and logged), so that a writer that never
// lets go of the lock cannot fill the memory.
const size_t PENDING_LIMIT = 16u << 20;
// The kept lines of a compaction go out in writes of about this size.
const size_t WRITE_CHUNK = 1u << 20;
// While the file is read, the points already known to be too old are let go of whenever
// this many more have been read, so that reading a history of any size takes the memory
// of what is kept.
const size_t PRUNE_EVERY = 1u << 20;

bool EarlierThan(const HistoryPoint& point, int64_t time) {
    return point.time < time;
}

// A whole line of a piece: its bytes without the line end.
size_t LineLength(const MLineReader::Piece& piece) {
    size_t length = piece.size - 1;
    return length > 0 && piece.data[length - 1] == '\r' ? length - 1 : length;
}

// Into a string kept from line to line, so that reading makes no copy of its own. An IPv6
// host goes in its one written form, so that "[::1]" and "::1" are one target.
void MakeKey(const char* host, uint16_t port, const char* path, std::string* key) {
    if (strchr(host, ':') != nullptr) {
        key->assign(HostWrittenForm(host));
    } else {
        key->assign(host);
    }
    key->push_back('\0');
    key->append(path);
    key->push_back('\0');
    key->push_back(static_cast<char>(port >> 8));
    key->push_back(static_cast<char>(port & 0xFF));
}

int64_t FloorDay(int64_t wallSeconds) {
    int64_t day = wallSeconds / DAY_SECONDS;
    return wallSeconds % DAY_SECONDS < 0 ? day - 1 : day;
}

// The cutoff of the days met so far, in Unix time.
int64_t CutoffOf(const LatestDays& days, uint32_t keepDays, int64_t now, LocalClock* clock) {
    int64_t first = days.FirstKeptSecond();
    return HistoryCutoff(keepDays, now, first == INT64_MIN ? INT64_MIN : clock->ToUnix(first));
}

}  // namespace

const char HISTORY_LOCK_SUFFIX[] = ".lock";

void LatestDays::Add(int64_t wallSeconds) {
    int64_t day = FloorDay(wallSeconds);
    if (m_count == 0 || (!m_days.empty() && day == m_days.back())) {
        return;  // the common case: lines come in time order
    }
    auto at = std::lower_bound(m_days.begin(), m_days.end(), day);
    if (at != m_days.end() && *at == day) {
        return;
    }
    if (m_days.size() < m_count) {
        m_days.insert(at, day);
        return;
    }
    m_more = true;
    if (at == m_days.begin()) {
        return;  // older than every kept day
    }
    size_t index = static_cast<size_t>(at - m_days.begin());
    m_days.erase(m_days.begin());
    m_days.insert(m_days.begin() + static_cast<std::ptrdiff_t>(index - 1), day);
}

int64_t LatestDays::FirstKeptSecond() const {
    return m_more ? m_days.front() * DAY_SECONDS : INT64_MIN;
}

int64_t HistoryCutoff(uint32_t keepDays, int64_t now, int64_t firstKeptSecond) {
    if (keepDays == 0 || firstKeptSecond == INT64_MIN) {
        return INT64_MIN;
    }
    return std::min(now - keepDays * DAY_SECONDS, firstKeptSecond);
}

std::string HistoryKey(const char* host, uint16_t port, const char* path) {
    std::string key;
    MakeKey(host, port, path, &key);
    return key;
}

void CheckHistory::Target::Stamp(HistoryPoint* point) {
    if (lastWritten != INT64_MIN && point->time < lastWritten - HISTORY_STEP_BACK_SECONDS) {
        run++;
    }
    lastWritten = point->time;
    point->run = run;
}

CheckHistory::CheckHistory(MLogSink& log)
    : m_log(log), m_lastCompaction(0), m_singleCycle(false), m_lost(false) {
    std::fill(m_failed, m_failed + FAILURE_KINDS, false);
}

void CheckHistory::Fail(Failure kind, const char* format) {
    if (m_failed[kind]) {
        return;
    }
    m_failed[kind] = true;
    m_log.Write(format, m_path.c_str());
}

void CheckHistory::Open(const char* path, uint32_t keepDays, int64_t now) {
    m_path = path;
    m_pending.clear();
    m_targets.clear();
    m_lastCompaction = now;
    m_lost = false;
    std::fill(m_failed, m_failed + FAILURE_KINDS, false);
    if (m_path.empty()) {
        return;
    }
    MFileReader file;
    MReadResult opened = file.Open(path);
    if (opened != M_READ_DONE) {
        if (opened != M_READ_MISSING) {
            Fail(READ_FAILED, "履歴ファイルが読み込めません。(File=%s)");
        }
        return;
    }
    LocalClock clock;
    LatestDays days(keepDays);
    unsigned skipped = 0;
    int64_t oldest = INT64_MAX;
    MLineReader lines(&file);
    ReadLines(&lines, keepDays, now, &clock, &days, &skipped, &oldest);
    if (lines.Failed()) {
        Fail(READ_FAILED, "履歴ファイルが読み込めません。(File=%s)");
    }
    file.Close();
    SortPoints();
    int64_t cutoff = CutoffOf(days, keepDays, now, &clock);
    DropFromMemory(cutoff);
    if (skipped > 0) {
        m_log.Write("履歴ファイル：読めない行を%u行読み飛ばしました。(File=%s)", skipped, path);
    }
    size_t dropped = oldest < cutoff && !lines.Failed() ? Compact(cutoff) : 0;
    if (dropped > 0) {
        m_log.Write("履歴ファイルから%u日より古い%u行を削除しました。", keepDays,
                    static_cast<unsigned>(dropped));
    }
}

// The points go into memory as they are read; every PRUNE_EVERY points those that the days
// met so far put before the cutoff are let go of (the file's lines need not be in order).
void CheckHistory::ReadLines(MLineReader* lines, uint32_t keepDays, int64_t now, LocalClock* clock,
                             LatestDays* days, unsigned* skipped, int64_t* oldest) {
    MCSVParser<char> parser;
    parser.SetDelimiter("\t");
    HistoryLine line;
    int64_t cutoff = INT64_MIN;  // of the days met so far: the final one is no earlier
    size_t sincePrune = 0;
    std::string key;
    MLineReader::Piece piece;
    while (lines->Next(&piece)) {
        if (!piece.starts || !piece.ends) {
            *skipped += piece.starts ? 1 : 0;  // a line cut short or too long to be ours
            continue;
        }
        size_t length = LineLength(piece);
        int64_t wall;
        if (!ParseHistoryLine(&parser, piece.data, length, clock, &line) ||
            !ParseHistoryStamp(piece.data, length, &wall)) {
            (*skipped)++;
            continue;
        }
        days->Add(wall);
        *oldest = std::min(*oldest, line.point.time);
        if (line.point.time < cutoff) {
            continue;
        }
        MakeKey(line.host.c_str(), line.port, line.path.c_str(), &key);
        auto found = m_targets.find(key);
        if (found == m_targets.end()) {
            found = m_targets.emplace(key, Target()).first;
        }
        found->second.Stamp(&line.point);
        found->second.points.push_back(line.point);
        if (++sincePrune == PRUNE_EVERY && keepDays > 0) {
            sincePrune = 0;
            cutoff = CutoffOf(*days, keepDays, now, clock);
            DropUnsortedFromMemory(cutoff);
        }
    }
}

// Points read while the clock was set back come out of order.
void CheckHistory::SortPoints() {
    for (auto& entry : m_targets) {
        std::vector<HistoryPoint>& points = entry.second.points;
        auto byTime = [](const HistoryPoint& a, const HistoryPoint& b) { return a.time < b.time; };
        if (!std::is_sorted(points.begin(), points.end(), byTime)) {
            std::stable_sort(points.begin(), points.end(), byTime);
        }
    }
}

void CheckHistory::DropUnsortedFromMemory(int64_t cutoff) {
    for (auto& entry : m_targets) {
        std::vector<HistoryPoint>& points = entry.second.points;
        points.erase(std::remove_if(points.begin(), points.end(),
                                    [&](const HistoryPoint& p) { return p.time < cutoff; }),
                     points.end());
    }
}

// The kept lines are copied as they stand into a new file that replaces the old one only
// once written whole: a failure leaves the old file as it was. Lines without a readable time
// stamp are kept, since their age is unknown. The lock is held from the first byte read to
// the rename, so that no line appended meanwhile is left behind in the old file.
size_t CheckHistory::Compact(int64_t cutoff) {
    MFileLock lock;
    if (!LockFile(&lock, LOCK_WAIT_MS)) {
        return 0;  // another writer's turn: tried again with the next compaction
    }
    MFileReader in;
    if (in.Open(m_path.c_str()) != M_READ_DONE) {
        Fail(READ_FAILED, "履歴ファイルが読み込めません。(File=%s)");
        return 0;
    }
    MNewFile file;
    if (!file.Create(m_path.c_str(), M_LINK_REPLACE_NAME)) {
        if (file.Foreign()) {
            Fail(COMPACT_REFUSED,
                 "履歴ファイルが他のユーザのファイルのため、整理しません。(File=%s)");
        } else if (file.Refused()) {
            Fail(COMPACT_REFUSED,
                 "履歴ファイルが通常のファイルでないか他のユーザのリンクのため、整理しません。("
                 "File=%s)");
        } else {
            Fail(COMPACT_FAILED, "履歴ファイルの整理に失敗しました。(File=%s)");
        }
        return 0;
    }
    LocalClock clock;
    bool written = true;
    size_t dropped = 0;
    std::string out;
    MLineReader lines(&in);
    MLineReader::Piece piece;
    while (written && lines.Next(&piece)) {
        int64_t wall;
        if (piece.starts && piece.ends && ParseHistoryStamp(piece.data, LineLength(piece), &wall)) {
            int64_t time = clock.ToUnix(wall);
            if (time != INT64_MIN && time < cutoff) {
                dropped++;
                continue;
            }
        }
        out.append(piece.data, piece.size);
        if (out.size() >= WRITE_CHUNK) {
            written = file.Write(out.data(), out.size());
            out.clear();
        }
    }
    bool readWhole = !lines.Failed();
    in.Close();  // Windows renames nothing over a file still open without FILE_SHARE_DELETE
    if (dropped == 0 && written && readWhole) {
        file.Delete();
        return 0;
    }
    written = written && readWhole && file.Write(out.data(), out.size());
    if (!written || !file.FlushBuffers() || !file.MoveOver()) {
        file.Delete();
        Fail(COMPACT_FAILED, "履歴ファイルの整理に失敗しました。(File=%s)");
        return 0;
    }
    Succeed(COMPACT_FAILED);
    Succeed(COMPACT_REFUSED);
    return dropped;
}

// Only the time stamps are read to count the days; the file is written anew only when a
// line is to go.
void CheckHistory::CompactFile(uint32_t keepDays, int64_t now) {
    if (m_path.empty()) {
        return;
    }
    MFileReader file;
    MReadResult opened = file.Open(m_path.c_str());
    if (opened != M_READ_DONE) {
        if (opened != M_READ_MISSING) {
            Fail(READ_FAILED, "履歴ファイルが読み込めません。(File=%s)");
        }
        return;
    }
    LatestDays days(keepDays);
    int64_t oldest = INT64_MAX;  // wall-clock seconds
    MLineReader lines(&file);
    MLineReader::Piece piece;
    while (lines.Next(&piece)) {
        int64_t wall;
        if (piece.starts && piece.ends && ParseHistoryStamp(piece.data, LineLength(piece), &wall)) {
            days.Add(wall);
            oldest = std::min(oldest, wall);
        }
    }
    if (lines.Failed()) {
        Fail(READ_FAILED, "履歴ファイルが読み込めません。(File=%s)");
        return;
    }
    Succeed(READ_FAILED);
    file.Close();
    LocalClock clock;
    int64_t cutoff = CutoffOf(days, keepDays, now, &clock);
    if (oldest != INT64_MAX && clock.ToUnix(oldest) < cutoff) {
        Compact(cutoff);
    }
}

// The memory by the same rule, over the days of its own points.
void CheckHistory::DropOldFromMemory(uint32_t keepDays, int64_t now) {
    LatestDays days(keepDays);
    int64_t offset = CurrentUtcOffset();
    for (const auto& entry : m_targets) {
        for (const HistoryPoint& point : entry.second.points) {
            days.Add(point.time + offset);
        }
    }
    int64_t first = days.FirstKeptSecond();
    DropFromMemory(HistoryCutoff(keepDays, now, first == INT64_MIN ? INT64_MIN : first - offset));
}

void CheckHistory::DropFromMemory(int64_t cutoff) {
    for (auto entry = m_targets.begin(); entry != m_targets.end();) {
        std::vector<HistoryPoint>& points = entry->second.points;
        points.erase(points.begin(),
                     std::lower_bound(points.begin(), points.end(), cutoff, EarlierThan));
        entry = points.empty() ? m_targets.erase(entry) : std::next(entry);
    }
}

// Another user's lock file could be held by them for ever, and it orders no writer of this
// user's: it is left alone, as is the lack of one (a folder the program may not write,
// where no compaction can run either).
bool CheckHistory::LockFile(MFileLock* lock, unsigned waitMs) {
    switch (lock->Lock((m_path + HISTORY_LOCK_SUFFIX).c_str(), waitMs)) {
        case MFileLock::BUSY:
            return false;
        case MFileLock::REFUSED:
            Fail(FOREIGN_LOCK,
                 "履歴ファイルのロックファイルが他のユーザのファイルのため、使わずに書き込みます。("
                 "File=%s.lock)");
            return true;
        case MFileLock::HELD:
            Succeed(FOREIGN_LOCK);
            return true;
        default:
            return true;
    }
}

// One write, so a crash loses at most this cycle's lines, and a line cut short by one
// before gets its line end first, so that the new lines stay whole.
void CheckHistory::Append(const std::string& lines, unsigned waitMs, bool last) {
    m_pending += lines;
    MFileLock lock;
    if (!LockFile(&lock, waitMs)) {
        if (last) {
            unsigned count =
                static_cast<unsigned>(std::count(m_pending.begin(), m_pending.end(), '\n'));
            m_log.Write("履歴ファイルが他の書き込み中のため、%u行を書き込めませんでした。(File=%s)",
                        count, m_path.c_str());
            m_pending.clear();
            m_lost = true;
            return;
        }
        Fail(BUSY, "履歴ファイルが他の書き込み中のため、次の確認の時に書き込みます。(File=%s)");
        if (m_pending.size() > PENDING_LIMIT) {
            m_pending.clear();
            m_lost = true;
            Fail(WRITE_FAILED, "履歴ファイル書込エラー！(File=%s)");
        }
        return;
    }
    Succeed(BUSY);
    MAppendResult result = MAppendFile(m_path.c_str(), m_pending.data(), m_pending.size(), "\r\n");
    m_pending.clear();
    m_lost = m_lost || result != M_APPEND_DONE;
    switch (result) {
        case M_APPEND_DONE:
            Succeed(OPEN_FAILED);
            Succeed(WRITE_FAILED);
            Succeed(REFUSED);
            break;
        case M_APPEND_REFUSED:
            Fail(REFUSED,
                 "履歴ファイルが通常のファイルでないか他のユーザのリンクのため、書き込みません。("
                 "File=%s)");
            break;
        case M_APPEND_OPEN_FAILED:
            Fail(OPEN_FAILED, "履歴ファイルがオープンできません。(File=%s)");
            break;
        case M_APPEND_WRITE_FAILED:
            Succeed(OPEN_FAILED);
            Fail(WRITE_FAILED, "履歴ファイル書込エラー！(File=%s)");
            break;
    }
}

void CheckHistory::Flush(unsigned waitMs) {
    if (!m_path.empty() && !m_pending.empty()) {
        Append("", waitMs, true);
    }
}

void CheckHistory::Record(const std::vector<CheckResult>& results, uint32_t keepDays, int64_t now) {
    std::string lines;
    for (const CheckResult& result : results) {
        if (result.status < STATUS_NORMAL || result.status > STATUS_ERROR) {
            continue;
        }
        lines += FormatHistoryLine(result);
        Target& target = m_targets[HistoryKey(result.host, result.port, result.path)];
        HistoryPoint point = {result.checkTime, result.freeBytes, result.totalBytes, result.status};
        target.Stamp(&point);
        std::vector<HistoryPoint>& points = target.points;
        points.insert(std::upper_bound(points.begin(), points.end(), point,
                                       [](const HistoryPoint& a, const HistoryPoint& b) {
                                           return a.time < b.time;
                                       }),
                      point);
    }
    if (!m_path.empty() && (!lines.empty() || !m_pending.empty())) {
        Append(lines, m_singleCycle ? HISTORY_FINAL_WAIT_MS : LOCK_WAIT_MS, m_singleCycle);
    }
    if (keepDays > 0 && now - m_lastCompaction >= DAY_SECONDS) {
        m_lastCompaction = now;
        DropOldFromMemory(keepDays, now);
        CompactFile(keepDays, now);
    }
    for (const CheckResult& result : results) {
        auto found = m_targets.find(HistoryKey(result.host, result.port, result.path));
        if (found != m_targets.end()) {
            const std::vector<HistoryPoint>& points = found->second.points;
            found->second.forecast =
                ForecastSecondsToFull(points.data(), points.size(), now, found->second.run,
                                      &found->second.forecastOfBursts);
        }
    }
}

int64_t CheckHistory::ForecastOf(const CheckResult& result) const {
    auto found = m_targets.find(HistoryKey(result.host, result.port, result.path));
    return found != m_targets.end() ? found->second.forecast : FORECAST_NONE;
}

bool CheckHistory::ForecastIsOfBursts(const CheckResult& result) const {
    auto found = m_targets.find(HistoryKey(result.host, result.port, result.path));
    return found != m_targets.end() && found->second.forecastOfBursts;
}

unsigned CheckHistory::CountFullWithin(const std::vector<CheckResult>& results,
                                       uint32_t days) const {
    if (days == 0) {
        return 0;
    }
    std::set<std::string> counted;
    for (const CheckResult& result : results) {
        int64_t forecast = ForecastOf(result);
        // A forecast of a year or more is not known to be within any number of days.
        if (result.status != STATUS_NONE && forecast != FORECAST_NONE &&
            forecast < FORECAST_YEAR_SECONDS && forecast <= int64_t{days} * DAY_SECONDS) {
            counted.insert(HistoryKey(result.host, result.port, result.path));
        }
    }
    return static_cast<unsigned>(counted.size());
}

const std::vector<HistoryPoint>* CheckHistory::PointsOf(const char* host, uint16_t port,
                                                        const char* path) const {
    auto found = m_targets.find(HistoryKey(host, port, path));
    return found != m_targets.end() ? &found->second.points : nullptr;
}

size_t CheckHistory::PointCount() const {
    size_t count = 0;
    for (const auto& entry : m_targets) {
        count += entry.second.points.size();
    }
    return count;
}
