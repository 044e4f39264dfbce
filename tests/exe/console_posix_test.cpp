// The Linux edition doing the main job: its own server answers its own check cycle,
// and the status list and the balloon line come out on standard output; SIGHUP reads
// the files again; SIGUSR1 checks now and SIGUSR2 prints the list again; the shutdown
// ends with a silent client and a target that never answers.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "mlib/msocket.h"
#include "net/protocol.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"

namespace {

std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) {
            return cells;
        }
        start = tab + 1;
    }
}

std::vector<std::string> LogMessages(const std::string& path) {
    std::vector<std::string> messages;
    for (const std::string& line : SplitLines(ReadFileBytes(path))) {
        size_t second = line.find('\t', line.find('\t') + 1);
        messages.push_back(second == std::string::npos ? "" : line.substr(second + 1));
    }
    return messages;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class ConsoleTest : public ::testing::Test {
protected:
    void WriteSettings(uint16_t port, unsigned interval, unsigned notify) {
        WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nSERVER=1\nSVPORT=" + std::to_string(port) +
                                                "\nCLIENT=1\nINTVAL=" + std::to_string(interval) +
                                                "\nNOTI=" + std::to_string(notify) + "\n");
    }
    static std::string Target(uint16_t port, const std::string& path, const char* threshold,
                              const char* unit, const char* description) {
        return std::string("0\t127.0.0.1\t") + std::to_string(port) + "\t" + path + "\t" +
               threshold + "\t" + unit + "\t" + description + "\n";
    }
    // A disk of 1 TB with 110 GB free now, lost at a steady rate that fills it in 5.5 days:
    // its free bytes hoursAgo hours ago, and the fake server's reply for it now.
    static uint64_t SoonFullFree(int hoursAgo) {
        const uint64_t freeNow = 110000000000;
        return freeNow + static_cast<uint64_t>(static_cast<double>(freeNow) / 5.5 / 24 * hoursAgo);
    }
    static const uint64_t SOON_FULL_TOTAL = 1000000000000;
    static std::string SoonFullReply() {
        return WireHeader(FSW_MAGIC, FSW_PROTOCOL_VERSION, TYPE_REPLY, STATUS_OK, 16) +
               Be64(SoonFullFree(0)) + Be64(SOON_FULL_TOTAL);
    }
    // Runs the program until its balloon says one disk is soon full, then stops it; started
    // runs once it has started. The lines it printed.
    std::vector<std::string> RunUntilOneDiskSoonFull(const std::function<void()>& started) {
        Program program(dir.Path(), runtime.Path());
        EXPECT_TRUE(program.Started());
        started();
        const std::string balloon =
            "空き領域減少: 空き領域が7日以内になくなる見込みのディスクが 1個あります。\n";
        EXPECT_TRUE(
            WaitUntil([&] { return program.Stdout().find(balloon) != std::string::npos; }, 20000))
            << program.Stdout();
        program.Signal(SIGTERM);
        EXPECT_EQ(0, program.Wait(20000));
        return SplitLines(program.Stdout());
    }

    // A history line of a check of /data on 127.0.0.1 at port, dated when in local time.
    static std::string HistoryLine(time_t when, const std::string& port, uint64_t free,
                                   uint64_t total) {
        struct tm local;
        localtime_r(&when, &local);
        char stamp[32];
        strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &local);
        return std::string(stamp) + "\t127.0.0.1\t" + port + "\t/data\t1\t" + std::to_string(free) +
               "\t" + std::to_string(total) + "\r\n";
    }

    TempDir dir;
    TempDir runtime;
};

