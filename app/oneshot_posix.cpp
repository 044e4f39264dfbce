// One-shot runs: an application object of their own, one cycle, and the exit code.
#include "app/oneshot_posix.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/growth_scans.h"
#include "app/host_entry.h"
#include "app/kiv.h"
#include "app/wall_clock.h"
#include "monitor/check_cycle.h"
#include "monitor/console_text.h"
#include "monitor/growth_text.h"
#include "monitor/messages.h"
#include "monitor/plugin.h"
#include "net/disk_query.h"
#include "net/query_client.h"
#include "net/server.h"
#include "version.h"

namespace {

typedef std::chrono::steady_clock::time_point TimePoint;

// The application object of a one-shot run: no log file; with echo, each log line goes
// to standard error instead, so a cron job's mail says what went wrong.
class OneShotApp : public Kiv {
public:
    explicit OneShotApp(bool echo) : Kiv(nullptr, s_commandLine, 0), m_echo(echo) {}

    int Log(const char* format, ...) override {
        if (!m_echo) {
            return LOG_NOT_OPEN;
        }
        char line[LOG_MESSAGE_MAX + 2];
        va_list arguments;
        va_start(arguments, format);
        MVFormat(line, sizeof line - 1, format, arguments);
        va_end(arguments);
        line[sizeof line - 2] = '\0';
        strcat(line, "\n");
        fputs(line, stderr);
        return LOG_WRITTEN;
    }

private:
    static char s_commandLine[1];
    bool m_echo;
};

char OneShotApp::s_commandLine[1] = "";

// One cycle through the shared cycle logic, its summary printed or not; the message loop
// ends after the summary (and the metrics file, when PROMFILE names one).
class OneShotCycle : public MMessageTarget, public CheckCycle {
public:
    explicit OneShotCycle(bool print) : m_print(print) {}
    ~OneShotCycle() override { MForgetWindow(this); }

    intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t) override {
        if (message == WM_APP_CYCLE_DONE) {
            OnCycleDone();
        } else if (message == WM_TIMER && wParam == TIMER_RUN_DEADLINE) {
            // What has not answered by now counts as not measured; the cycle ends as
            // its cancelled queries do, at once.
            MKillTimer(this, TIMER_RUN_DEADLINE);
            CancelRunningQueries();
        }
        return 0;
    }

protected:
    HWND OwnWindow() override { return this; }
    void SetTrayTip(const char*) override {}
    void RestoreTrayTip() override {}
    void ShowBalloon(const char* text, const char* title, unsigned) override {
        if (m_print) {
            fputs(BalloonLine(text, title).c_str(), stdout);
        }
    }
    void UpdateStatusList(const std::vector<CheckResult>& results) override {
        if (m_print) {
            fputs(StatusListText(results, &theApp->m_history).c_str(), stdout);
            fputs(GrowthListText(results, theApp->m_folderGrowth, CurrentUtcOffset()).c_str(), stdout);
        }
    }
    void ShowStatusWindow() override {}
    void WriteCycleMetrics() override {
        CheckCycle::WriteCycleMetrics();
        MPostQuitMessage(0);
    }

private:
    bool m_print;
};

