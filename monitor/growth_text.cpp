// Folder-growth reports as text.
#include "monitor/growth_text.h"

#include <algorithm>
#include <cstdio>

#include "app/wall_clock.h"
#include "monitor/status_text.h"

namespace {

// A path from a peer on one line: control characters as spaces.
std::string OneLine(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return out;
}

std::string ByteSize(uint64_t bytes) {
    char text[32];
    FormatByteSize(bytes, text, sizeof text);
    return text;
}

std::string LocalTime(int64_t unixSeconds, int64_t utcOffset) {
    MLocalTime fields;
    WallFields(unixSeconds + utcOffset, &fields);
    char text[40];
    snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u", unsigned{fields.year},
             unsigned{fields.month}, unsigned{fields.day}, unsigned{fields.hour},
             unsigned{fields.minute});
    return text;
}

bool AtCautionOrWorse(const CheckResult& result) {
    return result.status >= STATUS_CAUTION && result.status <= STATUS_DANGER;
}

std::string RowName(const CheckResult& result) {
    return std::string(result.host) + " (" + std::to_string(result.port) + ") " + result.path;
}

// A folder of a row, for the variables.
struct RowFolder {
    const CheckResult* result;
    GrowthFolder folder;
};

}  // namespace

std::string FormatGrowth(int64_t bytes) {
    uint64_t amount = bytes < 0 ? 0 - static_cast<uint64_t>(bytes) : static_cast<uint64_t>(bytes);
    return (bytes < 0 ? "-" : "+") + ByteSize(amount);
}

std::string FormatScanTime(const GrowthScanInfo& scan, int64_t utcOffset) {
    if (scan.time == 0) {
        return "-";
    }
    return LocalTime(scan.time, utcOffset) + (scan.partial ? " (途中まで)" : "");
}

unsigned DaysBetween(int64_t earlier, int64_t later) {
    int64_t days = (later - earlier + 43200) / 86400;
    return days < 1 ? 1u : static_cast<unsigned>(days);
}

namespace {

std::string ComparedScans(const GrowthReport& report, int64_t utcOffset) {
    return "比較したスキャン: " + FormatScanTime(report.latest, utcOffset) + " / 1日前 " +
           FormatScanTime(report.dayBefore, utcOffset) + " / 7日前 " +
           FormatScanTime(report.weekBefore, utcOffset);
}

std::string TableTitle(const GrowthReport& report) {
    return "増えたフォルダ (" +
           std::to_string(DaysBetween(report.weekBefore.time, report.latest.time)) + "日間)";
}

}  // namespace

std::string GrowthReportText(const GrowthReport& report, int64_t utcOffset) {
    std::string text = ComparedScans(report, utcOffset) + "\n";
    text += TableTitle(report) + "\tサイズ\t1日\t7日\n";
    if (report.folders.empty()) {
        text += "  (なし)\n";
    }
    for (const GrowthFolder& folder : report.folders) {
        text += "  " + OneLine(folder.path) + "\t" + ByteSize(folder.sizeBytes) + "\t" +
                FormatGrowth(folder.growthDay) + "\t" + FormatGrowth(folder.growthWeek) + "\n";
    }
    if (!report.files.empty()) {
        text += "最近の大きなファイル\tサイズ\t更新日時\n";
    }
    for (const GrowthFile& file : report.files) {
        text += "  " + OneLine(file.path) + "\t" + ByteSize(file.sizeBytes) + "\t" +
                LocalTime(file.changeTime, utcOffset) + "\n";
    }
    return text;
}

std::vector<std::vector<std::string>> GrowthTableRows(const GrowthEntry& entry,
                                                      int64_t utcOffset) {
    std::vector<std::vector<std::string>> rows;
    if (entry.answer != GROWTH_REPORTED) {
        return rows;
    }
    const GrowthReport& report = entry.report;
    rows.push_back({TableTitle(report)});
    rows.push_back({ComparedScans(report, utcOffset)});
    rows.push_back({"フォルダ", "サイズ", "1日", "7日"});
    for (const GrowthFolder& folder : report.folders) {
        rows.push_back({OneLine(folder.path), ByteSize(folder.sizeBytes),
                        FormatGrowth(folder.growthDay), FormatGrowth(folder.growthWeek)});
    }
    if (!report.files.empty()) {
        rows.push_back({"最近の大きなファイル", "サイズ", "更新日時"});
    }
    for (const GrowthFile& file : report.files) {
        rows.push_back({OneLine(file.path), ByteSize(file.sizeBytes),
                        LocalTime(file.changeTime, utcOffset)});
    }
    return rows;
}

