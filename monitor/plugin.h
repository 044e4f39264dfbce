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

// A free-space limit in the units of the host list, decimals allowed: 20%, 5.5%, 500MB,
// 1.5GB, 100KB, 4096B.
struct FreeLimit {
    bool percent;
    uint64_t amount;  // per mille of the total for a per cent, bytes otherwise
};
// Digits, an optional decimal part and a unit (case does not matter). A per cent takes
// one decimal place, the tenth of a per cent the grades are compared in; KB, MB and GB
// take up to nine (the bytes are rounded down); B none. False for anything else, a per
// cent above 100 or a whole part beyond 32 bits.
bool ParseFreeLimit(const std::string& text, FreeLimit* limit);
// The limit in bytes of a volume of totalBytes, rounded down.
uint64_t FreeLimitBytes(FreeLimit limit, uint64_t totalBytes);
// At or below -c CRITICAL, else at or below -w WARNING, else OK; compared as the cycle
// grades a threshold (per mille of the total for a per cent, bytes otherwise).
PluginState GradeFreeBytes(uint64_t freeBytes, uint64_t totalBytes, FreeLimit warning,
                           FreeLimit critical);

struct PluginOptions {
    bool help = false;
    bool version = false;   // -V, --version
    unsigned verbose = 0;   // -v, --verbose: a line per path after the first
    bool list = false;      // --list: a cycle over the host list
    bool growth = false;    // --growth: the folders that grew under the one path
    bool all = false;       // --all, or the path "*": every volume the server lists
    std::string dir;        // --dir, with --list only
    std::string host;       // -H
    uint16_t port = 50801;  // -p
    unsigned timeout = 10;  // -t, seconds for the whole run
    FreeLimit warning = {false, 0};
    FreeLimit critical = {false, 0};
    std::vector<std::string> paths;
    // -4 or -6: the one family of the addresses of -H.
    MAddressFamily family = M_FAMILY_ANY;
};
// Parses the arguments that follow "check". False with the problem on a usage error.
// --help and --version end the parse: what follows them is not looked at.
bool ParsePluginArguments(const std::vector<std::string>& args, PluginOptions* options,
                          std::string* problem);
extern const char PLUGIN_USAGE[];  // the usage lines, each ending in a line feed
extern const char PLUGIN_HELP[];   // what check --help prints

// What the line says of one path: measured with its levels, or not with the reason.
struct PathReport {
    std::string label;  // UTF-8: the path, or host:port:path in --list mode
    PluginState state = PLUGIN_UNKNOWN;
    bool measured = false;
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
    uint64_t warningBytes = 0;   // WARNING at or below this free space
    uint64_t criticalBytes = 0;  // CRITICAL at or below this free space
    std::string reason;          // why it was not measured
};
// Why a path was not measured, in the plugin's words, for an ErrorReason: "no address for
// the host", "connection refused", "no answer in time", "closed without a reply (not
// allowed, or an older version)", "the server cannot measure it", "bad reply", "not started
// in time", "cancelled"; "not measured" for any other code.
const char* PluginReasonText(int32_t reason);

// A cycle's result as a report labelled host:port:path ([host]:port:path for an IPv6
// address), so that two servers of one host get labels of their own: the target's
// threshold is the warning level and a tenth of it the critical one, as the grades
// have them.
PathReport ReportOfResult(const CheckResult& result);

// "'label'" with a quote inside doubled; a bar or a control character, which would break
// the line apart, is replaced, and so is "=", which ends a label: by U+FF1D, the full-width
// equals sign.
std::string PerfLabel(const std::string& label);
// The plugin's line with its line feed: "FSW STATE - summary | perfdata". The summary
// counts the paths by state and names the least free of the worst measured ones ("least
// free" when all are OK, "worst" otherwise). The state is the worst of the reports
// (UNKNOWN when there are none).
std::string PluginLine(const std::vector<PathReport>& reports, PluginState* state);
// The long output that -v adds after the line: one line per report, in their order,
// "label: STATE 41.2 % (82.5 GB of 200.0 GB)" or "label: UNKNOWN reason".
std::string PluginDetails(const std::vector<PathReport>& reports);
