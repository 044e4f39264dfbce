// The history of check results: its file and its memory.
#include "app/history.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <set>

#include "app/forecast.h"
#include "app/history_line.h"
#include "app/kiv.h"
#include "mlib/mfileops.h"

namespace {

const int64_t DAY_SECONDS = 86400;

bool EarlierThan(const HistoryPoint& point, int64_t time) {
    return point.time < time;
}

// The first line of bytes from start: its end without the line end, and where the next
// begins; false for the last bytes when they have no line feed (a line cut short).
bool NextLine(const std::string& bytes, size_t start, size_t* end, size_t* next) {
    size_t feed = bytes.find('\n', start);
    if (feed == std::string::npos) {
        *end = *next = bytes.size();
        return false;
    }
    *end = feed > start && bytes[feed - 1] == '\r' ? feed - 1 : feed;
    *next = feed + 1;
    return true;
}

}  // namespace

namespace {

// Into a string kept from line to line, so that reading makes no copy of its own.
void MakeKey(const char* host, uint16_t port, const char* path, std::string* key) {
    key->assign(host);
    key->push_back('\0');
    key->append(path);
    key->push_back('\0');
    key->push_back(static_cast<char>(port >> 8));
    key->push_back(static_cast<char>(port & 0xFF));
}

}  // namespace

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

CheckHistory::CheckHistory() : m_lastCompaction(0) {
    std::fill(m_failed, m_failed + FAILURE_KINDS, false);
}

void CheckHistory::Fail(Failure kind, const char* format) {
    if (m_failed[kind]) {
        return;
    }
    m_failed[kind] = true;
    if (theApp != nullptr) {
        theApp->Log(format, m_path.c_str());
    }
}

void CheckHistory::Open(const char* path, uint32_t keepDays, int64_t now) {
    m_path = path;
    m_targets.clear();
    m_lastCompaction = now;
    std::fill(m_failed, m_failed + FAILURE_KINDS, false);
    if (m_path.empty()) {
        return;
    }
    std::string bytes;
    bool missing = false;
    if (!MReadWholeFile(path, &bytes, &missing)) {
        if (!missing) {
            Fail(READ_FAILED, "履歴ファイルが読み込めません。(File=%s)");
        }
        return;
    }
    int64_t cutoff = keepDays == 0 ? INT64_MIN : now - keepDays * DAY_SECONDS;
    MCSVParser<char> parser;
    parser.SetDelimiter("\t");
    LocalClock clock;
    HistoryLine line;
    unsigned skipped = 0;
    unsigned old = 0;
    std::string key;
    for (size_t start = 0, end, next; start < bytes.size(); start = next) {
        if (!NextLine(bytes, start, &end, &next)) {
            skipped++;  // the last line, cut short
            break;
        }
        if (!ParseHistoryLine(&parser, bytes.data() + start, end - start, &clock, &line)) {
            skipped++;
            continue;
        }
        if (line.point.time < cutoff) {
            old++;
            continue;
        }
        MakeKey(line.host.c_str(), line.port, line.path.c_str(), &key);
        auto found = m_targets.find(key);
        if (found == m_targets.end()) {
            found = m_targets.emplace(key, Target()).first;
        }
        found->second.Stamp(&line.point);
        found->second.points.push_back(line.point);
    }
    for (auto& entry : m_targets) {
        std::vector<HistoryPoint>& points = entry.second.points;
        auto byTime = [](const HistoryPoint& a, const HistoryPoint& b) { return a.time < b.time; };
        if (!std::is_sorted(points.begin(), points.end(), byTime)) {
            std::stable_sort(points.begin(), points.end(), byTime);  // the clock was set back
        }
    }
    if (skipped > 0 && theApp != nullptr) {
        theApp->Log("履歴ファイル：読めない行を%u行読み飛ばしました。(File=%s)", skipped, path);
    }
    size_t dropped = old > 0 ? Compact(bytes, cutoff) : 0;
    if (dropped > 0 && theApp != nullptr) {
        theApp->Log("履歴ファイルから%u日より古い%u行を削除しました。", keepDays,
                    static_cast<unsigned>(dropped));
    }
}