// The list of a cycle with a target in order, one in danger whose path is Japanese (it
// travels as Shift-JIS and back), and one that cannot be reached.
TEST_F(ConsoleTest, ItsOwnServerAnswersItsCycleAndTheListAndBalloonArePrinted) {
    uint16_t port = FreePort();
    uint16_t closedPort = FreePort();
    std::string japanese = dir.File("日本語");
    ASSERT_EQ(0, mkdir(japanese.c_str(), 0755));
    WriteSettings(port, 1, 1);
    WriteFileBytes(dir.File("fsw.lst"), Target(port, dir.Path(), "0", "0", "ルート") +
                                            Target(port, japanese, "4000000000", "3", "和名") +
                                            Target(closedPort, "/", "10", "0", "停止中"));
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(program.Started());
    const std::string balloon =
        "空き領域減少: 空き領域がしきい値を下回ったディスクが 1個あります。 "
        "空き領域が確認できないディスクが 1個あります。\n";
    ASSERT_TRUE(
        WaitUntil([&] { return program.Stdout().find(balloon) != std::string::npos; }, 20000))
        << program.Stdout();
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(20000)) << program.Stderr();

    std::vector<std::string> lines = SplitLines(program.Stdout());
    ASSERT_EQ(6u, lines.size()) << program.Stdout();
    EXPECT_EQ("状態\t最終確認日時\tホスト\tパス\tしきい値\t空き領域\t説明\t満杯予測", lines[0]);
    std::vector<std::string> rows(lines.begin() + 1, lines.begin() + 4);
    std::sort(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
        return Cells(a)[6] < Cells(b)[6];
    });  // by description: ルート, 停止中, 和名
    std::regex time("\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}");
    std::regex percent("\\d+\\.\\d %");
    std::regex bytes("\\d+(\\.\\d)? (B|KB|MB|GB|TB)");

    std::vector<std::string> normal = Cells(rows[0]);
    ASSERT_EQ(8u, normal.size());
    EXPECT_EQ("正常", normal[0]);
    EXPECT_TRUE(std::regex_match(normal[1], time)) << normal[1];
    EXPECT_EQ("127.0.0.1", normal[2]);
    EXPECT_EQ(dir.Path(), normal[3]);
    EXPECT_EQ("0 %", normal[4]);
    EXPECT_TRUE(std::regex_match(normal[5], percent)) << normal[5];

    std::vector<std::string> error = Cells(rows[1]);
    EXPECT_EQ((std::vector<std::string>{"エラー", error[1], "127.0.0.1", "/", "10 %",
                                        "N/A (接続を拒否されました)", "停止中", "-"}),
              error);

    std::vector<std::string> danger = Cells(rows[2]);
    EXPECT_EQ("危険", danger[0]);
    EXPECT_EQ(japanese, danger[3]);
    EXPECT_EQ("4000000000 GB", danger[4]);
    EXPECT_TRUE(std::regex_match(danger[5], bytes)) << danger[5];
    // Its own server keeps no folder scans: the row in danger says so after the list.
    EXPECT_EQ("127.0.0.1 (" + std::to_string(port) + ") " + japanese +
                  ": このサーバはフォルダの増加を報告しません",
              lines[4]);
    EXPECT_EQ(balloon, lines[5] + "\n");

    std::vector<std::string> log = LogMessages(dir.File("fsw.log"));
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
        return line.find("[" + japanese + "] 空き容量 ") == 0;
    })) << "the server measured the path it got back in UTF-8";
    EXPECT_TRUE(Contains(log, "127.0.0.1 (" + std::to_string(closedPort) + ")に接続できません"));
    EXPECT_EQ("サーバを起動します", log.at(1));
}

