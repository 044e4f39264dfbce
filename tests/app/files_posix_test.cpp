// The host list and the settings file in the Linux edition: real write failures leave the
// old files byte for byte, a read error is logged, and the settings file keeps its bytes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "mlib/mfileops.h"
#include "tests/support/file_size_limit_posix.h"
#include "tests/support/kiv_fixture.h"

namespace {

class FilesPosixTest : public KivFixture {};

TEST_F(FilesPosixTest, AHostListSaveOnAFullDiskLeavesTheOldFileByteForByte) {
    std::string old = "0\told\t1\tp\t1\t0\td\r\n";
    WriteFileBytes(app.m_listPath, old);
    for (int i = 0; i < 10; i++) {
        HostEntry entry = NewHostEntry();
        CopyField(entry.host, sizeof entry.host, std::string(60, 'h').c_str());
        CopyField(entry.path, sizeof entry.path, std::string(250, 'p').c_str());
        app.m_hosts.push_back(entry);
    }
    app.Log("before");  // the log already holds more than the limit lets the list have
    MessageBoxRecorder boxes;
    {
        FileSizeLimit limit(ReadFileBytes(logPath).size() + 200);
        ASSERT_TRUE(limit.IsSet());
        app.SaveHostList();
    }
    EXPECT_EQ(old, ReadFileBytes(app.m_listPath));
    EXPECT_EQ("登録ホストファイル書込エラー！", LogMessages().back());
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ("ホスト情報の登録ができませんでした。", boxes.Boxes()[0].text);
}

// A FIFO stalled the start, /dev/zero flooded it: neither is opened for reading now, as a
// host list nor as a settings file, and the settings keep their defaults.
TEST_F(FilesPosixTest, AFifoOrADeviceIsNeitherReadAsTheListNorAsTheSettings) {
    const std::vector<std::string> kinds = {"fifo", "/dev/zero"};
    for (const std::string& kind : kinds) {
        for (const char* path : {app.m_listPath, app.m_iniPath}) {
            std::remove(path);
            if (kind == "fifo") {
                ASSERT_EQ(0, mkfifo(path, 0600));
            } else {
                ASSERT_EQ(0, symlink(kind.c_str(), path));
            }
        }
        app.m_hosts.push_back(NewHostEntry());
        app.LoadHostList();
        app.m_interval = 0;
        app.LoadSettings();
        EXPECT_TRUE(app.m_hosts.empty()) << kind;
        EXPECT_EQ(10u, app.m_interval) << kind;
        std::vector<std::string> expected = {
            std::string("登録ホストファイルが通常のファイルではありません。(File=") +
                app.m_listPath + ")",
            std::string("設定ファイルが通常のファイルではありません。(File=") + app.m_iniPath +
                ")"};
        std::vector<std::string> logged = LogMessages();
        ASSERT_GE(logged.size(), 2u);
        EXPECT_EQ(expected, std::vector<std::string>(logged.end() - 2, logged.end())) << kind;
    }
}

TEST_F(FilesPosixTest, ASettingsSaveOnAFullDiskLeavesTheOldFileAndIsLogged) {
    std::string old = "; " + std::string(2000, 'c') + "\n[fsw]\nSERVER=0\n";
    WriteFileBytes(app.m_iniPath, old);
    app.LoadSettings();
    app.m_server = 1;
    app.Log("before");
    {
        FileSizeLimit limit(ReadFileBytes(logPath).size() + 500);
        ASSERT_TRUE(limit.IsSet());
        app.SaveSettings();
    }
    EXPECT_EQ(old, ReadFileBytes(app.m_iniPath));
    std::string expected =
        std::string("設定ファイルに書き込めませんでした。(File=") + app.m_iniPath + ")";
    EXPECT_EQ(expected, LogMessages().back());
}

TEST_F(FilesPosixTest, ASettingsFileWithLineFeedsAndBlankLinesKeepsThem) {
    std::string old =
        "# made on Linux\n\n[fsw]\nSERVER = 0\nLOGFILE=logs\\fsw.log\n\n[other]\nX=1\n";
    WriteFileBytes(app.m_iniPath, old);
    app.LoadSettings();
    EXPECT_STREQ("logs\\fsw.log", app.m_logFile);
    app.m_server = 1;
    app.SaveSettings();
    EXPECT_EQ(
        "# made on Linux\n\n[fsw]\nSERVER=1\nLOGFILE=logs\\fsw.log\nSVPORT=50801\nCLIENT=0\n"
        "INTVAL=10\nLISTFILE=fsw.lst\nCHKFILE=lastchk.txt\nNOTI=1\nLOGMODE=1\n\n[other]\nX=1\n",
        ReadFileBytes(app.m_iniPath));
}

// Saves killed at random moments: the file is always one whole version (nine replacements
// left keys of both), and what the killed saves left beside it goes at the next start,
// while a file of a live process stays.
TEST_F(FilesPosixTest, ASaveKilledAtAnyMomentLeavesOneWholeVersionAndItsLeftoversGoAtStart) {
    WriteFileBytes(app.m_iniPath, "; kept\r\n[fsw]\r\nALLOW=10.0.0.0/8\r\n");
    auto setVersion = [this](unsigned v) {
        app.m_server = app.m_client = v;
        app.m_serverPort = static_cast<uint16_t>(1000 + v);
        app.m_interval = 10 + v;
        app.m_notify = app.m_logMode = v + 1;
        for (char* name : {app.m_listFile, app.m_logFile, app.m_checkFile}) {
            snprintf(name, 261, "name%u", v);
        }
    };
    std::string versions[2];
    for (unsigned v = 0; v < 2; v++) {
        setVersion(v);
        app.SaveSettings();
        versions[v] = ReadFileBytes(app.m_iniPath);
    }
    std::mt19937 random(1);
    for (int round = 0; round < 100; round++) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (unsigned i = 0;; i++) {
                setVersion(i & 1);
                app.SaveSettings();
            }
        }
        usleep(random() % 4000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        std::string now = ReadFileBytes(app.m_iniPath);
        ASSERT_TRUE(now == versions[0] || now == versions[1]) << "round " << round << ":\n" << now;
    }

