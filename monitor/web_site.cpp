// The status page, the target pages, the metrics and the JSON of the server's port.
#include "monitor/web_site.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "app/forecast.h"
#include "app/history.h"
#include "app/host_entry.h"
#include "app/wall_clock.h"
#include "mlib/mcodepage.h"
#include "monitor/chart_geometry.h"
#include "monitor/metrics.h"
#include "monitor/notify_decision.h"
#include "monitor/status_text.h"
#include "net/ip_address.h"

namespace {

const char HTML_TYPE[] = "text/html; charset=utf-8";
const char TARGET_PREFIX[] = "/target/";
// The chart's size in the page's pixels; the SVG scales to the width it is given.
const int CHART_WIDTH = 720;
const int CHART_HEIGHT = 320;
const int CHART_CHAR_WIDTH = 7;

std::string Utf8(const std::string& text) {
    return MAnsiToUtf8(text.data(), text.size());
}

// Text of the program's code page as UTF-8, with what HTML gives a meaning escaped.
std::string Html(const std::string& text) {
    std::string out;
    for (char c : Utf8(text)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A JSON string of text of the program's code page.
std::string Json(const std::string& text) {
    std::string out = "\"";
    for (char c : Utf8(text)) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A wall-clock time of the offset from UTC in the format of six numbers, year first.
std::string WallTime(int64_t unixSeconds, int64_t utcOffset, const char* format) {
    MLocalTime t;
    WallFields(unixSeconds + utcOffset, &t);
    char text[40];
    snprintf(text, sizeof text, format, unsigned{t.year}, unsigned{t.month}, unsigned{t.day},
             unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second});
    return text;
}

// "2026-12-10T15:04:09+09:00": a wall-clock time and its offset from UTC.
std::string IsoTime(int64_t unixSeconds, int64_t utcOffset) {
    int64_t minutes = (utcOffset < 0 ? -utcOffset : utcOffset) / 60;
    char zone[16];
    snprintf(zone, sizeof zone, "%c%02u:%02u", utcOffset < 0 ? '-' : '+',
             static_cast<unsigned>(minutes / 60), static_cast<unsigned>(minutes % 60));
    return WallTime(unixSeconds, utcOffset, "%04u-%02u-%02uT%02u:%02u:%02u") + zone;
}

// "2026/12/10 15:04:09", as the status list writes its times.
std::string ShownTime(int64_t unixSeconds, int64_t utcOffset) {
    return WallTime(unixSeconds, utcOffset, "%04u/%02u/%02u %02u:%02u:%02u");
}

// The offset the result's own local time stamp has from its Unix time.
int64_t OffsetOf(const CheckResult& r) {
    MLocalTime t = {};
    t.year = r.year;
    t.month = r.month;
    t.day = r.day;
    t.hour = r.hour;
    t.minute = r.minute;
    t.second = r.second;
    return WallSeconds(t) - r.checkTime;
}

// The CSS class of a row's grade: its status, or "soon" for a normal disk forecast full
// within FORECAST days.
const char* GradeClass(const StatusSnapshot& status, const WebTarget& target) {
    std::string grade = GradeOf(target.result.status, target.forecast, status.forecastDays);
    if (grade == GRADE_SOON_FULL) {
        return "soon";
    }
    static const char* const CLASSES[] = {"none",    "normal", "caution",
                                          "warning", "danger", "error"};
    int32_t s = target.result.status;
    return s >= STATUS_NORMAL && s <= STATUS_ERROR ? CLASSES[s] : "error";
}

const char STYLE[] =
    "body{font-family:sans-serif;margin:0 auto;padding:8px;max-width:1100px;color:#222}"
    "h1{font-size:1.3em}h2{font-size:1.1em}.wrap{overflow-x:auto}"
    "table{border-collapse:collapse;font-size:.9em}th,td{border:1px solid #bbb;"
    "padding:4px 6px;text-align:left;white-space:nowrap}th{background:#eee}"
    "tr.normal td{background:#e8f5e9}tr.caution td{background:#fff8c4}"
    "tr.warning td{background:#ffe0b2}tr.danger td{background:#ffcdd2}"
    "tr.error td{background:#e0e0e0}tr.soon td{background:#e1f0ff}"
    "svg{max-width:100%;height:auto;background:#fff}";

std::string PageStart(const std::string& title, bool refresh) {
    return std::string("<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\">") +
           (refresh ? "<meta http-equiv=\"refresh\" content=\"60\">" : "") +
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>" +
           title + "</title><style>" + STYLE + "</style></head><body>\n";
}

std::string Cell(const std::string& html) {
    return "<td>" + html + "</td>";
}

std::string Bytes(uint64_t bytes) {
    char text[32];
    FormatByteSize(bytes, text, sizeof text);
    return text;
}

void AppendCycleLine(const StatusSnapshot& status, std::string* page) {
    if (!status.clientOn) {
        *page += "<p id=\"cycle\">" + Html("チェックは実行していません (CLIENT=0)。") + "</p>\n";
    } else if (!status.cycleRan) {
        *page += "<p id=\"cycle\">" + Html("まだチェックしていません。") + "</p>\n";
    } else {
        *page += "<p id=\"cycle\">" + Html("最終チェック ") +
                 ShownTime(status.cycleTime, status.utcOffset);
        if (status.nextCycleTime != 0) {
            *page += Html(" / 次回チェック ") + ShownTime(status.nextCycleTime, status.utcOffset);
        }
        *page += "</p>\n";
    }
}

void AppendVolumes(const std::vector<VolumeEntry>& volumes, std::string* page) {
    *page += "<h2>" + Html("このサーバのボリューム") +
             "</h2><div class=\"wrap\"><table id=\"volumes\"><tr><th>" + Html("パス") +
             "</th><th>" + Html("空き領域") + "</th><th>" + Html("全体容量") + "</th></tr>\n";
    for (const VolumeEntry& volume : volumes) {
        bool measured = volume.state == VOLUME_MEASURED;
        *page += "<tr>" + Cell(Html(volume.path)) +
                 Cell(measured ? Bytes(volume.freeBytes) : "N/A") +
                 Cell(measured ? Bytes(volume.totalBytes) : "N/A") + "</tr>\n";
    }
    *page += "</table></div>\n";
}

// The SVG of the chart, or a line that says there is nothing to draw.
std::string ChartSvg(const StatusSnapshot& status, const WebTarget& target) {
    ChartInput input;
    input.points = target.points.data();
    input.count = target.points.size();
    input.threshold = target.result.threshold;
    input.unit = target.result.unit;
    input.now = status.cycleTime;
    input.utcOffset = status.utcOffset;
    input.width = CHART_WIDTH;
    input.height = CHART_HEIGHT;
    input.charWidth = CHART_CHAR_WIDTH;
    ChartLayout layout;
    if (!LayOutChart(input, &layout)) {
        return "<p id=\"chart\">" + Html("グラフにする履歴がありません。") + "</p>\n";
    }
    char text[256];
    std::string svg = "<svg id=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
                      std::to_string(CHART_WIDTH) + " " + std::to_string(CHART_HEIGHT) +
                      "\" width=\"" + std::to_string(CHART_WIDTH) + "\" font-size=\"11\">";
    snprintf(text, sizeof text,
             "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" stroke=\"#888\"/>",
             layout.left, layout.top, layout.right - layout.left, layout.bottom - layout.top);
    svg += text;
    for (const ChartTick& tick : layout.valueTicks) {
        snprintf(text, sizeof text,
                 "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#ddd\"/>"
                 "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">",
                 layout.left, tick.position, layout.right, tick.position, layout.left - 4,
                 tick.position + 4);
        svg += text + Html(tick.label) + "</text>";
    }
    for (const ChartTick& tick : layout.timeTicks) {
        snprintf(text, sizeof text, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">",
                 tick.position, layout.bottom + 16);
        svg += text + Html(tick.label) + "</text>";
    }
    if (layout.hasThreshold) {
        snprintf(text, sizeof text,
                 "<line class=\"threshold\" x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" "
                 "stroke=\"#c62828\" stroke-dasharray=\"6 4\"/>",
                 layout.left, layout.thresholdY, layout.right, layout.thresholdY);
        svg += text;
    }
    svg += "<polyline class=\"free\" fill=\"none\" stroke=\"#1565c0\" stroke-width=\"2\" points=\"";
    for (const ChartPoint& point : layout.series) {
        svg += std::to_string(point.x) + "," + std::to_string(point.y) + " ";
    }
    svg += "\"/>";
    // The latest check as a dot, so that a history of one check shows too.
    snprintf(text, sizeof text,
             "<circle class=\"latest\" cx=\"%d\" cy=\"%d\" r=\"3\" fill=\"#1565c0\"/>",
             layout.series.back().x, layout.series.back().y);
    svg += text;
    if (layout.hasForecast) {
        snprintf(text, sizeof text,
                 "<line class=\"forecast\" x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" "
                 "stroke=\"#ef6c00\" stroke-dasharray=\"3 3\"/>",
                 layout.forecastFrom.x, layout.forecastFrom.y, layout.forecastTo.x,
                 layout.forecastTo.y);
        svg += text;
    }
    return svg + "</svg>\n";
}

const WebTarget* FindTarget(const StatusSnapshot& status, const std::string& key) {
    for (const WebTarget& target : status.rows) {
        if (TargetPageKey(target.result) == key) {
            return &target;
        }
    }
    return nullptr;
}

}  // namespace

std::string TargetPageKey(const CheckResult& result) {
    std::string key = HistoryKey(result.host, result.port, result.path);
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : key) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    char text[20];
    snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

std::string StatusPageHtml(const StatusSnapshot& status, const std::vector<VolumeEntry>* volumes) {
    std::string page = PageStart(Html("ケルム - " + status.hostName), true);
    page += "<h1>" + Html("ケルム ") + Html(status.hostName) + "</h1>\n";
    AppendCycleLine(status, &page);
    if (status.clientOn && status.cycleRan) {
        page += "<div class=\"wrap\"><table id=\"status\"><tr>";
        for (const char* title : STATUS_COLUMN_TITLES) {
            page += "<th>" + Html(title) + "</th>";
        }
        page += "</tr>\n";
        for (const WebTarget& target : status.rows) {
            StatusRowTexts row;
            MakeStatusRowTexts(target.result, target.forecast, &row, target.forecastOfBursts);
            page += std::string("<tr class=\"") + GradeClass(status, target) + "\">" +
                    Cell(Html(row.status)) + Cell(Html(row.time)) + Cell(Html(row.host)) +
                    Cell("<a href=\"" + std::string(TARGET_PREFIX) + TargetPageKey(target.result) +
                         "\">" + Html(row.path) + "</a>") +
                    Cell(Html(row.threshold)) + Cell(Html(row.freeSpace)) +
                    Cell(Html(row.description)) + Cell(Html(row.forecast)) + "</tr>\n";
        }
        page += "</table></div>\n";
    }
    if (volumes != nullptr) {
        AppendVolumes(*volumes, &page);
    }
    return page + "<p><small>" + Html(status.version) + "</small></p></body></html>\n";
}

std::string TargetPageHtml(const StatusSnapshot& status, const WebTarget& target) {
    const CheckResult& r = target.result;
    StatusRowTexts row;
    MakeStatusRowTexts(r, target.forecast, &row, target.forecastOfBursts);
    std::string name = Html(HostWrittenForm(r.host)) + " " + Html(r.path);
    std::string page = PageStart(name, true);
    page += "<p><a href=\"/\">" + Html("一覧に戻る") + "</a></p><h1>" + name + "</h1>\n";
    page += "<div class=\"wrap\"><table id=\"latest\">";
    const std::string cells[] = {
        row.status,
        row.time,
        row.threshold,
        row.freeSpace,
        r.status <= STATUS_DANGER && r.status >= STATUS_NORMAL ? Bytes(r.totalBytes) : "N/A",
        row.description,
        row.forecast};
    const char* titles[] = {"状態",     "最終確認日時", "しきい値", "空き領域",
                            "全体容量", "説明",         "満杯予測"};
    for (size_t i = 0; i < sizeof titles / sizeof titles[0]; i++) {
        page += std::string("<tr class=\"") + GradeClass(status, target) + "\"><th>" +
                Html(titles[i]) + "</th>" + Cell(Html(cells[i])) + "</tr>";
    }
    page += "</table></div>\n<h2>" + Html("空き領域の推移") + "</h2>\n" + ChartSvg(status, target);
    // Folder growth: the place for the report of the folders that grew on this target's
    // volume, once the client has one.
    page += "<div id=\"growth\"></div>\n";
    return page + "</body></html>\n";
}

std::string StatusJson(const StatusSnapshot& status, const std::vector<VolumeEntry>* volumes) {
    std::string json = "{\"host\":" + Json(status.hostName) +
                       ",\"version\":" + Json(status.version) +
                       ",\"client\":" + (status.clientOn ? "true" : "false") + ",\"cycle\":";
    if (status.cycleRan) {
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%.3f", status.cycleSeconds);
        json += "{\"time\":\"" + IsoTime(status.cycleTime, status.utcOffset) + "\",\"next\":" +
                (status.nextCycleTime != 0
                     ? "\"" + IsoTime(status.nextCycleTime, status.utcOffset) + "\""
                     : std::string("null")) +
                ",\"durationSeconds\":" + seconds +
                ",\"targets\":" + std::to_string(status.cycleTargets) + "}";
    } else {
        json += "null";
    }
    json += ",\"rows\":[";
    for (size_t i = 0; i < status.rows.size(); i++) {
        const WebTarget& target = status.rows[i];
        const CheckResult& r = target.result;
        StatusRowTexts row;
        MakeStatusRowTexts(r, target.forecast, &row, target.forecastOfBursts);
        bool measured = r.status >= STATUS_NORMAL && r.status <= STATUS_DANGER;
        json += std::string(i == 0 ? "" : ",") + "{\"page\":\"" + TARGET_PREFIX + TargetPageKey(r) +
                "\",\"status\":" + std::to_string(r.status) +
                ",\"statusText\":" + Json(row.status) + ",\"grade\":\"" +
                GradeClass(status, target) + "\",\"time\":\"" + IsoTime(r.checkTime, OffsetOf(r)) +
                "\",\"host\":" + Json(r.host) + ",\"port\":" + std::to_string(r.port) +
                ",\"path\":" + Json(r.path) + ",\"threshold\":" + std::to_string(r.threshold) +
                ",\"unit\":" + Json(UnitText(r.unit)) + ",\"thresholdBytes\":" +
                (r.unit != UNIT_PERCENT || measured
                     ? std::to_string(ThresholdBytes(r.threshold, r.unit, r.totalBytes))
                     : std::string("null")) +
                ",\"freeBytes\":" + (measured ? std::to_string(r.freeBytes) : "null") +
                ",\"totalBytes\":" + (measured ? std::to_string(r.totalBytes) : "null") +
                ",\"freeText\":" + Json(row.freeSpace) + ",\"description\":" + Json(r.description) +
                ",\"forecastSeconds\":" +
                (target.forecast != FORECAST_NONE ? std::to_string(target.forecast) : "null") +
                ",\"forecastText\":" + Json(row.forecast) + "}";
    }
    json += "]";
    if (volumes != nullptr) {
        json += ",\"volumes\":[";
        for (size_t i = 0; i < volumes->size(); i++) {
            const VolumeEntry& v = (*volumes)[i];
            bool measured = v.state == VOLUME_MEASURED;
            json += std::string(i == 0 ? "" : ",") + "{\"path\":" + Json(v.path) +
                    ",\"freeBytes\":" + (measured ? std::to_string(v.freeBytes) : "null") +
                    ",\"totalBytes\":" + (measured ? std::to_string(v.totalBytes) : "null") + "}";
        }
        json += "]";
    }
    return json + "}\n";
}

std::string MetricsPageText(const StatusSnapshot& status, const std::vector<VolumeEntry>& volumes) {
    std::string text;
    if (status.cycleRan) {
        std::vector<CheckResult> results;
        std::vector<int64_t> forecasts;
        for (const WebTarget& target : status.rows) {
            results.push_back(target.result);
            forecasts.push_back(target.forecast);
        }
        CycleFacts cycle;
        cycle.durationSeconds = status.cycleSeconds;
        cycle.targets = status.cycleTargets;
        cycle.endTime = status.cycleTime;
        cycle.version = status.version;
        text = MakeMetricsText(results, forecasts, cycle);
    } else {
        text = MakeBuildInfoText(status.version);
    }
    return text + MakeVolumeMetricsText(volumes);
}

void WebSite::Publish(const StatusSnapshot& status) {
    std::shared_ptr<const StatusSnapshot> copy = std::make_shared<StatusSnapshot>(status);
    std::lock_guard<std::mutex> hold(m_lock);
    m_status = copy;
}

std::shared_ptr<const StatusSnapshot> WebSite::Latest() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_status != nullptr ? m_status : std::make_shared<StatusSnapshot>();
}

bool WebSite::PageAt(const std::string& path, WebPage* page) {
    std::shared_ptr<const StatusSnapshot> status = Latest();
    std::vector<VolumeEntry> volumes;
    // The volumes are measured only for the pages that show them; a list that failed
    // shows as none.
    bool wantVolumes =
        path == "/metrics" || (!status->clientOn && (path == "/" || path == "/status.json"));
    if (wantVolumes && m_volumes) {
        m_volumes(&volumes);
    }
    const std::vector<VolumeEntry>* shown = status->clientOn ? nullptr : &volumes;
    if (path == "/") {
        *page = WebPage{HTML_TYPE, StatusPageHtml(*status, shown)};
    } else if (path == "/metrics") {
        *page =
            WebPage{"text/plain; version=0.0.4; charset=utf-8", MetricsPageText(*status, volumes)};
    } else if (path == "/status.json") {
        *page = WebPage{"application/json; charset=utf-8", StatusJson(*status, shown)};
    } else if (path.compare(0, strlen(TARGET_PREFIX), TARGET_PREFIX) == 0) {
        const WebTarget* target = FindTarget(*status, path.substr(strlen(TARGET_PREFIX)));
        if (target == nullptr) {
            return false;
        }
        *page = WebPage{HTML_TYPE, TargetPageHtml(*status, *target)};
    } else {
        return false;
    }
    return true;
}
