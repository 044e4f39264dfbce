// The check plugin's arguments, grading and line.
#include "monitor/plugin.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "app/host_entry.h"
#include "monitor/status_text.h"
#include "net/ip_address.h"
#include "net/volume_list.h"

namespace {

const uint32_t UNIT_BYTES = 4;  // any code above UNIT_GB means bytes

// The plugin's own order of severity, worst last.
int Rank(PluginState state) {
    switch (state) {
        case PLUGIN_OK:
            return 0;
        case PLUGIN_UNKNOWN:
            return 1;
        case PLUGIN_WARNING:
            return 2;
        default:
            return 3;
    }
}

bool ParseNumber(const std::string& text, uint64_t most, uint64_t* value) {
    if (text.empty() || text.size() > 20) {
        return false;
    }
    uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || number > (most - static_cast<uint64_t>(c - '0')) / 10) {
            return false;
        }
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    *value = number;
    return true;
}

// A bar would end the summary and start the performance data early; a line break would
// end the line; neither may come from a path.
std::string OneLineText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '|') {
            out += "\xC2\xA6";  // U+00A6, the broken bar
        } else if ((c >= 0 && c < 0x20) || c == 0x7F) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

// Free space in per mille of the total, 0 for a total of 0.
uint64_t FreePerMille(const PathReport& report) {
    return MeasuredValue(UNIT_PERCENT, report.freeBytes, report.totalBytes);
}

// "41.2 % (82.5 GB of 200.0 GB)"
std::string FreeSpaceText(const PathReport& report) {
    char freeText[32];
    char totalText[32];
    FormatByteSize(report.freeBytes, freeText, sizeof freeText);
    FormatByteSize(report.totalBytes, totalText, sizeof totalText);
    char percent[32];
    snprintf(percent, sizeof percent, "%.1f %%", static_cast<double>(FreePerMille(report)) / 10);
    return std::string(percent) + " (" + freeText + " of " + totalText + ")";
}

}  // namespace

const char* PluginStateName(PluginState state) {
    switch (state) {
        case PLUGIN_OK:
            return "OK";
        case PLUGIN_WARNING:
            return "WARNING";
        case PLUGIN_CRITICAL:
            return "CRITICAL";
        default:
            return "UNKNOWN";
    }
}

PluginState WorseState(PluginState a, PluginState b) {
    return Rank(b) > Rank(a) ? b : a;
}

PluginState StateOfStatus(int32_t status) {
    switch (status) {
        case STATUS_NORMAL:
            return PLUGIN_OK;
        case STATUS_CAUTION:
        case STATUS_WARNING:
            return PLUGIN_WARNING;
        case STATUS_DANGER:
            return PLUGIN_CRITICAL;
        default:
            return PLUGIN_UNKNOWN;
    }
}

bool ParseFreeLimit(const std::string& text, FreeLimit* limit) {
    static const struct {
        const char* suffix;
        bool percent;
        uint64_t bytes;   // of one unit
        size_t decimals;  // places after the point at most
    } units[] = {{"%", true, 0, 1},
                 {"KB", false, 1024, 9},
                 {"MB", false, 1048576, 9},
                 {"GB", false, 1073741824, 9},
                 {"B", false, 1, 0}};
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    for (const auto& unit : units) {
        size_t length = strlen(unit.suffix);
        if (upper.size() <= length || upper.compare(upper.size() - length, length, unit.suffix)) {
            continue;
        }
        std::string number = upper.substr(0, upper.size() - length);
        size_t point = number.find('.');
        std::string fraction = point == std::string::npos ? "" : number.substr(point + 1);
        uint64_t whole = 0;
        uint64_t part = 0;
        if (!ParseNumber(number.substr(0, point), 0xFFFFFFFFu, &whole) ||
            (point != std::string::npos &&
             (fraction.size() > unit.decimals || !ParseNumber(fraction, UINT64_MAX, &part)))) {
            return false;
        }
        uint64_t scale = 1;
        for (size_t i = 0; i < fraction.size(); i++) {
            scale *= 10;
        }
        if (unit.percent) {
            uint64_t perMille = whole * 10 + part;  // one decimal place at most
            if (perMille > 1000) {
                return false;
            }
            *limit = FreeLimit{true, perMille};
        } else {
            // At most 2^32 - 1 whole units of 2^30 bytes, and a part below one unit.
            *limit = FreeLimit{false, whole * unit.bytes + part * unit.bytes / scale};
        }
        return true;
    }
    return false;
}