// Loads fsw.ini and the host list of the program's folder as at start-up, runs one cycle
// and hands back its results. Metrics are written only when asked for. With history, the
// history file (CHKFILE) is read as the daemon reads it at start and the cycle appended to
// it, so that runs from cron build the same history and forecasts as the daemon; without,
// the cycle's history stays in memory. With a query deadline, the queries still running at
// it are cancelled and count as errors. *historyWritten (when given) tells whether the
// cycle's lines reached the history.
std::vector<CheckResult> RunOneCycle(bool print, bool echoLog, bool metrics, bool history,
                                     const TimePoint* queryDeadline,
                                     bool* historyWritten = nullptr,
                                     std::string* listPath = nullptr) {
    OneShotApp app(echoLog);
    Kiv* previous = theApp;
    theApp = &app;
    app.InitializeLocks();
    BuildPath(app.m_iniPath, sizeof app.m_iniPath, app.moduleDir, "fsw.ini");
    app.LoadSettings();
    app.BuildFilePath(app.m_listPath, "LISTFILE", app.m_listFile);
    if (listPath != nullptr) {
        *listPath = app.m_listPath;
    }
    app.LoadHostList();
    if (!metrics) {
        app.m_promFile[0] = '\0';
    }
    if (history) {
        app.BuildFilePath(app.m_checkPath, "CHKFILE", app.m_checkFile);
    }
    app.RemoveStaleFiles();  // a killed run's leftovers, beside the metrics file too
    if (history) {
        app.m_history.Open(app.m_checkPath, app.m_keepDays, static_cast<int64_t>(time(nullptr)));
        app.m_history.SetSingleCycle();
    }
    // A run of its own has no last notification to compare with, and the engine that runs
    // it notifies by itself: the notification command is the running copy's.
    app.m_notifyCommand.clear();
    MStartupNetwork();
    {
        OneShotCycle cycle(print);
        if (queryDeadline != nullptr) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *queryDeadline - std::chrono::steady_clock::now());
            MSetTimer(&cycle, TIMER_RUN_DEADLINE,
                      left.count() > 0 ? static_cast<unsigned>(left.count()) : 0);
        }
        cycle.StartCheck(TIMER_CHECK);
        MRunMessageLoop();
    }
    fflush(stdout);
    { MLockGuard hold(app.m_queryCountLock); }  // the last query thread has let go of it
    std::vector<CheckResult> results;
    {
        MLockGuard hold(app.m_resultLock);
        results = app.m_results;
    }
    if (historyWritten != nullptr) {
        *historyWritten = app.m_history.AllWritten();
    }
    MCleanupNetwork();
    app.DeleteLocks();
    theApp = previous;
    return results;
}

// The deadline of a plugin run: when it passes, the UNKNOWN line is written and the
// process ends at once, whatever its threads are waiting for. Only async-signal-safe
// calls in the handler.
char g_deadlineLine[96];
size_t g_deadlineLength = 0;

void OnDeadline(int) {
    ssize_t written = write(STDOUT_FILENO, g_deadlineLine, g_deadlineLength);
    (void)written;
    _exit(PLUGIN_UNKNOWN);
}

void ArmDeadline(unsigned seconds) {
    int length = snprintf(g_deadlineLine, sizeof g_deadlineLine,
                          "FSW UNKNOWN - no answer within %u s\n", seconds);
    g_deadlineLength = static_cast<size_t>(length);
    signal(SIGALRM, OnDeadline);
    alarm(seconds);
}

// When a plugin run's queries must have ended: a little before its deadline, so that
// what was measured is still reported.
TimePoint QueryDeadline(unsigned seconds) {
    const unsigned margin = 300;
    unsigned total = seconds * 1000;
    return std::chrono::steady_clock::now() +
           std::chrono::milliseconds(total > margin * 2 ? total - margin : total / 2);
}

// Called before the line is printed, so that the deadline cannot add a second one.
void DisarmDeadline() {
    alarm(0);
}

// The line, and with -v the long output after it.
int PrintPluginLine(const std::string& line, PluginState state, const std::string& details = "") {
    DisarmDeadline();
    fputs(line.c_str(), stdout);
    fputs(details.c_str(), stdout);
    fflush(stdout);
    return state;
}

int RunListCheck(const PluginOptions& options, TimePoint queryDeadline) {
    std::string listPath;
    std::vector<CheckResult> results =
        RunOneCycle(false, false, false, false, &queryDeadline, nullptr, &listPath);
    if (results.empty()) {
        return PrintPluginLine("FSW UNKNOWN - no targets in the host list " + listPath + "\n",
                               PLUGIN_UNKNOWN);
    }
    std::vector<PathReport> reports;
    for (const CheckResult& result : results) {
        reports.push_back(ReportOfResult(result));
    }
    // The threads finish in any order; the engine's graphs want a stable one.
    std::stable_sort(reports.begin(), reports.end(),
                     [](const PathReport& a, const PathReport& b) { return a.label < b.label; });
    PluginState state = PLUGIN_UNKNOWN;
    std::string line = PluginLine(reports, &state);
    return PrintPluginLine(line, state, options.verbose > 0 ? PluginDetails(reports) : "");
}