TEST_F(ConsoleTest, SighupReadsTheSettingsAndTheHostListAgain) {
    uint16_t port = FreePort();
    WriteSettings(port, 1, 0);
    WriteFileBytes(dir.File("fsw.lst"), "");
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(WaitUntil([&] { return !program.Stdout().empty(); }, 20000));
    EXPECT_EQ("状態\t最終確認日時\tホスト\tパス\tしきい値\t空き領域\t説明\t満杯予測\n",
              program.Stdout())
        << "a cycle without targets prints an empty list";

    WriteSettings(port, 3, 0);
    WriteFileBytes(dir.File("fsw.lst"), "not a host line\n");
    program.Signal(SIGHUP);
    std::string logPath = dir.File("fsw.log");
    ASSERT_TRUE(WaitUntil(
        [&] { return Contains(LogMessages(logPath), "タイマを再設定します 1分 → 3分"); }, 20000));
    std::vector<std::string> log = LogMessages(logPath);
    EXPECT_TRUE(Contains(log, "設定ファイルとホスト一覧を読み込み直します"));
    EXPECT_TRUE(Contains(log, "登録ホストファイル：1行目の列がタブで区切られていません。列はタブで"
                              "区切ります。(カラム数:1)"));
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(20000)) << program.Stderr();
}

// A target that holds its query for 3 s keeps the cycle of the first SIGUSR1 running
// while the second one comes: that one is refused. SIGUSR2 prints the latest finished
// list, before any cycle only its titles; a control character of the host list never
// reaches the output. The log goes to the absolute LOGFILE.
TEST_F(ConsoleTest, Sigusr1ChecksNowOnceAndSigusr2PrintsTheLatestListAgain) {
    FakeServer slow;
    TempDir logDir;
    std::string logPath = logDir.File("service.log");
    WriteFileBytes(dir.File("fsw.ini"),
                   "[fsw]\nSERVER=0\nCLIENT=0\nNOTI=1\nLOGFILE=" + logPath + "\n");
    WriteFileBytes(dir.File("fsw.lst"), Target(slow.Port(), "/", "10", "0", "赤\x1b[31m字"));
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(WaitUntil([&] { return !LogMessages(logPath).empty(); }, 10000));
    EXPECT_FALSE(FileExists(dir.File("fsw.log")));
    const std::string titles =
        "状態\t最終確認日時\tホスト\tパス\tしきい値\t空き領域\t説明\t満杯予測\n";
    program.Signal(SIGUSR2);
    ASSERT_TRUE(WaitUntil([&] { return program.Stdout() == titles; }, 10000)) << program.Stdout();

    slow.Serve(0, "", 3000);
    program.Signal(SIGUSR1);
    ASSERT_TRUE(WaitUntil(
        [&] { return Contains(LogMessages(logPath), "チェック要求(SIGUSR1)を受けました"); },
        10000));
    program.Signal(SIGUSR1);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Contains(LogMessages(logPath), "既に問合せ処理中のため、チェックを開始しません");
        },
        10000));
    ASSERT_TRUE(WaitUntil([&] { return SplitLines(program.Stdout()).size() == 4; }, 20000))
        << "titles, list, balloon";
    program.Signal(SIGUSR2);
    ASSERT_TRUE(WaitUntil([&] { return SplitLines(program.Stdout()).size() == 6; }, 10000));
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(20000));

    std::vector<std::string> lines = SplitLines(program.Stdout());
    EXPECT_EQ("空き領域エラー: 空き領域を確認できないディスクが 1個あります。", lines[3]);
    EXPECT_EQ(lines[1], lines[4]);
    EXPECT_EQ(lines[2], lines[5]);
    EXPECT_EQ("赤 [31m字", Cells(lines[2]).at(6));
    EXPECT_EQ(std::string::npos, program.Stdout().find('\x1b'));
    std::vector<std::string> log = LogMessages(logPath);
    EXPECT_EQ(2, std::count(log.begin(), log.end(), "チェック要求(SIGUSR1)を受けました"));
}