uint64_t FreeLimitBytes(FreeLimit limit, uint64_t totalBytes) {
    if (!limit.percent) {
        return limit.amount;
    }
    // total x amount / 1000 rounded down, without overflow of the product.
    return totalBytes / 1000 * limit.amount + totalBytes % 1000 * limit.amount / 1000;
}

PluginState GradeFreeBytes(uint64_t freeBytes, uint64_t totalBytes, FreeLimit warning,
                           FreeLimit critical) {
    auto atOrBelow = [&](FreeLimit limit) {
        return MeasuredValue(limit.percent ? UNIT_PERCENT : UNIT_BYTES, freeBytes, totalBytes) <=
               limit.amount;
    };
    if (atOrBelow(critical)) {
        return PLUGIN_CRITICAL;
    }
    return atOrBelow(warning) ? PLUGIN_WARNING : PLUGIN_OK;
}

const char PLUGIN_USAGE[] =
    "Usage: fsw check -H HOST [-4|-6] [-p PORT] [-t SECONDS] [-v] -w LIMIT -c LIMIT PATH...\n"
    "       fsw check -H HOST [-4|-6] [-p PORT] [-t SECONDS] [-v] -w LIMIT -c LIMIT --all\n"
    "       fsw check --list [--dir DIR] [-t SECONDS] [-v]\n"
    "       fsw check --growth -H HOST [-4|-6] [-p PORT] [-t SECONDS] PATH\n"
    "       fsw check --help | --version\n";

const char PLUGIN_HELP[] =
    "fsw check: free disk space of fsw servers, as a monitoring plugin.\n"
    "\n"
    "  -H HOST       the fsw server to ask (a name, an IPv4 or an IPv6 address)\n"
    "  -4, -6        use IPv4 or IPv6 addresses of HOST only\n"
    "  -p PORT       its port (default 50801)\n"
    "  -w LIMIT      WARNING at or below this free space\n"
    "  -c LIMIT      CRITICAL at or below this free space (not above -w)\n"
    "  PATH...       paths as the server's system writes them\n"
    "  --all, -p *   every volume the server lists (but those the paths name)\n"
    "  --list        one check cycle over the host list, each target with its own threshold\n"
    "  --dir DIR     the folder of fsw.ini and the host list (default: the program's)\n"
    "  --growth      the folders that grew under PATH, as the server's scans compare\n"
    "  -t SECONDS    time for the whole run (default 10); what is not measured by then\n"
    "                counts as UNKNOWN\n"
    "  -v            a line per path after the first line\n"
    "  -V, --version the version line, exit code 3\n"
    "\n"
    "LIMIT is free space as in the host list, decimals allowed: 20%, 5.5%, 500MB, 1.5GB,\n"
    "100KB, 4096B. A per cent takes one decimal place.\n"
    "In the performance data a label's \"=\" is written \"\xEF\xBC\x9D\" (U+FF1D).\n"
    "A WARNING or CRITICAL path of -H is followed by lines of the folders that grew most,\n"
    "where its server keeps folder scans (GROWTH=1).\n"
    "Exit codes: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n";

