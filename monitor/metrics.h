// The results of a check cycle as metrics in the Prometheus text exposition format, for
// node_exporter's and windows_exporter's textfile collectors, and the file (key PROMFILE)
// they are written to at the end of every cycle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mlib/mlog_sink.h"
#include "net/check_result.h"
#include "net/volume_list.h"

// A label value with backslash, double quote and line feed escaped as the format wants.
std::string EscapeLabelValue(const std::string& utf8);

// What the metrics say of the cycle as a whole.
struct CycleFacts {
    double durationSeconds = 0;  // from the cycle's start to its summary
    unsigned targets = 0;        // targets queried
    int64_t endTime = 0;         // the cycle's end, Unix time
    const char* version = "";    // the program's version, as the package numbers it
};

// The exposition text of one cycle: every metric with its # HELP and # TYPE lines, the
// per-target series labelled host, port, path and description (UTF-8), sorted by those
// labels; of two results with the same labels only the first is kept, since an exporter
// refuses a whole file with a repeated series. forecasts holds, for each result, the
// seconds until its disk is full or FORECAST_NONE (missing entries count as none).
std::string MakeMetricsText(const std::vector<CheckResult>& results,
                            const std::vector<int64_t>& forecasts, const CycleFacts& cycle);

// The series of the program's version alone (the last of MakeMetricsText's).
std::string MakeBuildInfoText(const char* version);
// The server's own volumes: free and total bytes of those measured, and whether each was,
// labelled by the mount point or drive (UTF-8).
std::string MakeVolumeMetricsText(const std::vector<VolumeEntry>& volumes);

// The file PROMFILE names: an absolute name as it stands, any other below folder (the
// folder of fsw.ini), joined as the other file names of the settings are.
std::string MetricsFilePath(const char* folder, const char* name);

// Replaces the metrics file whole at the end of each cycle. A failure is logged once and
// retried at the next cycle; once a write succeeds, the next failure is logged again.
class MetricsFile {
public:
    // A failure goes to log, once until the file is written again.
    explicit MetricsFile(MLogSink& log) : m_log(log), m_failing(false) {}
    // False when the file could not be replaced; the old file is then left as it was.
    bool Write(const std::string& path, const std::string& text);

private:
    MLogSink& m_log;
    bool m_failing;
};
