// The cycle's metrics and their file.
#include "monitor/metrics.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "app/file_path.h"
#include "app/forecast.h"
#include "app/host_entry.h"
#include "mlib/mcodepage.h"
#include "mlib/mfileops.h"
#include "net/ip_address.h"

std::string EscapeLabelValue(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

namespace {

std::string Utf8(const char* text) {
    return MAnsiToUtf8(text, strlen(text));
}

// The grade as the HELP text gives it: a target that could not be measured in full (no
// usable reply body) counts as an error here, so that it never drops out of the series.
unsigned Grade(int32_t status) {
    return status >= STATUS_NORMAL && status <= STATUS_ERROR ? static_cast<unsigned>(status)
                                                             : unsigned{STATUS_ERROR};
}

// The bytes of a text in hexadecimal digits.
std::string Hex(const char* text) {
    static const char DIGITS[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; p++) {
        out += DIGITS[*p >> 4];
        out += DIGITS[*p & 15];
    }
    return out;
}

bool Measured(const CheckResult& result) {
    return result.status >= STATUS_NORMAL && result.status <= STATUS_DANGER;
}

struct Series {
    std::string labels;  // {host="...",port="...",path="...",description="..."}
    const CheckResult* result;
    int64_t forecast;  // seconds until the disk is full, or FORECAST_NONE
};

struct Metric {
    const char* name;
    const char* help;
    // Writes the value of a series into text; false when the target has no such series.
    bool (*value)(const Series& series, char* text, size_t size);
};

bool FreeBytes(const Series& s, char* text, size_t size) {
    const CheckResult& r = *s.result;
    snprintf(text, size, "%" PRIu64, r.freeBytes);
    return Measured(r);
}

bool TotalBytes(const Series& s, char* text, size_t size) {
    const CheckResult& r = *s.result;
    snprintf(text, size, "%" PRIu64, r.totalBytes);
    return Measured(r);
}

// A per cent needs the total, which only a measured target has; a fixed amount is known.
bool ThresholdBytesValue(const Series& s, char* text, size_t size) {
    const CheckResult& r = *s.result;
    snprintf(text, size, "%" PRIu64, ThresholdBytes(r.threshold, r.unit, r.totalBytes));
    return r.unit != UNIT_PERCENT || Measured(r);
}

bool Status(const Series& s, char* text, size_t size) {
    const CheckResult& r = *s.result;
    snprintf(text, size, "%u", Grade(r.status));
    return true;
}

bool Up(const Series& s, char* text, size_t size) {
    const CheckResult& r = *s.result;
    snprintf(text, size, "%d", Measured(r) ? 1 : 0);
    return true;
}

bool CheckTime(const Series& s, char* text, size_t size) {
    const CheckResult& r = *s.result;
    snprintf(text, size, "%" PRId64, r.checkTime);
    return true;
}

// The forecast of the status list's last column, where there is one.
bool FullForecast(const Series& s, char* text, size_t size) {
    snprintf(text, size, "%" PRId64, s.forecast);
    return s.forecast != FORECAST_NONE;
}

const Metric TARGET_METRICS[] = {
    {"fsw_disk_free_bytes", "Free bytes of the volume holding the target's path.", FreeBytes},
    {"fsw_disk_total_bytes", "Total bytes of the volume holding the target's path.", TotalBytes},
    {"fsw_disk_threshold_bytes",
     "The target's threshold in bytes: its per cent of the total, or its fixed amount.",
     ThresholdBytesValue},
    {"fsw_disk_status",
     "Grade of the target: 1 normal, 2 caution, 3 warning, 4 danger, 5 error (not measured).",
     Status},
    {"fsw_disk_up", "1 when the target was measured in the cycle, 0 when it was not.", Up},
    {"fsw_check_timestamp_seconds", "When the target was checked, in Unix time.", CheckTime},
    {"fsw_disk_full_forecast_seconds",
     "Seconds from the target's check until its disk is full at the pace of its history; "
     "only targets with a forecast.",
     FullForecast},
};

void AppendHeader(std::string* text, const char* name, const char* help) {
    *text += std::string("# HELP ") + name + " " + help + "\n";
    *text += std::string("# TYPE ") + name + " gauge\n";
}

}  // namespace

std::string MakeMetricsText(const std::vector<CheckResult>& results,
                            const std::vector<int64_t>& forecasts, const CycleFacts& cycle) {
    std::vector<size_t> sorted;
    for (size_t i = 0; i < results.size(); i++) {
        sorted.push_back(i);
    }
    auto key = [&](size_t i) {
        const CheckResult& r = results[i];
        return std::make_tuple(HostWrittenForm(r.host), r.port, std::string(r.path),
                               std::string(r.description));
    };
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](size_t a, size_t b) { return key(a) < key(b); });
    std::vector<Series> series;
    size_t kept = 0;  // the index of the last series' result
    for (size_t index : sorted) {
        if (!series.empty() && key(kept) == key(index)) {
            continue;
        }
        kept = index;
        const CheckResult* result = &results[index];
        std::string labels = "{host=\"" +
                             EscapeLabelValue(Utf8(HostWrittenForm(result->host).c_str())) +
                             "\",port=\"" + std::to_string(result->port) + "\",path=\"" +
                             EscapeLabelValue(Utf8(result->path)) + "\",description=\"" +
                             EscapeLabelValue(Utf8(result->description)) + "\"}";
        int64_t forecast = index < forecasts.size() ? forecasts[index] : FORECAST_NONE;
        series.push_back(Series{labels, result, forecast});
    }
    // Texts that differ only in bytes UTF-8 cannot show give one label set; each series of
    // such a set also gets its texts' bytes, so that every label set stays its own.
    std::vector<std::string> labelSets;
    for (const Series& one : series) {
        labelSets.push_back(one.labels);
    }
    std::sort(labelSets.begin(), labelSets.end());
    for (Series& one : series) {
        auto same = std::equal_range(labelSets.begin(), labelSets.end(), one.labels);
        if (same.second - same.first > 1) {
            const CheckResult& r = *one.result;
            one.labels.insert(one.labels.size() - 1, ",bytes=\"" + Hex(r.host) + "-" + Hex(r.path) +
                                                         "-" + Hex(r.description) + "\"");
        }
    }

    std::string text;
    char value[32];
    for (const Metric& metric : TARGET_METRICS) {
        AppendHeader(&text, metric.name, metric.help);
        for (const Series& one : series) {
            if (metric.value(one, value, sizeof value)) {
                text += metric.name + one.labels + " " + value + "\n";
            }
        }
    }
    AppendHeader(&text, "fsw_cycle_duration_seconds",
                 "Time from the start of the check cycle to its summary.");
    snprintf(value, sizeof value, "%.3f", cycle.durationSeconds);
    text += std::string("fsw_cycle_duration_seconds ") + value + "\n";
    AppendHeader(&text, "fsw_cycle_targets", "Targets queried in the check cycle.");
    text += "fsw_cycle_targets " + std::to_string(cycle.targets) + "\n";
    // A file that stops changing shows by this time falling behind.
    AppendHeader(&text, "fsw_last_cycle_timestamp_seconds",
                 "End of the check cycle that wrote this file, in Unix time.");
    text += "fsw_last_cycle_timestamp_seconds " + std::to_string(cycle.endTime) + "\n";
    return text + MakeBuildInfoText(cycle.version);
}