namespace {

// What an option that takes a value does with it; false with the problem.
bool TakeValue(const std::string& option, const std::string& value, PluginOptions* options,
               std::string* problem) {
    uint64_t number = 0;
    if (option == "-H") {
        if (!IsHostText(value)) {
            *problem = "bad host " + value;
            return false;
        }
        options->host = value;
    } else if (option == "--dir") {
        options->dir = value;
    } else if (option == "-p" && value == ALL_VOLUMES_PATH) {
        options->all = true;  // a path "*" as other checks take -p for a path
    } else if (option == "-p") {
        if (!ParseNumber(value, 65535, &number) || number == 0) {
            *problem = "bad port " + value;
            return false;
        }
        options->port = static_cast<uint16_t>(number);
    } else if (option == "-t") {
        if (!ParseNumber(value, 86400, &number) || number == 0) {
            *problem = "bad time-out " + value;
            return false;
        }
        options->timeout = static_cast<unsigned>(number);
    } else {
        FreeLimit* limit = option == "-w" ? &options->warning : &options->critical;
        if (!ParseFreeLimit(value, limit)) {
            *problem = "bad limit " + option + " " + value;
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParsePluginArguments(const std::vector<std::string>& args, PluginOptions* options,
                          std::string* problem) {
    static const char* const withValue[] = {"-H", "-p", "-t", "-w", "-c", "--dir"};
    std::vector<std::string> given;  // the options with a value that were given
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& arg = args[i];
        if ((optionsEnded || arg.empty() || arg[0] != '-') && arg == ALL_VOLUMES_PATH) {
            options->all = true;
        } else if (optionsEnded || arg.empty() || arg[0] != '-') {
            options->paths.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options->help = true;
            return true;
        } else if (arg == "--version" || arg == "-V") {
            options->version = true;
            return true;
        } else if (arg == "--list") {
            options->list = true;
        } else if (arg == "--growth") {
            options->growth = true;
        } else if (arg == "--all") {
            options->all = true;
        } else if (arg == "--verbose" || arg == "-v") {
            options->verbose++;
        } else if (arg == "-4" || arg == "-6") {
            options->family = arg == "-4" ? M_FAMILY_IPV4 : M_FAMILY_IPV6;
        } else if (std::find_if(std::begin(withValue), std::end(withValue),
                                [&](const char* o) { return arg == o; }) == std::end(withValue)) {
            *problem = "unknown option " + arg;
            return false;
        } else if (i + 1 >= args.size()) {
            *problem = arg + " needs a value";
            return false;
        } else if (!TakeValue(arg, args[++i], options, problem)) {
            return false;
        } else {
            given.push_back(arg);
        }
    }
    auto has = [&](const char* option) {
        return std::find(given.begin(), given.end(), option) != given.end();
    };
    if (options->list) {
        if (has("-H") || has("-p") || has("-w") || has("-c") || !options->paths.empty() ||
            options->all) {
            *problem = "--list takes no -H, -p, -w, -c, --all or paths";
            return false;
        }
        if (options->family != M_FAMILY_ANY) {
            *problem = "-4 and -6 go with -H";
            return false;
        }
        return true;
    }
    if (has("--dir")) {
        *problem = "--dir goes with --list";
        return false;
    }
    if (options->growth) {
        if (options->host.empty() || options->paths.size() != 1 || options->all || has("-w") ||
            has("-c")) {
            *problem = "--growth takes -H and one path, and no -w, -c or --all";
            return false;
        }
        return true;
    }
    if (options->host.empty() || !has("-w") || !has("-c") ||
        (options->paths.empty() && !options->all)) {
        *problem = "-H, -w, -c and at least one path (or --all) are needed";
        return false;
    }
    // Less free space is worse: a critical level above the warning level cannot be meant.
    // A per cent and an amount compare only against a volume's size, so they are not
    // checked against each other.
    const FreeLimit& w = options->warning;
    const FreeLimit& c = options->critical;
    if (w.percent == c.percent && c.amount > w.amount) {
        *problem = "-c is above -w";
        return false;
    }
    return true;
}

const char* PluginReasonText(int32_t reason) {
    switch (reason) {
        case REASON_UNRESOLVED:
            return "no address for the host";
        case REASON_REFUSED:
            return "connection refused";
        case REASON_TIMED_OUT:
            return "no answer in time";
        case REASON_CLOSED:
            return "closed without a reply (not allowed, or an older version)";
        case REASON_NOT_MEASURED:
            return "the server cannot measure it";
        case REASON_BAD_REPLY:
            return "bad reply";
        case REASON_NOT_STARTED:
            return "not started in time";
        case REASON_CANCELLED:
            return "cancelled";
        default:
            return "not measured";
    }
}

PathReport ReportOfResult(const CheckResult& result) {
    PathReport report;
    std::string host = HostWrittenForm(result.host);
    if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";
    }
    report.label = host + ":" + std::to_string(result.port) + ":" + result.path;
    report.state = StateOfStatus(result.status);
    report.measured = report.state != PLUGIN_UNKNOWN;
    if (report.measured) {
        report.freeBytes = result.freeBytes;
        report.totalBytes = result.totalBytes;
        report.warningBytes = ThresholdBytes(result.threshold, result.unit, result.totalBytes);
        report.criticalBytes = report.warningBytes / 10;
    } else {
        report.reason =
            result.status == STATUS_ERROR ? PluginReasonText(result.reason) : "bad reply";
    }
    return report;
}

std::string PerfLabel(const std::string& label) {
    std::string quoted = "'";
    for (char c : OneLineText(label)) {
        if (c == '=') {
            quoted += "\xEF\xBC\x9D";  // U+FF1D
            continue;
        }
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted + "'";
}

std::string PluginLine(const std::vector<PathReport>& reports, PluginState* state) {
    PluginState worst = reports.empty() ? PLUGIN_UNKNOWN : PLUGIN_OK;
    unsigned counts[4] = {0, 0, 0, 0};
    const PathReport* named = nullptr;      // the least free of the worst measured
    const PathReport* firstLost = nullptr;  // the first not measured
    for (const PathReport& report : reports) {
        worst = WorseState(worst, report.state);
        counts[report.state]++;
        if (!report.measured) {
            firstLost = firstLost != nullptr ? firstLost : &report;
        } else if (named == nullptr || Rank(report.state) > Rank(named->state) ||
                   (report.state == named->state && FreePerMille(report) < FreePerMille(*named))) {
            named = &report;
        }
    }
    *state = worst;

    std::string line = std::string("FSW ") + PluginStateName(worst) + " - " +
                       std::to_string(reports.size()) + (reports.size() == 1 ? " path" : " paths");
    static const PluginState counted[] = {PLUGIN_CRITICAL, PLUGIN_WARNING, PLUGIN_UNKNOWN};
    for (PluginState one : counted) {
        if (counts[one] > 0) {
            std::string name = PluginStateName(one);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](char c) { return static_cast<char>(c + 32); });
            line += ", " + std::to_string(counts[one]) + " " + name;
        }
    }
    if (named != nullptr) {
        line += std::string(named->state == PLUGIN_OK ? ", least free " : ", worst ") +
                OneLineText(named->label) + " " + FreeSpaceText(*named);
    } else if (firstLost != nullptr) {
        line += ", " + OneLineText(firstLost->label) + ": " + firstLost->reason;
    }

    std::string perf;
    for (const PathReport& report : reports) {
        if (!report.measured) {
            continue;
        }
        char values[128];
        snprintf(values, sizeof values, "=%" PRIu64 "B;%" PRIu64 ":;%" PRIu64 ":;0;%" PRIu64,
                 report.freeBytes, report.warningBytes, report.criticalBytes, report.totalBytes);
        perf += " " + PerfLabel(report.label) + values;
    }
    if (!perf.empty()) {
        line += " |" + perf;
    }
    return line + "\n";
}

std::string PluginDetails(const std::vector<PathReport>& reports) {
    std::string lines;
    for (const PathReport& report : reports) {
        lines += OneLineText(report.label) + ": " + PluginStateName(report.state) + " " +
                 (report.measured ? FreeSpaceText(report) : OneLineText(report.reason)) + "\n";
    }
    return lines;
}
