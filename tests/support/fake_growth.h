// A source of folder-growth reports for tests of the server and the client: one report,
// or none, for every path; it counts the requests it answered.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "net/growth_source.h"

class FakeGrowthSource : public GrowthSource {
public:
    explicit FakeGrowthSource(const GrowthReport& report, bool covered = true)
        : m_report(report), m_covered(covered) {}
    bool ReportFor(const std::string& path, GrowthReport* report) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_asked++;
        m_lastPath = path;
        *report = m_report;
        return m_covered;
    }
    int Asked() const { return m_asked; }
    std::string LastPath() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_lastPath;
    }

private:
    std::mutex m_lock;
    GrowthReport m_report;
    bool m_covered;
    std::atomic<int> m_asked{0};
    std::string m_lastPath;
};

// A report of three scans a day and a week apart ending at latest: /srv/video/2026 grew by
// 1 GiB over the week, /srv/mail by less; one recent large file; and a folder of /home,
// which a request for /srv must not see. Every path has root in front.
inline GrowthReport SampleGrowthReport(int64_t latest, const std::string& root = "") {
    const int64_t day = 86400;
    GrowthReport report;
    report.latest = {latest, false};
    report.dayBefore = {latest - day, false};
    report.weekBefore = {latest - 7 * day, true};
    report.folders = {{"/srv/mail", 4ull << 30, 1 << 20, 300 << 20},
                      {"/home/a", 9ull << 30, 0, 200 << 20},
                      {"/srv/video/2026", 50ull << 30, 100 << 20, 1 << 30}};
    report.files = {{"/srv/video/2026/a.mp4", 700 << 20, latest - 3600}};
    for (GrowthFolder& folder : report.folders) {
        folder.path = root + folder.path;
    }
    report.files[0].path = root + report.files[0].path;
    return report;
}