// The report of a path measured against -w and -c.
PathReport MeasuredReport(const PluginOptions& options, const std::string& label,
                          uint64_t freeBytes, uint64_t totalBytes) {
    PathReport report;
    report.label = label;
    report.measured = true;
    report.freeBytes = freeBytes;
    report.totalBytes = totalBytes;
    report.state = GradeFreeBytes(freeBytes, totalBytes, options.warning, options.critical);
    report.warningBytes = FreeLimitBytes(options.warning, totalBytes);
    report.criticalBytes = FreeLimitBytes(options.critical, totalBytes);
    return report;
}

// The paths are asked a few at a time, all within the run's time: the queries end a
// little before the deadline, so that a slow path is reported as such while the others
// still count. Half the server's share for one peer leaves room for a copy of fsw on
// this machine that asks the same server.
std::vector<PathReport> QueryPaths(const PluginOptions& options, TimePoint queryDeadline) {
    std::vector<DiskQueryResult> results =
        RunDiskQueries(options.host, options.port, options.paths, queryDeadline,
                       MAX_HANDLERS_PER_PEER / 2, options.family);
    std::vector<PathReport> reports;
    for (size_t i = 0; i < options.paths.size(); i++) {
        const DiskQueryResult& result = results[i];
        if (result.outcome == DISK_QUERY_OK) {
            reports.push_back(
                MeasuredReport(options, options.paths[i], result.freeBytes, result.totalBytes));
        } else {
            PathReport report;
            report.label = options.paths[i];
            report.reason = PluginReasonText(ReasonOfQuery(result));
            reports.push_back(report);
        }
    }
    return reports;
}

// --all: a report per volume the server lists but those the paths name, labelled with its
// path; one report "*" when the server gives no list.
std::vector<PathReport> QueryEveryVolume(const PluginOptions& options, TimePoint queryDeadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        queryDeadline - std::chrono::steady_clock::now());
    unsigned limit = static_cast<unsigned>(std::max<int64_t>(1, left.count()));
    VolumeListQuery list =
        RunVolumeListQuery(options.host.c_str(), options.port, "",
                           std::min(limit, VOLUME_LIST_QUERY_LIMIT_MS), nullptr, options.family);
    std::vector<PathReport> reports;
    if (list.query.outcome != DISK_QUERY_OK) {
        PathReport report;
        report.label = ALL_VOLUMES_PATH;
        report.reason = list.query.outcome == DISK_QUERY_NO_HEADER
                            ? "the server gave no list (an older version, or this client is "
                              "not allowed)"
                            : PluginReasonText(ReasonOfQuery(list.query));
        reports.push_back(report);
        return reports;
    }
    for (const VolumeEntry& volume : VolumesOfAllRow(list.volumes, options.paths)) {
        if (volume.state == VOLUME_MEASURED) {
            reports.push_back(
                MeasuredReport(options, volume.path, volume.freeBytes, volume.totalBytes));
        } else {
            PathReport report;
            report.label = volume.path;
            report.reason = volume.state == VOLUME_LATE ? "no measurement in time"
                                                        : PluginReasonText(REASON_NOT_MEASURED);
            reports.push_back(report);
        }
    }
    return reports;
}

