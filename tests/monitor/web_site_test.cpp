// The pages of the server's port from a snapshot: texts from outside escaped, rows graded
// and linked, the server-only and not-yet-checked states, the JSON's times and the metrics'
// volume series. The pages are UTF-8 (u8 literals) whatever the build's code page (the
// Windows build's texts are Shift-JIS).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/forecast.h"
#include "app/host_entry.h"
#include "monitor/web_site.h"

namespace {

CheckResult Row(int32_t status, const char* host, const char* path, const char* description) {
    CheckResult r;
    memset(&r, 0, sizeof r);
    r.status = status;
    CopyField(r.host, sizeof r.host, host);
    CopyField(r.path, sizeof r.path, path);
    CopyField(r.description, sizeof r.description, description);
    r.port = 50801;
    r.threshold = 10;
    r.unit = UNIT_PERCENT;
    r.freeBytes = 50;
    r.totalBytes = 1000;
    r.value = 50;
    r.checkTime = 1765378800;  // 2025-12-10 15:00:00 UTC
    r.year = 2025, r.month = 12, r.day = 11, r.hour = 0, r.minute = 0, r.second = 0;  // +09:00
    return r;
}

StatusSnapshot Snapshot() {
    StatusSnapshot s;
    s.hostName = "kelm";
    s.clientOn = true;
    s.cycleRan = true;
    s.cycleTime = 1765378800;
    s.nextCycleTime = 1765379400;
    s.utcOffset = 9 * 3600;
    s.forecastDays = 7;
    std::vector<HistoryPoint> points = {{1765292400, 300, 1000, STATUS_NORMAL},
                                        {1765378800, 50, 1000, STATUS_WARNING}};
    s.rows.push_back(WebTarget{Row(STATUS_WARNING, "<b>x</b>", "/srv", "\"共有\" & 'x'"),
                               FORECAST_NONE, false, points});
    s.rows.push_back(WebTarget{Row(STATUS_NORMAL, "a", "/b", ""), 86400, false, {}});
    return s;
}

TEST(WebSite, TheStatusPageEscapesOutsideTextsGradesAndLinksEachRow) {
    StatusSnapshot s = Snapshot();
    std::string page = StatusPageHtml(s, nullptr);
    EXPECT_EQ(std::string::npos, page.find("<b>x")) << page;
    EXPECT_NE(std::string::npos, page.find("&lt;b&gt;x&lt;/b&gt;"));
    EXPECT_NE(std::string::npos, page.find(u8"&quot;共有&quot; &amp; &#39;x&#39;"));
    EXPECT_NE(std::string::npos, page.find("<tr class=\"warning\">"));
    EXPECT_NE(std::string::npos, page.find("<tr class=\"soon\">")) << "full within FORECAST days";
    EXPECT_NE(std::string::npos,
              page.find("<a href=\"/target/" + TargetPageKey(s.rows[0].result) + "\">/srv</a>"));
    EXPECT_NE(std::string::npos,
              page.find(u8"最終チェック 2025/12/11 00:00:00 / 次回チェック 2025/12/11 00:10:00"));
    EXPECT_NE(std::string::npos, page.find("<meta http-equiv=\"refresh\" content=\"60\">"));
    EXPECT_EQ(std::string::npos, page.find("<script")) << "no scripts";
    EXPECT_EQ(std::string::npos, page.find("<form")) << "no forms";

    s.cycleRan = false;
    EXPECT_NE(std::string::npos, StatusPageHtml(s, nullptr).find(u8"まだチェックしていません。"));
    s.clientOn = false;
    std::vector<VolumeEntry> volumes = {{"/", VOLUME_MEASURED, 1536, 4096},
                                        {"/mnt/<x>", VOLUME_LATE, 0, 0}};
    page = StatusPageHtml(s, &volumes);
    EXPECT_NE(std::string::npos, page.find(u8"チェックは実行していません"));
    EXPECT_NE(std::string::npos, page.find("<td>/</td><td>1.5 KB</td><td>4.0 KB</td>"));
    EXPECT_NE(std::string::npos, page.find("<td>/mnt/&lt;x&gt;</td><td>N/A</td>"));
}

TEST(WebSite, TheTargetPageDrawsTheChartAndKeysStayTheSameAcrossCycles) {
    StatusSnapshot s = Snapshot();
    std::string page = TargetPageHtml(s, s.rows[0]);
    EXPECT_NE(std::string::npos, page.find("<svg id=\"chart\""));
    EXPECT_NE(std::string::npos, page.find("<polyline class=\"free\""));
    EXPECT_NE(std::string::npos, page.find("<line class=\"threshold\""));
    EXPECT_NE(std::string::npos,
              TargetPageHtml(s, s.rows[1]).find(u8"グラフにする履歴がありません"));
    CheckResult later = s.rows[0].result;
    later.status = STATUS_NORMAL;
    EXPECT_EQ(TargetPageKey(s.rows[0].result), TargetPageKey(later));
    EXPECT_NE(TargetPageKey(s.rows[0].result), TargetPageKey(s.rows[1].result));
}

TEST(WebSite, TheJsonHasIsoTimesWithTheOffsetAndTheMetricsTheVolumes) {
    StatusSnapshot s = Snapshot();
    std::string json = StatusJson(s, nullptr);
    EXPECT_NE(std::string::npos, json.find("\"time\":\"2025-12-11T00:00:00+09:00\",\"next\":"
                                           "\"2025-12-11T00:10:00+09:00\""));
    EXPECT_NE(std::string::npos, json.find("\"host\":\"<b>x</b>\""));
    EXPECT_NE(std::string::npos, json.find(u8"\"description\":\"\\\"共有\\\" & 'x'\""));
    EXPECT_NE(std::string::npos, json.find("\"freeBytes\":50,\"totalBytes\":1000"));
    std::vector<VolumeEntry> volumes = {{"/", VOLUME_MEASURED, 1, 2},
                                        {"/", VOLUME_MEASURED, 3, 4},
                                        {"/mnt/\"q\"", VOLUME_NOT_MEASURED, 0, 0}};
    std::string metrics = MetricsPageText(s, volumes);
    EXPECT_NE(std::string::npos, metrics.find("\nfsw_volume_free_bytes{mountpoint=\"/\"} 1\n"));
    EXPECT_EQ(std::string::npos, metrics.find("fsw_volume_free_bytes{mountpoint=\"/\"} 3"))
        << "a mount point listed twice is one";
    EXPECT_NE(std::string::npos,
              metrics.find("\nfsw_volume_up{mountpoint=\"/mnt/\\\"q\\\"\"} 0\n"));
    EXPECT_NE(std::string::npos, metrics.find("\nfsw_disk_status{"));
}

}  // namespace
