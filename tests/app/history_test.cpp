// The history file: its lines, the round trip of both code pages' texts, lines cut short
// or unreadable, KEEPDAYS at start and once a day, a wrong clock, a file that cannot be
// written, two writers and a file of any size.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/history.h"
#include "app/history_line.h"
#include "mlib/mfileops.h"
#include "tests/support/kiv_fixture.h"

// Found by argument-dependent lookup, so it lives beside HistoryPoint.
static bool operator==(const HistoryPoint& a, const HistoryPoint& b) {
    return a.time == b.time && a.freeBytes == b.freeBytes && a.totalBytes == b.totalBytes &&
           a.status == b.status;
}

namespace {

const int64_t DAY = 86400;

CheckResult ResultAt(int64_t time, const char* host, const char* path, int32_t status,
                     uint64_t freeBytes, uint64_t totalBytes) {
    CheckResult result;
    memset(&result, 0, sizeof result);
    time_t when = static_cast<time_t>(time);
    struct tm local = *localtime(&when);
    result.year = static_cast<uint16_t>(local.tm_year + 1900);
    result.month = static_cast<uint16_t>(local.tm_mon + 1);
    result.day = static_cast<uint16_t>(local.tm_mday);
    result.hour = static_cast<uint16_t>(local.tm_hour);
    result.minute = static_cast<uint16_t>(local.tm_min);
    result.second = static_cast<uint16_t>(local.tm_sec);
    result.checkTime = time;
    result.status = status;
    CopyField(result.host, sizeof result.host, host);
    CopyField(result.path, sizeof result.path, path);
    result.port = 50801;
    result.freeBytes = freeBytes;
    result.totalBytes = totalBytes;
    return result;
}

// A line as the program writes it, for a check at time.
std::string LineAt(int64_t time, uint64_t freeBytes = 100) {
    return FormatHistoryLine(ResultAt(time, "srv", "/data", 1, freeBytes, 1000));
}

// One series for every way to write an IPv6 host; names and IPv4 keys read as ever.
TEST(HistoryKey, AnIPv6HostHasOneKeyHoweverItIsWritten) {
    EXPECT_EQ(HistoryKey("::1", 50801, "/"), HistoryKey("[0:0::1]", 50801, "/"));
    EXPECT_EQ(HistoryKey("::1", 50801, "/"), HistoryKey("[::1]", 50801, "/"));
    EXPECT_EQ(std::string("Srv\0/\0", 6), HistoryKey("Srv", 50801, "/").substr(0, 6));
}

TEST(HistoryLine, TheLineOfAResult) {
    CheckResult result = ResultAt(0, "server1", "C:\\", 2, 1234, 5678);
    result.year = 2024;
    result.month = 3;
    result.day = 5;
    result.hour = 7;
    result.minute = 8;
    result.second = 9;
    EXPECT_EQ("2024/03/05 07:08:09\tserver1\t50801\tC:\\\t2\t1234\t5678\r\n",
              FormatHistoryLine(result));
    CopyField(result.path, sizeof result.path, "a\t\"b\"");
    result.status = 5;
    result.freeBytes = result.totalBytes = 0;
    EXPECT_EQ("2024/03/05 07:08:09\tserver1\t50801\t\"a\t\"\"b\"\"\"\t5\t0\t0\r\n",
              FormatHistoryLine(result));
}

class HistoryTest : public KivFixture {
protected:
    HistoryTest() : path(dir.File("lastchk.txt")), now(static_cast<int64_t>(time(nullptr))) {}
    std::vector<HistoryPoint> Points(const CheckHistory& history, const char* host,
                                     const char* path) {
        const std::vector<HistoryPoint>* points = history.PointsOf(host, 50801, path);
        return points != nullptr ? *points : std::vector<HistoryPoint>();
    }