// The server's answer to a folder-growth request for path, within the run's time left.
GrowthEntry AskGrowth(const PluginOptions& options, const std::string& path,
                      TimePoint queryDeadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        queryDeadline - std::chrono::steady_clock::now());
    GrowthEntry entry;
    if (left.count() <= 0) {
        return entry;
    }
    GrowthQuery growth = RunGrowthQuery(options.host.c_str(), options.port, path.c_str(),
                                        std::min(static_cast<unsigned>(left.count()),
                                                 GROWTH_QUERY_LIMIT_MS),
                                        nullptr, options.family);
    entry.answer = AnswerOfGrowthQuery(growth.query);
    entry.report = growth.report;
    return entry;
}

// The long output of the folders that grew, for each path at WARNING or CRITICAL.
std::string GrowthDetails(const PluginOptions& options, const std::vector<PathReport>& reports,
                          TimePoint queryDeadline) {
    std::string lines;
    for (const PathReport& report : reports) {
        if (report.measured && (report.state == PLUGIN_WARNING || report.state == PLUGIN_CRITICAL)) {
            lines += GrowthPluginLines(report.label, AskGrowth(options, report.label, queryDeadline));
        }
    }
    return lines;
}

int RunHostCheck(const PluginOptions& options, TimePoint queryDeadline) {
    MStartupNetwork();
    std::vector<PathReport> reports;
    if (options.all) {
        reports = QueryEveryVolume(options, queryDeadline);
    }
    if (!options.paths.empty()) {
        std::vector<PathReport> named = QueryPaths(options, queryDeadline);
        reports.insert(reports.begin(), named.begin(), named.end());
    }
    std::string growth = GrowthDetails(options, reports, queryDeadline);
    MCleanupNetwork();
    PluginState state = PLUGIN_UNKNOWN;
    std::string line = PluginLine(reports, &state);
    return PrintPluginLine(line, state,
                           (options.verbose > 0 ? PluginDetails(reports) : "") + growth);
}

// --growth: the report of the one path as text; UNKNOWN when the server gave no usable
// answer, OK otherwise (a server without folder scans says so, which is no failure).
int RunGrowthCheck(const PluginOptions& options, TimePoint queryDeadline) {
    MStartupNetwork();
    GrowthEntry entry = AskGrowth(options, options.paths.front(), queryDeadline);
    MCleanupNetwork();
    DisarmDeadline();
    std::string label = options.host + " (" + std::to_string(options.port) + ") " +
                        options.paths.front() + ":";
    if (entry.answer == GROWTH_REPORTED) {
        printf("%s\n%s", label.c_str(), GrowthReportText(entry.report, CurrentUtcOffset()).c_str());
    } else {
        printf("%s %s\n", label.c_str(), GrowthAnswerText(entry.answer));
    }
    fflush(stdout);
    return entry.answer == GROWTH_FAILED ? PLUGIN_UNKNOWN : PLUGIN_OK;
}

}  // namespace

std::string VersionLine() {
    char line[128];
    snprintf(line, sizeof line, "%s Version %u.%u.%u (%u)\n", APP_TITLE,
             unsigned{FSW_VERSION_MAJOR}, unsigned{FSW_VERSION_MINOR}, unsigned{FSW_VERSION_BUILD},
             unsigned{FSW_VERSION_REVISION});
    return line;
}

bool UseProgramDirectory(const char* dir) {
    char absolute[PATH_MAX];
    if (realpath(dir, absolute) == nullptr) {
        fprintf(stderr, "fsw: %s: %s\n", dir, strerror(errno));
        return false;
    }
    MSetModuleDirectory(absolute);
    return true;
}

// The package's settings folder: a one-shot run without --dir reads it when the program's
// own folder (/usr/bin) has no fsw.ini.
const char PACKAGE_SETTINGS_DIR[] = "/etc/fsw";

void UsePackageDirectoryIfNoOwnSettings() {
    char program[PATH_MAX];
    size_t length = MGetModuleFileName(nullptr, program, sizeof program);
    std::string own(program, length);
    own = own.substr(0, own.rfind('/') + 1) + "fsw.ini";
    std::string packaged = std::string(PACKAGE_SETTINGS_DIR) + "/fsw.ini";
    if (length > 0 && access(own.c_str(), F_OK) != 0 && access(packaged.c_str(), F_OK) == 0) {
        MSetModuleDirectory(PACKAGE_SETTINGS_DIR);
    }
}