// A history of six days in which the disk lost free space at a steady rate, so that at
// the rate of the fake server's answer now it is full in five and a half days: the list
// says 約5日 and the summary, with nothing else to report, has the forecast's line alone.
TEST_F(ConsoleTest, APreparedHistoryGivesItsForecastInTheListAndTheBalloon) {
    FakeServer server;
    server.Serve(12 + 5, SoonFullReply());
    std::string port = std::to_string(server.Port());
    time_t now = time(nullptr);
    std::string history;
    for (int hoursAgo = 6 * 24; hoursAgo >= 1; hoursAgo--) {
        history +=
            HistoryLine(now - hoursAgo * 3600, port, SoonFullFree(hoursAgo), SOON_FULL_TOTAL);
    }
    WriteFileBytes(dir.File("lastchk.txt"), history);
    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nSERVER=0\nCLIENT=1\nINTVAL=60\nNOTI=1\n");
    WriteFileBytes(dir.File("fsw.lst"), Target(server.Port(), "/data", "1", "3", "データ"));

    std::vector<std::string> lines = RunUntilOneDiskSoonFull([] {});
    ASSERT_EQ(3u, lines.size());
    std::vector<std::string> row = Cells(lines[1]);
    ASSERT_EQ(8u, row.size());
    EXPECT_EQ("正常", row[0]);
    EXPECT_EQ("約5日", row[7]);
    std::vector<std::string> kept = SplitLines(ReadFileBytes(dir.File("lastchk.txt")));
    ASSERT_EQ(6u * 24 + 1, kept.size());
    EXPECT_EQ("\t127.0.0.1\t" + port + "\t/data\t1\t110000000000\t1000000000000",
              kept.back().substr(19))
        << "the cycle's result was appended";
}

// The history of the same disk as above, but written by a clock set 40 days ahead for one
// start, then by one 2 days ahead, set right a day ago; and the target is listed twice. The
// forecast rests on the lines since the clock was set right, and the balloon counts one disk.
TEST_F(ConsoleTest, AClockSetAheadOrBackAndATargetListedTwiceCountOnceInTheForecast) {
    FakeServer server;
    server.Serve(12 + 5, SoonFullReply());
    std::string port = std::to_string(server.Port());
    time_t now = time(nullptr);
    std::string history = HistoryLine(now + 40 * 86400, port, 5000000000, SOON_FULL_TOTAL);
    for (int hoursAgo = 6 * 24; hoursAgo >= 1; hoursAgo--) {
        time_t dated = now - hoursAgo * 3600 + (hoursAgo > 24 ? 2 * 86400 : 0);
        history += HistoryLine(dated, port, SoonFullFree(hoursAgo), SOON_FULL_TOTAL);
    }
    WriteFileBytes(dir.File("lastchk.txt"), history);
    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nSERVER=0\nCLIENT=1\nINTVAL=60\nNOTI=1\n");
    // Two rows of the disk: with thresholds of their own, both are asked.
    WriteFileBytes(dir.File("fsw.lst"), Target(server.Port(), "/data", "1", "3", "データ") +
                                            Target(server.Port(), "/data", "2", "3", "データ"));

    std::vector<std::string> lines = RunUntilOneDiskSoonFull([&] {
        server.Received();  // the second query waits for the first to be served
        server.Serve(12 + 5, SoonFullReply());
    });
    ASSERT_EQ(4u, lines.size());
    for (int row = 1; row <= 2; row++) {
        ASSERT_EQ(8u, Cells(lines[row]).size());
        EXPECT_EQ("約5日", Cells(lines[row])[7]) << row;
    }
}

