// The monitoring engines take what the program gives them: promtool accepts its metrics
// file, node_exporter serves it, and Nagios runs the plugin as a service check. The
// engines are the Debian packages, started on 127.0.0.1 and stopped by the test.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <regex>
#include <string>

#include "mlib/mdisk.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"
#include "version.h"

namespace {

const char PROMTOOL[] = "/usr/bin/promtool";
const char NODE_EXPORTER[] = "/usr/bin/prometheus-node-exporter";
const char NAGIOS[] = "/usr/sbin/nagios4";
const char ENGINE_PATH[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

// Runs an engine's command to its end; its exit code, output and errors.
ProgramRun RunTool(const std::vector<std::string>& argv, const TempDir& scratch) {
    return ::RunTool(argv, scratch.Path(), {ENGINE_PATH});
}

// An HTTP/1.0 GET on 127.0.0.1; the whole answer, empty when nothing answers.
std::string HttpGet(uint16_t port, const std::string& path) {
    FswSocket socket;
    if (!ConnectLocal(&socket, port)) {
        return "";
    }
    std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    socket.SendAll(request.data(), static_cast<int>(request.size()));
    return ReadUntilClosed(&socket);
}

// The program serving its disks on a free port, its files in dir.
class EngineTest : public ::testing::Test {
protected:
    void StartServer(const std::string& extraSettings) {
        port = FreePort();
        WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nSERVER=1\nSVPORT=" + std::to_string(port) +
                                                "\nCLIENT=0\nNOTI=0\n" + extraSettings);
        server.reset(new Program(dir.Path(), runtime.Path()));
        ASSERT_TRUE(WaitForListening(port, 10000));
    }
    void TearDown() override {
        if (server) {
            server->Signal(SIGTERM);
            EXPECT_NE(-1, server->Wait(10000)) << "the serving copy ends";
        }
    }

    TempDir dir;
    TempDir runtime;
    TempDir scratch;
    uint16_t port = 0;
    std::unique_ptr<Program> server;
};

// Japanese descriptions, Windows paths with backslashes and quotes, measured targets and
// ones that cannot be reached: the file of a real cycle passes promtool, and
// node_exporter's textfile collector serves its series.
TEST_F(EngineTest, PromtoolAcceptsTheMetricsAndNodeExporterServesThem) {
    TempDir textfiles;
    StartServer("PROMFILE=" + textfiles.File("fsw.prom") + "\n");
    uint16_t closed = FreePort();
    WriteFileBytes(dir.File("fsw.lst"), "0\t127.0.0.1\t" + std::to_string(port) + "\t" +
                                            dir.Path() + "\t10\t0\tルート\n" + "0\t127.0.0.1\t" +
                                            std::to_string(closed) +
                                            "\tC:\\Users\\データ\t2\t3\t\"共有 \"\"D\"\" \\\"\n");
    ProgramRun once = RunFsw({"--dir", dir.Path(), "--once"}, runtime.Path());
    ASSERT_EQ(3, once.exitCode) << once.out << once.err;
    ProgramRun check = RunTool({"/bin/sh", "-c", std::string(PROMTOOL) + " check metrics < \"$0\"",
                                textfiles.File("fsw.prom")},
                               scratch);
    EXPECT_EQ(0, check.exitCode) << check.out << check.err
                                 << ReadFileBytes(textfiles.File("fsw.prom"));

    uint16_t exporterPort = FreePort();
    ChildProcess exporter(
        {NODE_EXPORTER, "--web.listen-address=127.0.0.1:" + std::to_string(exporterPort),
         "--collector.disable-defaults", "--collector.textfile",
         "--collector.textfile.directory=" + textfiles.Path()},
        {ENGINE_PATH}, scratch.File("exporter.out"), scratch.File("exporter.err"));
    ASSERT_TRUE(exporter.Started());
    std::string page;
    ASSERT_TRUE(
        WaitUntil([&] { return !(page = HttpGet(exporterPort, "/metrics")).empty(); }, 20000))
        << ReadFileBytes(scratch.File("exporter.err"));
    std::regex measured(
        "\nfsw_disk_free_bytes\\{description=\"ルート\",host=\"127\\.0\\.0\\.1\",path=\"" +
        dir.Path() + "\",port=\"" + std::to_string(port) + "\"\\} [0-9.e+]+\n");
    EXPECT_TRUE(std::regex_search(page, measured)) << page;
    std::string unreachable =
        "fsw_disk_up{description=\"共有 \\\"D\\\" "
        "\\\\\",host=\"127.0.0.1\",path=\"C:\\\\Users\\\\データ\",port=\"" +
        std::to_string(closed) + "\"} 0\n";
    EXPECT_NE(std::string::npos, page.find(unreachable)) << page;
    EXPECT_NE(std::string::npos, page.find("\nnode_textfile_scrape_error 0\n"));
    exporter.Signal(SIGTERM);
    EXPECT_NE(-1, exporter.Wait(10000));
}

// The history's lines with their times moved back by seconds, as if they had been written
// that much earlier: the time a cron job leaves between two runs, without waiting for it.
std::string MovedBack(const std::string& history, int seconds) {
    std::string out;
    for (const std::string& line : SplitLines(history)) {
        struct tm fields = {};
        EXPECT_TRUE(strptime(line.c_str(), "%Y/%m/%d %H:%M:%S", &fields) != nullptr) << line;
        time_t moved = timegm(&fields) - seconds;  // wall-clock time, no zone applied
        char stamp[32];
        strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", gmtime_r(&moved, &fields));
        out += stamp + line.substr(strlen(stamp)) + "\r\n";
    }
    return out;
}

// Three one-shot runs half an hour apart, as a cron job makes them, against a disk that
// loses 1 GB between them: each run appends its cycle to the history, and the third
// forecasts from the three checks, in the status list ("約2日": 98 GB at 1 GB per half
// hour) and in the metrics file, which promtool accepts with the cycle's end and the
// version.
TEST(OnceHistory, ThreeRunsOverAnHourGiveTheForecastInTheListAndTheMetrics) {
    TempDir dir;
    TempDir runtime;
    TempDir scratch;
    FakeServer disk;
    WriteFileBytes(dir.File("fsw.ini"),
                   "[fsw]\nCLIENT=0\nNOTI=0\nPROMFILE=fsw.prom\nCHKFILE=history.txt\n");
    WriteFileBytes(dir.File("fsw.lst"),
                   "0\t127.0.0.1\t" + std::to_string(disk.Port()) + "\t/srv\t1\t3\tデータ\n");
    const uint64_t GB = uint64_t{1} << 30;
    const char* forecasts[] = {"-", "-", "約2日"};
    time_t started = time(nullptr);
    for (int run = 0; run < 3; run++) {
        disk.Serve(static_cast<int>(DiskRequest("/srv").size()),
                   DiskReply((100 - run) * GB, 200 * GB));
        ProgramRun once = RunFsw({"--dir", dir.Path(), "--once"}, runtime.Path());
        disk.Received();
        ASSERT_EQ(0, once.exitCode) << once.out << once.err;
        std::vector<std::string> lines = SplitLines(once.out);
        ASSERT_EQ(2u, lines.size()) << once.out;
        EXPECT_EQ(forecasts[run], lines[1].substr(lines[1].rfind('\t') + 1)) << once.out;
        std::string history = ReadFileBytes(dir.File("history.txt"));
        ASSERT_EQ(static_cast<size_t>(run + 1), SplitLines(history).size()) << history;
        if (run < 2) {
            WriteFileBytes(dir.File("history.txt"), MovedBack(history, 1800));
        }
    }

    std::string metrics = ReadFileBytes(dir.File("fsw.prom"));
    std::smatch forecast;
    ASSERT_TRUE(std::regex_search(
        metrics, forecast,
        std::regex("\nfsw_disk_full_forecast_seconds\\{[^}]*path=\"/srv\"[^}]*\\} ([0-9]+)\n")))
        << metrics;
    int64_t seconds = std::stoll(forecast[1]);
    EXPECT_GE(seconds, 98 * 1800) << "98 GB left at 1 GB in a little over half an hour";
    EXPECT_LT(seconds, 99 * 1800);
    std::smatch end;
    ASSERT_TRUE(std::regex_search(metrics, end,
                                  std::regex("\nfsw_last_cycle_timestamp_seconds ([0-9]+)\n")));
    EXPECT_GE(std::stoll(end[1]), static_cast<long long>(started));
    EXPECT_LE(std::stoll(end[1]), static_cast<long long>(time(nullptr)));
    EXPECT_NE(std::string::npos,
              metrics.find("\nfsw_build_info{version=\"" FSW_VERSION_TEXT "\"} 1\n"));
    ProgramRun check = RunTool(
        {"/bin/sh", "-c", std::string(PROMTOOL) + " check metrics < \"$0\"", dir.File("fsw.prom")},
        scratch);
    EXPECT_EQ(0, check.exitCode) << check.out << check.err << metrics;
}

// The alert rules the README shows: promtool takes them and, on made-up series, they fire
// for a disk that fills up and not for one that keeps its space.
TEST(EngineRules, ThePrometheusAlertRulesAreValidAndFire) {
    TempDir scratch;
    std::string source = FSW_SOURCE_DIR;
    ProgramRun check =
        RunTool({PROMTOOL, "check", "rules", source + "/docs/prometheus-rules.yml"}, scratch);
    EXPECT_EQ(0, check.exitCode) << check.out << check.err;
    ProgramRun test = RunTool(
        {PROMTOOL, "test", "rules", source + "/tests/exe/prometheus_rules_test.yml"}, scratch);
    EXPECT_EQ(0, test.exitCode) << test.out << test.err;
}

// One service with room to spare and one that no disk can satisfy; both checks are
// forced through the command file, and the status file shows their states and data.
TEST_F(EngineTest, NagiosRunsThePluginAsAServiceCheck) {
    StartServer("");
    const std::string d = scratch.Path();
    std::string config;
    for (const char* line : {"log_file=%/nagios.log",
                             "cfg_file=%/objects.cfg",
                             "object_cache_file=%/objects.cache",
                             "precached_object_file=%/objects.precache",
                             "status_file=%/status.dat",
                             "temp_file=%/nagios.tmp",
                             "temp_path=%",
                             "lock_file=%/nagios.lock",
                             "command_file=%/nagios.cmd",
                             "query_socket=%/nagios.qh",
                             "check_result_path=%/checkresults",
                             "state_retention_file=%/retention.dat",
                             "retain_state_information=0",
                             "nagios_user=root",
                             "nagios_group=root",
                             "check_external_commands=1",
                             "command_check_interval=-1",
                             "interval_length=1",
                             "status_update_interval=1",
                             "check_result_reaper_frequency=1",
                             "enable_notifications=0",
                             "enable_event_handlers=0",
                             "enable_flap_detection=0",
                             "use_syslog=0",
                             "log_rotation_method=n"}) {
        config += std::regex_replace(line, std::regex("%"), d) + "\n";
    }
    WriteFileBytes(scratch.File("nagios.cfg"), config);
    ASSERT_EQ(0, mkdir(scratch.File("checkresults").c_str(), 0755));
    std::string always = "define timeperiod {\n timeperiod_name always\n alias always\n";
    for (const char* day :
         {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"}) {
        always += std::string(" ") + day + " 00:00-24:00\n";
    }
    std::string objects =
        "define command {\n command_name check_fsw\n command_line " + std::string(FSW_EXE_PATH) +
        " check -H $HOSTADDRESS$ -p $ARG1$ -w $ARG2$ -c $ARG3$ $ARG4$\n}\n"
        "define command {\n command_name none\n command_line /bin/true\n}\n" +
        always +
        "}\n"
        "define contact {\n contact_name nobody\n host_notifications_enabled 0\n"
        " service_notifications_enabled 0\n host_notification_period always\n"
        " service_notification_period always\n host_notification_options n\n"
        " service_notification_options n\n host_notification_commands none\n"
        " service_notification_commands none\n}\n"
        "define host {\n host_name fsw-server\n address 127.0.0.1\n check_command none\n"
        " max_check_attempts 1\n check_period always\n active_checks_enabled 0\n"
        " contacts nobody\n notification_period always\n}\n";
    const struct {
        const char* name;
        const char* limits;
        int state;
        const char* output;
    } services[] = {
        {"disk-ok", "!1%!0%!", 0, "FSW OK - 1 path, least free "},
        {"disk-full", "!100%!100%!", 2, "FSW CRITICAL - 1 path, 1 critical, worst "},
    };
    for (const auto& service : services) {
        objects += std::string("define service {\n host_name fsw-server\n service_description ") +
                   service.name + "\n check_command check_fsw!" + std::to_string(port) +
                   service.limits + dir.Path() +
                   "\n max_check_attempts 1\n check_interval 86400\n retry_interval 86400\n"
                   " check_period always\n contacts nobody\n notification_period always\n}\n";
    }
    WriteFileBytes(scratch.File("objects.cfg"), objects);
    ProgramRun verify = RunTool({NAGIOS, "-v", scratch.File("nagios.cfg")}, scratch);
    ASSERT_EQ(0, verify.exitCode) << verify.out;

    ChildProcess nagios({NAGIOS, scratch.File("nagios.cfg")}, {ENGINE_PATH},
                        scratch.File("nagios.out"), scratch.File("nagios.err"));
    ASSERT_TRUE(nagios.Started());
    std::string commandFile = scratch.File("nagios.cmd");
    ASSERT_TRUE(WaitUntil([&] { return FileExists(commandFile); }, 20000));
    std::string commands;
    long now = static_cast<long>(time(nullptr));
    for (const auto& service : services) {
        commands += "[" + std::to_string(now) + "] SCHEDULE_FORCED_SVC_CHECK;fsw-server;" +
                    service.name + ";" + std::to_string(now) + "\n";
    }
    WriteFileBytes(commandFile, commands);

    // A service's block in the status file once it has been checked.
    auto block = [&](const std::string& name) {
        std::string status = ReadFileBytes(scratch.File("status.dat"));
        size_t start = status.find("service_description=" + name + "\n");
        size_t end = status.find("}", start);
        std::string found = start == std::string::npos ? "" : status.substr(start, end - start);
        return found.find("\n\thas_been_checked=1\n") != std::string::npos ? found : "";
    };
    for (const auto& service : services) {
        std::string found;
        ASSERT_TRUE(WaitUntil([&] { return !(found = block(service.name)).empty(); }, 30000))
            << ReadFileBytes(scratch.File("nagios.log"));
        EXPECT_NE(std::string::npos,
                  found.find("\n\tcurrent_state=" + std::to_string(service.state) + "\n"))
            << found;
        EXPECT_NE(std::string::npos, found.find(std::string("\n\tplugin_output=") + service.output))
            << found;
        EXPECT_NE(std::string::npos, found.find("\n\tperformance_data='" + dir.Path() + "'="))
            << found;
    }
    nagios.Signal(SIGTERM);
    EXPECT_NE(-1, nagios.Wait(20000));
}

// The body of an HTTP answer: what follows its head.
std::string BodyOf(const std::string& answer) {
    size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? "" : answer.substr(end + 4);
}

// The status page of a server that checks itself and a port where nothing listens, read
// by Chromium: a normal row and an error row, and the normal row's link to its target's
// page with the chart; a screenshot of the page is taken too.
TEST_F(EngineTest, ChromiumReadsTheStatusPageAndATargetsChart) {
    port = FreePort();
    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nSERVER=1\nWEB=1\nCLIENT=1\nNOTI=0\nSVPORT=" +
                                            std::to_string(port) + "\nCHKFILE=history.txt\n");
    WriteFileBytes(dir.File("fsw.lst"), "0\t127.0.0.1\t" + std::to_string(port) + "\t" +
                                            dir.Path() + "\t1\t0\t<b>ルート</b>\n0\t127.0.0.1\t" +
                                            std::to_string(FreePort()) +
                                            "\t/srv\t1\t0\t閉じたポート\n");
    server.reset(new Program(dir.Path(), runtime.Path()));
    ASSERT_TRUE(WaitForListening(port, 10000));
    ASSERT_TRUE(WaitUntil(
        [&] { return HttpGet(port, "/status.json").find("\"cycle\":{") != std::string::npos; },
        30000));
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    auto chromium = [&](const std::string& what, const std::string& url) {
        return RunTool({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                        "--user-data-dir=" + scratch.File("chromium"), what, url},
                       scratch);
    };
    ProgramRun page = chromium("--dump-dom", base + "/");
    ASSERT_EQ(0, page.exitCode) << page.err;
    std::smatch normal;
    ASSERT_TRUE(std::regex_search(
        page.out, normal, std::regex("<tr class=\"normal\">.*?href=\"(/target/[0-9a-f]{16})\"")))
        << page.out;
    EXPECT_NE(std::string::npos, page.out.find("<tr class=\"error\"><td>エラー</td>"));
    EXPECT_NE(std::string::npos, page.out.find("&lt;b&gt;ルート&lt;/b&gt;")) << "escaped";
    ProgramRun target = chromium("--dump-dom", base + normal[1].str());
    EXPECT_NE(std::string::npos, target.out.find("<svg id=\"chart\"")) << target.out;
    EXPECT_NE(std::string::npos, target.out.find("<polyline class=\"free\""));
    EXPECT_NE(std::string::npos, target.out.find("<line class=\"threshold\""));
    ProgramRun shot = chromium("--screenshot=" + scratch.File("page.png"), base + "/");
    EXPECT_EQ(0, shot.exitCode) << shot.err;
    EXPECT_EQ("\x89PNG", ReadFileBytes(scratch.File("page.png")).substr(0, 4));
}

// /metrics of the server's port passes promtool, and a real Prometheus scrapes it for two
// intervals at least: its API gives the size of the server's root volume as measured here.
TEST_F(EngineTest, PrometheusScrapesTheServersPortAndGivesItsVolumes) {
    StartServer("WEB=1\n");
    std::string metrics = BodyOf(HttpGet(port, "/metrics"));
    WriteFileBytes(scratch.File("metrics.txt"), metrics);
    ProgramRun check = RunTool({"/bin/sh", "-c", std::string(PROMTOOL) + " check metrics < \"$0\"",
                                scratch.File("metrics.txt")},
                               scratch);
    EXPECT_EQ(0, check.exitCode) << check.out << check.err << metrics;

    uint16_t promPort = FreePort();
    WriteFileBytes(scratch.File("prometheus.yml"),
                   "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: fsw\n"
                   "    static_configs:\n      - targets: ['127.0.0.1:" +
                       std::to_string(port) + "']\n");
    ChildProcess prometheus(
        {"/usr/bin/prometheus", "--config.file=" + scratch.File("prometheus.yml"),
         "--storage.tsdb.path=" + scratch.File("tsdb"),
         "--web.listen-address=127.0.0.1:" + std::to_string(promPort)},
        {ENGINE_PATH}, scratch.File("prometheus.out"), scratch.File("prometheus.err"));
    ASSERT_TRUE(prometheus.Started());
    std::string answer;
    std::regex two("\"value\":\\[[0-9.]+,\"([2-9]|[1-9][0-9]+)\"\\]");
    EXPECT_TRUE(WaitUntil(
        [&] {
            answer = HttpGet(promPort,
                             "/api/v1/"
                             "query?query=count_over_time(fsw_volume_total_bytes%7Bmountpoint%3D%"
                             "22%2F%22%7D%5B1m%5D)");
            return std::regex_search(answer, two);
        },
        60000))
        << answer << ReadFileBytes(scratch.File("prometheus.err"));
    answer =
        HttpGet(promPort, "/api/v1/query?query=fsw_volume_total_bytes%7Bmountpoint%3D%22%2F%22%7D");
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
    ASSERT_TRUE(MGetDiskFreeSpace("/", &freeBytes, &totalBytes));
    EXPECT_NE(std::string::npos, answer.find(",\"" + std::to_string(totalBytes) + "\"]")) << answer;
    prometheus.Signal(SIGTERM);
    EXPECT_NE(-1, prometheus.Wait(20000));
}

}  // namespace