bool AsksForOnce(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--once") == 0) {
            return true;
        }
    }
    return false;
}

int RunOnceCommand(int argc, char** argv) {
    bool dirGiven = false;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            dirGiven = true;
            if (!UseProgramDirectory(argv[++i])) {
                return 2;
            }
        } else if (strcmp(argv[i], "--once") != 0) {
            fprintf(stderr, "fsw: unknown argument: %s\nusage: fsw [--dir DIR] --once\n", argv[i]);
            return 2;
        }
    }
    if (!dirGiven) {
        UsePackageDirectoryIfNoOwnSettings();
    }
    bool historyWritten = true;
    std::string listPath;
    std::vector<CheckResult> results =
        RunOneCycle(true, true, true, true, nullptr, &historyWritten, &listPath);
    if (results.empty()) {  // a cron job must not take a check of nothing for a good one
        fprintf(stderr, "チェック対象がありません。ホスト一覧を確認してください。(File=%s)\n",
                listPath.c_str());
        return PLUGIN_UNKNOWN;
    }
    PluginState worst = PLUGIN_OK;
    for (const CheckResult& result : results) {
        worst = WorseState(worst, StateOfStatus(result.status));
    }
    // The log line on standard error has said why; the run must not look like a good one.
    return historyWritten ? worst : WorseState(worst, PLUGIN_UNKNOWN);
}

int RunScanCommand(int argc, char** argv) {
    const char usage[] = "usage: fsw scan [--dir DIR] [PATH]\n";
    bool dirGiven = false;
    std::string path;
    for (int i = 0; i < argc; i++) {
        if (strcmp(argv[i], "--dir") == 0 && i + 1 < argc && !dirGiven) {
            dirGiven = true;
            if (!UseProgramDirectory(argv[++i])) {
                return 2;
            }
        } else if (strcmp(argv[i], "--help") == 0) {
            fputs(usage, stdout);
            return 0;
        } else if (argv[i][0] != '-' && path.empty()) {
            char absolute[PATH_MAX];
            if (realpath(argv[i], absolute) == nullptr) {
                fprintf(stderr, "fsw: %s: %s\n", argv[i], strerror(errno));
                return 2;
            }
            path = absolute;
        } else {
            fprintf(stderr, "fsw: unknown argument: %s\n%s", argv[i], usage);
            return 2;
        }
    }
    if (!dirGiven) {
        UsePackageDirectoryIfNoOwnSettings();
    }
    return RunForegroundScan(MModuleFolder(nullptr), path);
}

int RunCheckCommand(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    PluginOptions options;
    std::string problem;
    if (!ParsePluginArguments(args, &options, &problem)) {
        printf("FSW UNKNOWN - %s\n%s", problem.c_str(), PLUGIN_USAGE);
        return PLUGIN_UNKNOWN;
    }
    if (options.help) {
        printf("%s\n%s", PLUGIN_USAGE, PLUGIN_HELP);
        return PLUGIN_OK;
    }
    if (options.version) {  // as plugins do: the version line, and UNKNOWN
        fputs(VersionLine().c_str(), stdout);
        return PLUGIN_UNKNOWN;
    }
    ArmDeadline(options.timeout);
    TimePoint queryDeadline = QueryDeadline(options.timeout);
    if (options.list) {
        if (!options.dir.empty() && !UseProgramDirectory(options.dir.c_str())) {
            return PrintPluginLine("FSW UNKNOWN - no such folder " + options.dir + "\n",
                                   PLUGIN_UNKNOWN);
        }
        if (options.dir.empty()) {
            UsePackageDirectoryIfNoOwnSettings();
        }
        return RunListCheck(options, queryDeadline);
    }
    if (options.growth) {
        return RunGrowthCheck(options, queryDeadline);
    }
    return RunHostCheck(options, queryDeadline);
}