// The silent client holds a handler for one time-out, the target that never answers
// holds its query thread for the bounded connect: the shutdown waits for both, and ends.
TEST_F(ConsoleTest, ShutdownEndsWithASilentClientAndATargetThatNeverAnswers) {
    uint16_t port = FreePort();
    BlackHoleServer blackHole;
    ASSERT_NE(0, blackHole.Port());
    WriteSettings(port, 1, 1);
    WriteFileBytes(dir.File("fsw.lst"), Target(blackHole.Port(), "/", "10", "0", "無応答"));
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(program.Started());
    std::string logPath = dir.File("fsw.log");
    ASSERT_TRUE(
        WaitUntil([&] { return Contains(LogMessages(logPath), "サーバを起動します"); }, 20000));
    FswSocket silent;
    ASSERT_TRUE(WaitUntil([&] { return ConnectLocal(&silent, port); }, 5000));
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(20000)) << program.Stderr();

    std::vector<std::string> log = LogMessages(logPath);
    // The server's stop waits for the silent client for up to one time-out; the connect
    // gives up after as long, unless the stop of the queries that follows comes first.
    std::string target = "127.0.0.1 (" + std::to_string(blackHole.Port()) + ")";
    EXPECT_TRUE(Contains(log, target + "に接続できません") ||
                Contains(log, target + "問合せを中止しました"));
    std::vector<std::string> shutdown = {
        "クライアントからの受信を停止", "サーバの全スレッド終了待ち", "サーバを終了します",
        "クライアントの全スレッド終了待ち", "クライアントの全スレッド終了"};
    auto next = log.begin();
    for (const std::string& line : shutdown) {
        next = std::find(next, log.end(), line);
        EXPECT_NE(log.end(), next) << "in order: " << line;
    }
    EXPECT_NE(std::string::npos, log.back().find(") 終了")) << log.back();
    EXPECT_EQ("", program.Stdout()) << "no summary once the shutdown has begun";
}

// Ten targets that trickle their replies, say nothing or never take the connection:
// the stop ends their queries and the program within 1 s, each query logged as
// stopped, before the end line.
// A reload asked for just before (it waits for the cycle's end) does not hold the stop.
TEST_F(ConsoleTest, AStopEndsTenStalledQueriesWithinOneSecond) {
    for (bool reloadFirst : {false, true}) {
        SCOPED_TRACE(reloadFirst ? "after SIGHUP" : "");
        WriteSettings(FreePort(), 1, 1);
        std::vector<std::unique_ptr<FakeServer>> peers;
        std::string list;
        for (int i = 0; i < 8; i++) {
            peers.emplace_back(new FakeServer);
            if (i % 2 == 0) {
                peers.back()->Serve(13, WireHeader(1825, 2, 0, 256, 16) + Be64(5) + Be64(9), 0,
                                    1000);
            } else {
                peers.back()->Serve(0, "", 30000);
            }
            list += Target(peers.back()->Port(), "/", "10", "0", "遅延");
        }
        BlackHoleServer blackHole;
        ASSERT_NE(0, blackHole.Port());
        list += Target(blackHole.Port(), "/", "10", "0", "無応答") +
                Target(blackHole.Port(), "/b", "10", "0", "無応答");
        WriteFileBytes(dir.File("fsw.lst"), list);
        Program program(dir.Path(), runtime.Path());
        ASSERT_TRUE(program.Started());
        ASSERT_TRUE(WaitUntil(
            [&] {
                return std::all_of(peers.begin(), peers.end(),
                                   [](auto& p) { return p->Accepted(); });
            },
            10000));
        if (reloadFirst) {
            program.Signal(SIGHUP);
            ASSERT_TRUE(WaitUntil(
                [&] {
                    return Contains(LogMessages(dir.File("fsw.log")),
                                    "設定ファイルとホスト一覧を読み込み直します");
                },
                5000));
        }
        auto stop = std::chrono::steady_clock::now();
        program.Signal(SIGTERM);
        EXPECT_EQ(0, program.Wait(10000)) << program.Stderr();
        EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(1));

        std::vector<std::string> log = LogMessages(dir.File("fsw.log"));
        auto waiting = std::find(log.begin(), log.end(), "クライアントの全スレッド終了待ち");
        auto ended = std::find(log.begin(), log.end(), "クライアントの全スレッド終了");
        ASSERT_NE(log.end(), ended);
        EXPECT_EQ(10, std::count_if(waiting, ended,
                                    [](const std::string& line) {
                                        return line.find(")問合せを中止しました") !=
                                               std::string::npos;
                                    }))
            << ::testing::PrintToString(log);
        EXPECT_EQ(ended + 2, log.end()) << "the end line follows, and it is the last";
        EXPECT_NE(std::string::npos, log.back().find(") 終了")) << log.back();
        EXPECT_EQ("", program.Stdout()) << "no summary once the shutdown has begun";
    }
}