    pid_t gone = fork();
    if (gone == 0) {
        _exit(0);
    }
    waitpid(gone, nullptr, 0);
    WriteFileBytes(dir.File(MNewFileName(static_cast<unsigned long>(gone), 0)), "left");
    std::string live = dir.File(MNewFileName(static_cast<unsigned long>(getpid()), 999));
    WriteFileBytes(live, "live");
    auto leftovers = [this] {
        std::vector<std::string> found;
        for (const auto& item : std::filesystem::directory_iterator(dir.Path())) {
            unsigned long pid;
            if (MParseNewFileName(item.path().filename().string(), &pid)) {
                found.push_back(item.path().string());
            }
        }
        return found;
    };
    size_t before = leftovers().size();
    size_t logged = LogMessages().size();
    app.RemoveStaleFiles();
    EXPECT_EQ(std::vector<std::string>{live}, leftovers());
    EXPECT_EQ(before - 1, LogMessages().size() - logged);
    EXPECT_NE(std::string::npos, LogMessages().back().find("一時ファイルを削除しました"));
}

// A compaction of the history or a write of the metrics file killed half-way leaves its new
// file beside the name (not beside what a link there points to): the start removes it.
TEST_F(FilesPosixTest, LeftoversBesideTheHistoryAndTheMetricsFileGoAtStart) {
    std::string history = dir.File("history");
    std::string metrics = dir.File("metrics");
    std::string elsewhere = dir.File("elsewhere");
    for (const std::string& folder : {history, metrics, elsewhere}) {
        ASSERT_TRUE(std::filesystem::create_directory(folder));
    }
    snprintf(app.m_checkPath, sizeof app.m_checkPath, "%s/lastchk.txt", history.c_str());
    ASSERT_EQ(0, symlink((elsewhere + "/real.txt").c_str(), app.m_checkPath));
    snprintf(app.m_promFile, sizeof app.m_promFile, "%s/fsw.prom", metrics.c_str());
    pid_t gone = fork();
    if (gone == 0) {
        _exit(0);
    }
    waitpid(gone, nullptr, 0);
    std::string name = MNewFileName(static_cast<unsigned long>(gone), 0);
    std::vector<std::string> left = {history + "/" + name, metrics + "/" + name};
    for (const std::string& path : left) {
        WriteFileBytes(path, "half");
    }
    WriteFileBytes(elsewhere + "/" + name, "not ours to judge");
    app.RemoveStaleFiles();
    std::vector<std::string> log = LogMessages();
    for (const std::string& path : left) {
        EXPECT_FALSE(FileExists(path)) << path;
        EXPECT_EQ(1, std::count(log.begin(), log.end(),
                                "保存途中で残った一時ファイルを削除しました。(File=" + path + ")"));
    }
    EXPECT_TRUE(FileExists(elsewhere + "/" + name));
}

}  // namespace