std::string MakeBuildInfoText(const char* version) {
    std::string text;
    AppendHeader(&text, "fsw_build_info", "The version of the program that wrote this file.");
    return text + "fsw_build_info{version=\"" + EscapeLabelValue(version) + "\"} 1\n";
}

// A mount point listed twice (or two that UTF-8 shows alike) is one series: the first.
std::string MakeVolumeMetricsText(const std::vector<VolumeEntry>& volumes) {
    std::vector<std::pair<std::string, const VolumeEntry*>> series;
    for (const VolumeEntry& volume : volumes) {
        std::string label = "{mountpoint=\"" +
                            EscapeLabelValue(MAnsiToUtf8(volume.path.data(), volume.path.size())) +
                            "\"}";
        if (std::none_of(series.begin(), series.end(),
                         [&](const std::pair<std::string, const VolumeEntry*>& one) {
                             return one.first == label;
                         })) {
            series.emplace_back(label, &volume);
        }
    }
    std::string text;
    const char* names[] = {"fsw_volume_free_bytes", "fsw_volume_total_bytes", "fsw_volume_up"};
    const char* helps[] = {"Free bytes of a volume of the server's own volume list.",
                           "Total bytes of a volume of the server's own volume list.",
                           "1 when the server measured the volume, 0 when it could not."};
    for (int metric = 0; metric < 3; metric++) {
        AppendHeader(&text, names[metric], helps[metric]);
        for (const auto& one : series) {
            bool measured = one.second->state == VOLUME_MEASURED;
            if (metric == 2 || measured) {
                uint64_t value = metric == 0   ? one.second->freeBytes
                                 : metric == 1 ? one.second->totalBytes
                                               : uint64_t{measured ? 1u : 0u};
                text += names[metric] + one.first + " " + std::to_string(value) + "\n";
            }
        }
    }
    return text;
}

std::string MetricsFilePath(const char* folder, const char* name) {
    bool absolute = name[0] == '/' || (M_PATH_SEPARATOR == '\\' &&
                                       (name[0] == '\\' || (name[0] != '\0' && name[1] == ':')));
    if (absolute) {
        return name;
    }
    char path[2 * 261 + 2];  // room for any folder and name: never cut
    BuildPath(path, sizeof path, folder, name);
    return path;
}

// The name itself is replaced, never what a link there points to: the metrics folder often
// belongs to another user, who could otherwise aim the file at any file this program may
// write.
bool MetricsFile::Write(const std::string& path, const std::string& text) {
    MReplaceResult result =
        MReplaceFile(path.c_str(), text.data(), text.size(), M_LINK_REPLACE_NAME);
    if (result == M_REPLACE_DONE) {
        m_failing = false;
        return true;
    }
    if (!m_failing) {
        m_log.Write(result == M_REPLACE_REFUSED
                        ? "メトリクスファイルが通常のファイルでないか他のユーザのリンクのため、書き"
                          "込みません。(File=%s)"
                        : "メトリクスファイルに書き込めませんでした。(File=%s)",
                    path.c_str());
        m_failing = true;
    }
    return false;
}