std::string GrowthListText(const std::vector<CheckResult>& results, const GrowthCache& cache,
                           int64_t utcOffset) {
    std::string text;
    for (const CheckResult& result : results) {
        GrowthEntry entry;
        if (!AtCautionOrWorse(result) ||
            !cache.Find(result.host, result.port, result.path, &entry)) {
            continue;
        }
        text += RowName(result) + ":";
        if (entry.answer != GROWTH_REPORTED) {
            text += std::string(" ") + GrowthAnswerText(entry.answer) + "\n";
            continue;
        }
        text += "\n";
        std::string report = GrowthReportText(entry.report, utcOffset);
        for (size_t begin = 0; begin < report.size();) {
            size_t end = report.find('\n', begin);
            text += "  " + report.substr(begin, end + 1 - begin);
            begin = end + 1;
        }
    }
    return text;
}

std::string GrowthBalloonLine(const std::vector<CheckResult>& results, const GrowthCache& cache) {
    const CheckResult* worst = nullptr;
    GrowthEntry worstEntry;
    for (const CheckResult& result : results) {
        GrowthEntry entry;
        if (AtCautionOrWorse(result) && (worst == nullptr || result.status > worst->status) &&
            cache.Find(result.host, result.port, result.path, &entry) &&
            entry.answer == GROWTH_REPORTED && !entry.report.folders.empty() &&
            entry.report.folders.front().growthWeek > 0) {
            worst = &result;
            worstEntry = entry;
        }
    }
    if (worst == nullptr) {
        return "";
    }
    const GrowthReport& report = worstEntry.report;
    const GrowthFolder& folder = report.folders.front();
    return OneLine(folder.path) + " が" +
           std::to_string(DaysBetween(report.weekBefore.time, report.latest.time)) + "日間で" +
           ByteSize(static_cast<uint64_t>(folder.growthWeek)) + "増えました";
}

MEnvironment GrowthEnvironment(const std::vector<CheckResult>& results, const GrowthCache& cache) {
    std::vector<RowFolder> folders;
    for (const CheckResult& result : results) {
        GrowthEntry entry;
        if (AtCautionOrWorse(result) && cache.Find(result.host, result.port, result.path, &entry)) {
            for (const GrowthFolder& folder : entry.report.folders) {
                folders.push_back(RowFolder{&result, folder});
            }
        }
    }
    std::stable_sort(folders.begin(), folders.end(), [](const RowFolder& a, const RowFolder& b) {
        return a.folder.growthWeek > b.folder.growthWeek;
    });
    MEnvironment variables;
    for (size_t i = 0; i < 3; i++) {
        std::string value;
        if (i < folders.size()) {
            const RowFolder& row = folders[i];
            value = OneLine(row.result->host) + "\t" + std::to_string(row.result->port) + "\t" +
                    OneLine(row.folder.path) + "\t" + std::to_string(row.folder.sizeBytes) + "\t" +
                    std::to_string(row.folder.growthDay) + "\t" +
                    std::to_string(row.folder.growthWeek);
        }
        variables.push_back({"FSW_GROWTH" + std::to_string(i + 1), value});
    }
    return variables;
}

std::string GrowthPluginLines(const std::string& label, const GrowthEntry& entry) {
    if (entry.answer != GROWTH_REPORTED) {
        return "";  // the engine's output stays as that of a server without scans
    }
    const GrowthReport& report = entry.report;
    std::string days = std::to_string(DaysBetween(report.weekBefore.time, report.latest.time));
    std::string lines;
    for (size_t i = 0; i < report.folders.size() && i < 3; i++) {
        const GrowthFolder& folder = report.folders[i];
        lines += label + ": growth " + OneLine(folder.path) + " " + FormatGrowth(folder.growthWeek) +
                 " in " + days + " days, " + FormatGrowth(folder.growthDay) + " in 1 day, now " +
                 ByteSize(folder.sizeBytes) + "\n";
    }
    return lines.empty() ? label + ": no folder grew\n" : lines;
}
