// The host list and the settings file in the Linux edition: real write failures leave the
// old files byte for byte, a read error is logged, and the settings file keeps its bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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

TEST_F(FilesPosixTest, AListThatCannotBeReadIsLoggedAsAReadError) {
    std::filesystem::create_directory(app.m_listPath);
    app.m_hosts.push_back(NewHostEntry());
    app.LoadHostList();
    EXPECT_TRUE(app.m_hosts.empty());
    EXPECT_EQ(std::vector<std::string>{"登録ホストファイル読込エラー！"}, LogMessages());
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

}  // namespace
