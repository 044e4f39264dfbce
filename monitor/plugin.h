// The check plugin for monitoring engines (Nagios, Icinga, Naemon, Zabbix's external
// checks): its arguments, the grading of free space against -w and -c, and the one line
// it prints, a summary and the performance data after " | ".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mlib/msocket.h"
#include "net/check_result.h"

// Exit codes of a plugin.
enum PluginState : int {
    PLUGIN_OK = 0,
    PLUGIN_WARNING = 1,
    PLUGIN_CRITICAL = 2,
    PLUGIN_UNKNOWN = 3,
};

// "OK", "WARNING", "CRITICAL", "UNKNOWN".
const char* PluginStateName(PluginState state);
// The worse of two in the order CRITICAL > WARNING > UNKNOWN > OK.
PluginState WorseState(PluginState a, PluginState b);
// A cycle's grade as a plugin state: 危険 CRITICAL, 注意 and 警告 WARNING, normal OK, and
// anything not measured (エラー, or a reply without a usable body) UNKNOWN.
PluginState StateOfStatus(int32_t status);

// A free-space limit in the units of the host list: 20%, 500MB, 2GB, 100KB, 4096B.
struct FreeLimit {
    uint32_t threshold;
    uint32_t unit;  // a ThresholdUnit, or 4 for bytes
};
// Digits and a unit (case does not matter); false for anything else, a per cent above 100
// or a value beyond 32 bits.
bool ParseFreeLimit(const std::string& text, FreeLimit* limit);
// At or below -c CRITICAL, else at or below -w WARNING, else OK; compared as the cycle
// grades a threshold (per mille of the total for a per cent, bytes otherwise).
PluginState GradeFreeBytes(uint64_t freeBytes, uint64_t totalBytes, FreeLimit warning,
                           FreeLimit critical);

struct PluginOptions {
    bool help = false;
    bool list = false;      // --list: a cycle over the host list
    std::string dir;        // --dir, with --list only
    std::string host;       // -H
    uint16_t port = 50801;  // -p
    unsigned timeout = 10;  // -t, seconds for the whole run
    FreeLimit warning = {0, 0};
    FreeLimit critical = {0, 0};
    std::vector<std::string> paths;
    // -4 or -6: the one family of the addresses of -H.
    MAddressFamily family = M_FAMILY_ANY;
};
// Parses the arguments that follow "check". False with the problem on a usage error.
bool ParsePluginArguments(const std::vector<std::string>& args, PluginOptions* options,
                          std::string* problem);
extern const char PLUGIN_USAGE[];  // the usage lines, each ending in a line feed
extern const char PLUGIN_HELP[];   // what check --help prints

// What the line says of one path: measured with its levels, or not with the reason.
struct PathReport {
    std::string label;  // UTF-8: the path, or host:path in --list mode
    PluginState state = PLUGIN_UNKNOWN;
    bool measured = false;
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
    uint64_t warningBytes = 0;   // WARNING at or below this free space
    uint64_t criticalBytes = 0;  // CRITICAL at or below this free space
    std::string reason;          // why it was not measured
};
// A cycle's result as a report labelled host:path: the target's threshold is the warning
// level and a tenth of it the critical one, as the grades have them.
PathReport ReportOfResult(const CheckResult& result);

// "'label'" with a quote inside doubled; a bar or a control character, which would break
// the line apart, is replaced.
std::string PerfLabel(const std::string& label);
// The plugin's line with its line feed: "FSW STATE - summary | perfdata". The summary
// counts the paths by state and names the least free of the worst measured ones ("least
// free" when all are OK, "worst" otherwise). The state is the worst of the reports
// (UNKNOWN when there are none).
std::string PluginLine(const std::vector<PathReport>& reports, PluginState* state);
