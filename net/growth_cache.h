// What the client knows of the folders that grew on the disks of its rows: each row's
// latest answer from its server, so that a row is asked at most once per server scan and
// what the cycle shows is read without asking again.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "net/growth_report.h"

// How a server answered a folder-growth request.
enum GrowthAnswer : int {
    GROWTH_REPORTED,    // a report came
    GROWTH_NOT_SERVED,  // closed without a reply: no folder scans (GROWTH=0), or older
    GROWTH_NO_SCAN,     // no kept scan covers the path yet
    GROWTH_FAILED,      // no usable answer (not reached, late, a broken reply)
};

// The server's words for an answer without a report: "このサーバはフォルダの増加を報告
// しません", "このパスのフォルダの記録はまだありません", "フォルダの増加を取得できません";
// "" for GROWTH_REPORTED.
const char* GrowthAnswerText(GrowthAnswer answer);

struct GrowthEntry {
    GrowthAnswer answer = GROWTH_FAILED;
    GrowthReport report;  // with GROWTH_REPORTED
    int64_t askedAt = 0;  // Unix seconds
};

// A server scans once a day: a row with a report is asked again once its latest scan is a
// day old, and any row at most once an hour.
const int64_t GROWTH_RESCAN_SECONDS = 86400;
const int64_t GROWTH_RETRY_SECONDS = 3600;

class GrowthCache {
public:
    // Whether the row of host, port and path is to be asked at now (Unix seconds): it never
    // was; or it was GROWTH_RETRY_SECONDS ago or more and has no report, or one whose latest
    // scan is GROWTH_RESCAN_SECONDS old or more.
    bool ShouldAsk(const std::string& host, unsigned port, const std::string& path,
                   int64_t now) const;
    // Keeps the answer asked at now; true when its kind differs from the one before (or the
    // row had none), so that the change is logged once.
    bool Store(const std::string& host, unsigned port, const std::string& path,
               GrowthAnswer answer, const GrowthReport& report, int64_t now);
    // The row's latest answer; false when it was never asked.
    bool Find(const std::string& host, unsigned port, const std::string& path,
              GrowthEntry* entry) const;

private:
    mutable std::mutex m_lock;
    std::map<std::string, GrowthEntry> m_entries;
};