// The kept lines are copied as they stand, runs of them at a time, into a new file that
// replaces the old one only once written whole: a failure leaves the old file as it was.
// Lines without a readable time stamp are kept, since their age is unknown.
size_t CheckHistory::Compact(const std::string& bytes, int64_t cutoff) {
    MNewFile file;
    if (!file.Create(m_path.c_str())) {
        Fail(COMPACT_FAILED, "履歴ファイルの整理に失敗しました。(File=%s)");
        return 0;
    }
    LocalClock clock;
    bool written = true;
    size_t keptFrom = 0;
    size_t dropped = 0;
    for (size_t start = 0, end, next; start < bytes.size(); start = next) {
        NextLine(bytes, start, &end, &next);
        int64_t wall;
        if (!ParseHistoryStamp(bytes.data() + start, end - start, &wall)) {
            continue;
        }
        int64_t time = clock.ToUnix(wall);
        if (time == INT64_MIN || time >= cutoff) {
            continue;
        }
        written = written && file.Write(bytes.data() + keptFrom, start - keptFrom);
        keptFrom = next;
        dropped++;
    }
    if (dropped == 0) {
        file.Delete();
        return 0;
    }
    written = written && file.Write(bytes.data() + keptFrom, bytes.size() - keptFrom);
    if (!written || !file.FlushBuffers() || !file.MoveOver()) {
        file.Delete();
        Fail(COMPACT_FAILED, "履歴ファイルの整理に失敗しました。(File=%s)");
        return 0;
    }
    Succeed(COMPACT_FAILED);
    return dropped;
}

void CheckHistory::CompactFile(int64_t cutoff) {
    if (m_path.empty()) {
        return;
    }
    std::string bytes;
    bool missing = false;
    if (!MReadWholeFile(m_path.c_str(), &bytes, &missing)) {
        if (!missing) {
            Fail(READ_FAILED, "履歴ファイルが読み込めません。(File=%s)");
        }
        return;
    }
    Succeed(READ_FAILED);
    Compact(bytes, cutoff);
}

void CheckHistory::DropFromMemory(int64_t cutoff) {
    for (auto entry = m_targets.begin(); entry != m_targets.end();) {
        std::vector<HistoryPoint>& points = entry->second.points;
        points.erase(points.begin(),
                     std::lower_bound(points.begin(), points.end(), cutoff, EarlierThan));
        entry = points.empty() ? m_targets.erase(entry) : std::next(entry);
    }
}

// One write, so a crash loses at most this cycle's lines, and a line cut short by one
// before gets its line end first, so that the new lines stay whole.
void CheckHistory::Append(const std::string& lines) {
    FILE* file = fopen(m_path.c_str(), "a+b");
    if (file == nullptr) {
        Fail(OPEN_FAILED, "履歴ファイルがオープンできません。(File=%s)");
        return;
    }
    Succeed(OPEN_FAILED);
    setvbuf(file, nullptr, _IONBF, 0);
    std::string out;
    if (fseek(file, -1, SEEK_END) == 0 && fgetc(file) != '\n') {
        out = "\r\n";
    }
    out += lines;
    fseek(file, 0, SEEK_END);
    bool written = fwrite(out.data(), 1, out.size(), file) == out.size();
    written = fclose(file) == 0 && written;
    if (!written) {
        Fail(WRITE_FAILED, "履歴ファイル書込エラー！(File=%s)");
    } else {
        Succeed(WRITE_FAILED);
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
    if (!m_path.empty() && !lines.empty()) {
        Append(lines);
    }
    if (keepDays > 0 && now - m_lastCompaction >= DAY_SECONDS) {
        m_lastCompaction = now;
        int64_t cutoff = now - keepDays * DAY_SECONDS;
        DropFromMemory(cutoff);
        CompactFile(cutoff);
    }
    for (const CheckResult& result : results) {
        auto found = m_targets.find(HistoryKey(result.host, result.port, result.path));
        if (found != m_targets.end()) {
            const std::vector<HistoryPoint>& points = found->second.points;
            found->second.forecast =
                ForecastSecondsToFull(points.data(), points.size(), now, found->second.run);
        }
    }
}

int64_t CheckHistory::ForecastOf(const CheckResult& result) const {
    auto found = m_targets.find(HistoryKey(result.host, result.port, result.path));
    return found != m_targets.end() ? found->second.forecast : FORECAST_NONE;
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
