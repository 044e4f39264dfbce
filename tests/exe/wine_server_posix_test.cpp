// The Windows program's server answering the Linux edition's query client: the real
// 64-bit fsw.exe runs under Wine with SERVER=1 on a free port, and the client of this
// build queries it, a Japanese path included, which travels as Shift-JIS both ways.
// Needs the Windows build and the Wine set-up of scripts/wine-up.sh; skipped without.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "mlib/mcodepage.h"
#include "tests/support/app_fixture.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/fake_peer.h"
#include "tests/support/message_sink.h"

namespace {

const std::string ROOT = FSW_SOURCE_DIR;

// The Unix path as the Windows program sees it, on Wine's drive Z:.
std::string OnDriveZ(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

std::string Environment(const char* name) {
    const char* value = getenv(name);
    return std::string(name) + "=" + (value != nullptr ? value : "");
}

// Whether the Windows build and the Wine set-up are there.
bool WineReady() {
    return access((ROOT + "/build/win64/fsw.exe").c_str(), R_OK) == 0 &&
           access((ROOT + "/build/wineprefix/system.reg").c_str(), R_OK) == 0 &&
           access((ROOT + "/build/wine-display").c_str(), R_OK) == 0;
}

// A copy of fsw.exe in dir with the settings (SVPORT added), started under Wine; true once
// it listens on the port.
bool StartWindowsServer(const TempDir& dir, uint16_t port, const std::string& settings,
                        std::unique_ptr<ChildProcess>* wine) {
    std::string copy = dir.File("fsw.exe");
    WriteFileBytes(copy, ReadFileBytes(ROOT + "/build/win64/fsw.exe"));
    WriteFileBytes(dir.File("fsw.ini"),
                   "[fsw]\r\nSVPORT=" + std::to_string(port) + "\r\n" + settings);
    wine->reset(new ChildProcess({ROOT + "/scripts/wine-run", copy},
                                 {Environment("PATH"), Environment("HOME"), Environment("USER")},
                                 "", ""));
    return (*wine)->Started() && WaitUntil(
                                     [&] {
                                         FswSocket probe;
                                         return ConnectLocal(&probe, port);
                                     },
                                     60000);
}

TEST(WindowsServer, AnswersTheLinuxClientAlsoForAJapanesePath) {
    if (!WineReady()) {
        GTEST_SKIP() << "needs build/win64/fsw.exe and scripts/wine-up.sh";
    }
    TestApp t;
    MessageSink sink;
    uint16_t port = FreePort();
    std::string japanese = t.dir.File("日本語");
    ASSERT_EQ(0, mkdir(japanese.c_str(), 0755));
    std::unique_ptr<ChildProcess> wine;
    ASSERT_TRUE(StartWindowsServer(t.dir, port, "SERVER=1\r\nCLIENT=0\r\n", &wine))
        << "fsw.exe did not listen on " << port;

    CheckResult folder =
        RunQuery(&t, &sink, LocalTarget(port, OnDriveZ(t.dir.Path()).c_str(), 0, UNIT_PERCENT));
    EXPECT_EQ(STATUS_NORMAL, folder.status);
    EXPECT_LE(folder.value, 1000u);

    // The same over IPv6: the Windows server listens on both families.
    HostEntry overIPv6 = LocalTarget(port, OnDriveZ(t.dir.Path()).c_str(), 0, UNIT_PERCENT);
    CopyField(overIPv6.host, sizeof overIPv6.host, "::1");
    EXPECT_EQ(STATUS_NORMAL, RunQuery(&t, &sink, overIPv6).status);

    std::string windowsJapanese = OnDriveZ(japanese);
    CheckResult named =
        RunQuery(&t, &sink, LocalTarget(port, windowsJapanese.c_str(), 1, UNIT_KB, "和名"));
    EXPECT_EQ(STATUS_NORMAL, named.status) << "the server found the folder by its Shift-JIS name";
    EXPECT_STREQ(windowsJapanese.c_str(), named.path);

    CheckResult missing =
        RunQuery(&t, &sink, LocalTarget(port, OnDriveZ(t.dir.File("無い")).c_str(), 1, UNIT_KB));
    EXPECT_EQ(STATUS_ERROR, missing.status);

    // Every volume of the Windows server, by a "*" row and by fsw check --all.
    bool sawC = false;
    for (const CheckResult& volume :
         RunQueries(&t, &sink, {LocalTarget(port, "*", 0, UNIT_PERCENT)}, 0)) {
        sawC = sawC || (std::string(volume.path) == "C:\\" && volume.status == STATUS_NORMAL);
    }
    EXPECT_TRUE(sawC);
    ProgramRun run = RunFsw(
        {"check", "-H", "127.0.0.1", "-p", std::to_string(port), "-w", "1B", "-c", "0B", "--all"},
        t.dir.Path(), 20000);
    EXPECT_NE(std::string::npos, run.out.find(" 'C:\\'=")) << run.out;

    // The Windows log is Shift-JIS, and names the path as it arrived.
    std::string log = ReadFileBytes(t.dir.File("fsw.log"));
    std::string measured = "[" + LoggedPath(windowsJapanese) + "] 空き容量 ";
    EXPECT_NE(std::string::npos, log.find(MAnsiToWire(measured.data(), measured.size())));
    wine->Signal(SIGKILL);
    wine->Wait(10000);
}

// The Windows build's status page (WEB=1) in Chromium: its own check of a folder with a
// Japanese description from the Shift-JIS host list, in UTF-8 with the Japanese status.
TEST(WindowsServer, ChromiumShowsTheStatusPageInUtf8) {
    if (!WineReady()) {
        GTEST_SKIP() << "needs build/win64/fsw.exe and scripts/wine-up.sh";
    }
    TempDir dir;
    TempDir scratch;
    uint16_t port = FreePort();
    std::string row = "0\t127.0.0.1\t" + std::to_string(port) + "\t" + OnDriveZ(dir.Path()) +
                      "\t1\t0\t和名のフォルダ\r\n";
    WriteFileBytes(dir.File("fsw.lst"), MAnsiToWire(row.data(), row.size()));
    std::unique_ptr<ChildProcess> wine;
    ASSERT_TRUE(
        StartWindowsServer(dir, port, "SERVER=1\r\nWEB=1\r\nCLIENT=1\r\nNOTI=0\r\n", &wine));
    std::string json;
    EXPECT_TRUE(WaitUntil(
        [&] {
            return (json = AskAt("127.0.0.1", port, "GET /status.json HTTP/1.0\r\n\r\n"))
                       .find("\"cycle\":{") != std::string::npos;
        },
        60000))
        << json;
    ProgramRun page = RunTool({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                               "--user-data-dir=" + scratch.File("chromium"), "--dump-dom",
                               "http://127.0.0.1:" + std::to_string(port) + "/"},
                              scratch.Path());
    EXPECT_NE(std::string::npos, page.out.find("<tr class=\"normal\"><td>正常</td>")) << page.out;
    EXPECT_NE(std::string::npos, page.out.find("<td>和名のフォルダ</td>")) << page.out;
    wine->Signal(SIGKILL);
    wine->Wait(10000);
}

}  // namespace