    std::string path;
    int64_t now;
};

// UTF-8 as the Linux edition has it, Shift-JIS as the Windows program (表 ends in the byte of
// a backslash), texts that need quotes: all read back as written.
TEST_F(HistoryTest, ChecksReadBackInBothCodePages) {
    const char* utf8 = "/srv/日本語\t\"共有\"";
    const char* sjis = "C:\\\x95\x5C\\\x83\x66\x81\x5B\x83\x5E";  // C:\表\データ
    CheckHistory history(app);
    history.Open(path.c_str(), 35, now - 3600);
    history.Record({ResultAt(now - 3600, "ホスト", utf8, 1, 500, 1000),
                    ResultAt(now - 3600, "\x83\x7A", sjis, 5, 0, 0)},
                   35, now - 3600);
    history.Record({ResultAt(now, "ホスト", utf8, 2, 400, 1000),
                    ResultAt(now, "\x83\x7A", sjis, 3, 300, 2000)},
                   35, now);
    std::vector<HistoryPoint> utf8Points = Points(history, "ホスト", utf8);
    std::vector<HistoryPoint> sjisPoints = Points(history, "\x83\x7A", sjis);
    ASSERT_EQ(2u, utf8Points.size());
    ASSERT_EQ(2u, sjisPoints.size());

    CheckHistory again(app);
    again.Open(path.c_str(), 35, now);
    EXPECT_EQ(utf8Points, Points(again, "ホスト", utf8));
    EXPECT_EQ(sjisPoints, Points(again, "\x83\x7A", sjis));
    EXPECT_EQ((HistoryPoint{now - 3600, 0, 0, 5}), sjisPoints[0]);
    EXPECT_EQ((HistoryPoint{now, 400, 1000, 2}), utf8Points[1]);
    EXPECT_EQ(4u, SplitLines(ReadFileBytes(path)).size());
    EXPECT_TRUE(LogMessages().empty());
}

// A line cut short at the end (a crash during a write) is skipped; the next append gives
// it its line end first, so the new line stays whole. Bad lines are counted and kept.
TEST_F(HistoryTest, TornAndBadLinesAreSkippedCountedOnceAndKept) {
    std::string stamp = LineAt(now - 3600).substr(0, 19);
    const std::string bad[] = {
        "garbage",
        "",
        stamp.substr(0, 5) + "13" + stamp.substr(7) + "\tsrv\t50801\t/data\t1\t100\t1000",
        stamp + "\tsrv\t50801\t/data\t1\t100",
        stamp + "\tsrv\t70000\t/data\t1\t100\t1000",
        stamp + "\tsrv\t50801\t/data\t0\t100\t1000",
        stamp + "\tsrv\t50801\t/data\t6\t100\t1000",
        stamp + "\tsrv\t50801\t/data\t1\t12a\t1000",
        stamp + "\tsrv\t50801\t/data\t1\t100\t-1",
    };
    std::string content = LineAt(now - 7200);
    for (const std::string& line : bad) {
        content += line + "\r\n";
    }
    content += LineAt(now - 3600);
    std::string torn = LineAt(now - 1800).substr(0, 30);
    WriteFileBytes(path, content + torn);

    CheckHistory history(app);
    history.Open(path.c_str(), 35, now);
    EXPECT_EQ(2u, Points(history, "srv", "/data").size());
    std::string readLog = "履歴ファイル：読めない行を10行読み飛ばしました。(File=" + path + ")";
    EXPECT_EQ(std::vector<std::string>{readLog}, LogMessages());

    history.Record({ResultAt(now, "srv", "/data", 1, 90, 1000)}, 35, now);
    EXPECT_EQ(content + torn + "\r\n" + LineAt(now, 90), ReadFileBytes(path));
    CheckHistory again(app);
    again.Open(path.c_str(), 35, now);
    EXPECT_EQ(3u, Points(again, "srv", "/data").size());
    EXPECT_EQ((std::vector<std::string>{readLog, readLog}), LogMessages());
}

// The window's first second is kept; lines without a date are kept whatever their age. A
// line on each of the last 35 days makes the window the last 35 days of the clock.
TEST_F(HistoryTest, KeepDaysDropsExactlyTheLinesOlderThanTheWindowAtStartAndOnceADay) {
    std::string daily;
    for (int day = 34; day >= 0; day--) {
        daily += FormatHistoryLine(ResultAt(now - day * DAY, "daily", "/d", 1, 100, 1000));
    }
    const std::string dropped = LineAt(now - 36 * DAY) + LineAt(now - 35 * DAY - 1);
    const std::string kept =
        LineAt(now - 35 * DAY) + "not a line\r\n" + LineAt(now - 35 * DAY + 1) + daily;
    WriteFileBytes(path, dropped + kept);

    CheckHistory everything(app);
    everything.Open(path.c_str(), 0, now);
    EXPECT_EQ(4u + 35, everything.PointCount()) << "KEEPDAYS=0 keeps all";
    EXPECT_EQ(dropped + kept, ReadFileBytes(path));

    CheckHistory history(app);
    history.Open(path.c_str(), 35, now);
    EXPECT_EQ(kept, ReadFileBytes(path));
    EXPECT_EQ(2u + 35, history.PointCount());
    std::vector<std::string> log = LogMessages();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("履歴ファイルから35日より古い2行を削除しました。", log[2]);

    // A day later the next two go, and the oldest daily line, in the file and in memory.
    int64_t later = now + DAY + 1;
    history.Record({ResultAt(later, "srv", "/data", 1, 100, 1000)}, 35, later);
    size_t firstDaily = daily.find("\r\n") + 2;
    EXPECT_EQ("not a line\r\n" + daily.substr(firstDaily) + LineAt(later), ReadFileBytes(path));
    EXPECT_EQ(1u + 34, history.PointCount());
}

// Lines of one target, a check each hour, as days before the real now; the history opened
// with a clock that is wrong by shift. However wrong the clock, at most the oldest days go.
TEST_F(HistoryTest, AStartOrADayWithAWrongClockKeepsTheHistory) {
    auto hourly = [&](int64_t from, int64_t to) {
        std::string lines;
        for (int64_t time = from; time <= to; time += 3600) {
            lines += LineAt(time);
        }
        return lines;
    };
    const struct {
        const char* what;
        int64_t firstDay;  // the file: hourly lines from this many days ago
        int64_t lastDay;   // to this many days ago, and an hour
        int64_t shift;     // of the clock at the start, in days
        size_t maxDropped;
        size_t minKept;
    } cases[] = {
        {"right clock", 35, 0, 0, 0, 35 * 24},
        {"40 days ahead", 35, 0, 40, 24, 34 * 24},
        {"a year ahead", 35, 0, 365, 24, 34 * 24},
        {"2 days back", 35, 0, -2, 0, 35 * 24},
        {"off for 60 days: the last 35 days with lines stay", 100, 60, 0, 6 * 24, 34 * 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string lines = hourly(now - c.firstDay * DAY, now - c.lastDay * DAY - 3600);
        WriteFileBytes(path, lines);
        size_t before = SplitLines(lines).size();
        CheckHistory history(app);
        history.Open(path.c_str(), 35, now + c.shift * DAY);
        size_t after = SplitLines(ReadFileBytes(path)).size();
        EXPECT_LE(before - after, c.maxDropped);
        EXPECT_GE(after, c.minKept);
        EXPECT_EQ(after, history.PointCount());
    }

    // A day with the clock 40 days ahead: its lines, then the daily compaction.
    WriteFileBytes(path, hourly(now - 35 * DAY, now - 3600));
    CheckHistory history(app);
    int64_t wrong = now + 40 * DAY;
    history.Open(path.c_str(), 35, wrong);
    for (int64_t time = wrong; time <= wrong + DAY; time += 3600) {
        history.Record({ResultAt(time, "srv", "/data", 1, 100, 1000)}, 35, time);
    }
    const std::string tomorrowLine = LineAt(now + DAY);
    int64_t tomorrow;
    ASSERT_TRUE(ParseHistoryStamp(tomorrowLine.data(), tomorrowLine.size(), &tomorrow));
    size_t realLines = 0;
    for (const std::string& line : SplitLines(ReadFileBytes(path))) {
        int64_t wall;
        ASSERT_TRUE(ParseHistoryStamp(line.data(), line.size(), &wall));
        realLines += wall < tomorrow ? 1 : 0;
    }
    EXPECT_GE(realLines, 32u * 24) << "the day's lines took at most two days of the window";
}

// Another writer holds the lock: the cycle's lines wait in memory and go with the next
// cycle's, in order, once the lock is free; the wait is logged once.
TEST_F(HistoryTest, LinesThatCannotHaveTheLockGoWithTheNextCycle) {
    CheckHistory history(app);
    history.Open(path.c_str(), 35, now);
    MFileLock other;
    ASSERT_EQ(MFileLock::HELD, other.Lock((path + HISTORY_LOCK_SUFFIX).c_str(), 0));
    history.Record({ResultAt(now - 60, "srv", "/data", 1, 100, 1000)}, 35, now);
    EXPECT_EQ("", ReadFileBytes(path));
    EXPECT_EQ(
        std::vector<std::string>{
            "履歴ファイルが他の書き込み中のため、次の確認の時に書き込みます。(File=" + path + ")"},
        LogMessages());
    other.Unlock();
    history.Record({ResultAt(now, "srv", "/data", 1, 90, 1000)}, 35, now);
    EXPECT_EQ(LineAt(now - 60) + LineAt(now, 90), ReadFileBytes(path));
    EXPECT_TRUE(history.AllWritten());

    // Still held at the stop: the kept lines wait a bounded moment, then are counted lost.
    ASSERT_EQ(MFileLock::HELD, other.Lock((path + HISTORY_LOCK_SUFFIX).c_str(), 0));
    history.Record({ResultAt(now + 60, "srv", "/data", 1, 80, 1000)}, 35, now);
    history.Flush(50);
    EXPECT_FALSE(history.AllWritten());
    EXPECT_EQ("履歴ファイルが他の書き込み中のため、1行を書き込めませんでした。(File=" + path + ")",
              LogMessages().back());
}

// Two writers of one history, each with its own lock handle as two processes have: one
// appends 200 cycles, the other adds an old line and compacts it away, again and again.
// No line of either is lost or kept twice.
TEST_F(HistoryTest, TwoWritersLoseNoLineOfEither) {
    const int CYCLES = 200;
    std::vector<CheckResult> results;  // made before the threads: localtime is not theirs
    for (int i = 0; i < CYCLES; i++) {
        results.push_back(ResultAt(now, "writer", ("/" + std::to_string(i)).c_str(), 1, 1, 2));
    }
    const CheckResult old = ResultAt(now - 3 * DAY, "old", "/old", 1, 1, 2);
    CheckHistory appender(app);
    appender.Open(path.c_str(), 0, now);
    std::thread appending([&] {
        for (const CheckResult& result : results) {
            appender.Record({result}, 0, now);
        }
    });
    std::thread compacting([&] {
        for (int i = 0; i < 100; i++) {
            CheckHistory adder(app);
            adder.Open(path.c_str(), 0, now);
            adder.Record({old}, 0, now);
            CheckHistory compactor(app);
            compactor.Open(path.c_str(), 1, now);
        }
    });
    appending.join();
    compacting.join();
    appender.Record({}, 0, now);  // what the last cycle could not write, if anything
    CheckHistory last(app);
    last.Open(path.c_str(), 1, now);

    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    std::vector<std::string> expected;
    for (const CheckResult& result : results) {
        expected.push_back(SplitLines(FormatHistoryLine(result))[0]);
    }
    EXPECT_EQ(expected, lines);
    std::vector<std::string> log = LogMessages();
    EXPECT_GT(std::count(log.begin(), log.end(), "履歴ファイルから1日より古い1行を削除しました。"),
              50)
        << "the compactions ran between the appends";
}

// A history beyond the 64 MiB that a whole-file read took is read and compacted.
TEST_F(HistoryTest, AHistoryOver64MiBIsReadAndCompacted) {
    const std::string line = LineAt(now - 3600);
    size_t count = (65u << 20) / line.size() + 1;
    std::string recent;
    recent.reserve(count * line.size());
    for (size_t i = 0; i < count; i++) {
        recent += line;
    }
    WriteFileBytes(path, LineAt(now - 3 * DAY) + recent);
    CheckHistory history(app);
    history.Open(path.c_str(), 1, now);
    EXPECT_EQ(count, history.PointCount());
    EXPECT_EQ(recent.size(), ReadFileBytes(path).size()) << "the old line went";
    EXPECT_EQ("履歴ファイルから1日より古い1行を削除しました。", LogMessages().back());
}

// Neither a history that cannot be read or written nor one that cannot be compacted stops
// anything: each failure is logged once, the memory goes on and forecasts are still made.
TEST_F(HistoryTest, AFileThatCannotBeReadWrittenOrCompactedIsLoggedOncePerKind) {
    const std::string& folder = dir.Path();
    CheckHistory history(app);
    history.Open(folder.c_str(), 35, now);
    for (int i = 0; i < 3; i++) {
        int64_t time = now + i * 3600;
        history.Record({ResultAt(time, "srv", "/data", 1, 1000000 - i * 1000, 2000000)}, 35, time);
    }
    EXPECT_EQ(3u, history.PointCount());
    EXPECT_EQ(998 * 3600, history.ForecastOf(ResultAt(now, "srv", "/data", 1, 0, 0)));
    EXPECT_EQ((std::vector<std::string>{"履歴ファイルが読み込めません。(File=" + folder + ")",
                                        "履歴ファイルがオープンできません。(File=" + folder + ")"}),
              LogMessages());

    const std::string content = LineAt(now - 40 * DAY) + LineAt(now - 3600);
    WriteFileBytes(path, content);
    MSetNewFileWriteLimit(0);
    CheckHistory full(app);
    full.Open(path.c_str(), 1, now);  // two days of lines: the older goes
    MSetNewFileWriteLimit(-1);
    EXPECT_EQ(content, ReadFileBytes(path)) << "the old file stays whole";
    EXPECT_EQ(1u, full.PointCount());
    EXPECT_EQ("履歴ファイルの整理に失敗しました。(File=" + path + ")", LogMessages().back());
}

// Read at start and recorded alike: a line dated 40 days ahead (a clock set ahead for one
// start), then lines of a clock 2 days ahead, then lines of the clock set right. Only the
// last run makes the forecast: 1 GB an hour with 100 GB left is 100 hours, not what the
// lines dated ahead would make of it. A clock set back while running starts anew too.
TEST_F(HistoryTest, AClockSetAheadOrBackDoesNotTakeOverTheForecast) {
    const uint64_t GB = 1000000000;
    auto line = [&](int64_t dated, int64_t hoursAgo) {
        return FormatHistoryLine(
            ResultAt(dated, "srv", "/data", 1, (100 + hoursAgo) * GB, 1000 * GB));
    };
    std::string content = line(now + 40 * DAY, -95);  // 5 GB free
    for (int64_t hoursAgo = 30; hoursAgo >= 10; hoursAgo--) {
        content += line(now - hoursAgo * 3600 + 2 * DAY, hoursAgo);
    }
    for (int64_t hoursAgo = 9; hoursAgo >= 1; hoursAgo--) {
        content += line(now - hoursAgo * 3600, hoursAgo);
    }
    WriteFileBytes(path, content);
    CheckHistory history(app);
    history.Open(path.c_str(), 35, now);
    CheckResult latest = ResultAt(now, "srv", "/data", 1, 100 * GB, 1000 * GB);
    history.Record({latest}, 35, now);
    EXPECT_NEAR(100 * 3600, history.ForecastOf(latest), 1);

    // Set back 2 days: no forecast until the new run has 3 checks over an hour.
    int64_t back = now + 3600 - 2 * DAY;
    for (int64_t hours = 0; hours < 3; hours++) {
        history.Record(
            {ResultAt(back + hours * 3600, "srv", "/data", 1, (99 - hours) * GB, 1000 * GB)}, 35,
            back + hours * 3600);
        EXPECT_EQ(hours < 2 ? FORECAST_NONE : 97 * 3600, history.ForecastOf(latest)) << hours;
    }
}

// A target listed twice is one disk soon full, not two; a disk that lasts a year or more
// ("1年以上") is not counted even when FORECAST is over a year.
TEST_F(HistoryTest, TheDisksSoonFullAreCountedOnceEach) {
    CheckHistory history(app);
    history.Open("", 35, now);
    std::vector<CheckResult> results;
    for (int64_t hours = 0; hours < 3; hours++) {
        int64_t time = now + hours * 3600;
        results = {ResultAt(time, "srv", "/data", 1, 10000 - hours * 1000, 20000),
                   ResultAt(time, "srv", "/data", 2, 10000 - hours * 1000, 20000),
                   ResultAt(time, "srv", "/logs", 1, 10000 - hours * 1000, 20000),
                   ResultAt(time, "srv", "/slow", 1, 1000000000 - hours, 2000000000)};
        history.Record(results, 35, time);
    }
    EXPECT_EQ(2u, history.CountFullWithin(results, 1));
    EXPECT_EQ(FORECAST_YEAR_SECONDS, history.ForecastOf(results[3]));
    EXPECT_EQ(2u, history.CountFullWithin(results, 400));
}

}  // namespace