// Queries of its own server and of a slow peer, a reload while they run and a stop
// right after it: the run ends cleanly. In the ThreadSanitizer build a race anywhere
// in it fails the exit code.
TEST_F(ConsoleTest, QueriesAReloadAndAStopTogetherEndCleanly) {
    uint16_t port = FreePort();
    WriteSettings(port, 1, 1);
    FakeServer slow;
    slow.Serve(13, WireHeader(1825, 2, 0, 256, 16) + Be64(5) + Be64(9), 0, 100);
    std::string own = Target(port, dir.Path(), "0", "0", "自分");
    WriteFileBytes(dir.File("fsw.lst"),
                   own + own + own + Target(slow.Port(), "/", "1", "3", "遅い"));
    Program program(dir.Path(), runtime.Path());
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(WaitUntil([&] { return slow.Accepted(); }, 10000));
    program.Signal(SIGHUP);
    std::string logPath = dir.File("fsw.log");
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Contains(LogMessages(logPath), "設定ファイルとホスト一覧を読み込み直します");
        },
        10000));
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(20000)) << program.Stderr();
    std::vector<std::string> log = LogMessages(logPath);
    EXPECT_NE(std::string::npos, log.back().find(") 終了")) << log.back();
    EXPECT_EQ("", program.Stderr());
}

// The resident memory of a process in kB, from /proc.
long ResidentKb(pid_t pid) {
    std::string status = ReadFileBytes("/proc/" + std::to_string(pid) + "/status");
    size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

// A storm of SIGHUP or SIGUSR1, sent as fast as one thread can, neither holds up a
// stop nor fills the memory: the repeated signals wait as one reload or one check, and
// the stop is taken before them.
TEST_F(ConsoleTest, AStormOfSignalsNeitherHoldsTheStopNorGrowsTheMemory) {
    for (int storm : {SIGHUP, SIGUSR1}) {
        SCOPED_TRACE(storm == SIGHUP ? "SIGHUP" : "SIGUSR1");
        uint16_t port = FreePort();
        WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nSERVER=1\nSVPORT=" + std::to_string(port) +
                                                "\nCLIENT=1\nINTVAL=60\nNOTI=0\nLOGMAX=1\n");
        WriteFileBytes(dir.File("fsw.lst"), Target(port, dir.Path(), "0", "0", "自分"));
        Program program(dir.Path(), runtime.Path());
        ASSERT_TRUE(WaitForListening(port, 10000));
        ASSERT_TRUE(WaitUntil([&] { return !program.Stdout().empty(); }, 10000));
        long before = ResidentKb(program.Pid());

        std::atomic<bool> calm(false);
        std::thread sender([&] {
            while (!calm) {
                kill(program.Pid(), storm);
            }
        });
        MSleep(2000);
        long during = ResidentKb(program.Pid());
        auto stop = std::chrono::steady_clock::now();
        kill(program.Pid(), SIGTERM);
        bool ended = program.EndsWithin(10000);
        double took = SecondsSince(stop);
        calm = true;
        sender.join();
        EXPECT_TRUE(ended);
        EXPECT_EQ(0, program.Wait(10000)) << program.Stderr();
        printf(
            "storm of %s: the stop took %.3f s; resident memory %ld kB before, %ld kB after "
            "2 s of it\n",
            storm == SIGHUP ? "SIGHUP" : "SIGUSR1", took, before, during);
        EXPECT_LT(took, 1.0);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        // Under a sanitizer its own bookkeeping grows with the work done, queue or not.
        EXPECT_LT(during - before, 1024) << "kB";
#endif
        std::vector<std::string> log = LogMessages(dir.File("fsw.log"));
        EXPECT_TRUE(Contains(log, "終了要求(SIGTERM)を受けました"));
    }
}

}  // namespace
