// The settings file: the nine keys with their defaults and bounds, the paths formed from
// them, and what a save writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "net/ip_address.h"
#include "tests/support/kiv_fixture.h"

namespace {

const char DEFAULT_FILE[] =
    "[fsw]\r\n"
    "SERVER=0\r\n"
    "SVPORT=50801\r\n"
    "CLIENT=0\r\n"
    "INTVAL=10\r\n"
    "LISTFILE=fsw.lst\r\n"
    "LOGFILE=fsw.log\r\n"
    "CHKFILE=lastchk.txt\r\n"
    "NOTI=1\r\n"
    "LOGMODE=1\r\n";

class SettingsTest : public KivFixture {
protected:
    void WriteIni(const std::string& bytes) { WriteFileBytes(app.m_iniPath, bytes); }

    // Loads the settings and forms the paths from them, as the start-up does.
    void Start() {
        app.LoadSettings();
        BuildPath(app.m_logPath, sizeof app.m_logPath, app.moduleDir, app.m_logFile);
        BuildPath(app.m_listPath, sizeof app.m_listPath, app.moduleDir, app.m_listFile);
    }

    std::string InFolder(const std::string& name) const {
        return dir.Path() + M_PATH_SEPARATOR + name;
    }
};

TEST_F(SettingsTest, WithoutAFileEveryKeyTakesItsDefaultAndNoFileIsCreated) {
    Start();
    EXPECT_EQ(0u, app.m_server);
    EXPECT_EQ(50801, app.m_serverPort);
    EXPECT_EQ(0u, app.m_client);
    EXPECT_EQ(10u, app.m_interval);
    EXPECT_STREQ("fsw.lst", app.m_listFile);
    EXPECT_STREQ("fsw.log", app.m_logFile);
    EXPECT_STREQ("lastchk.txt", app.m_checkFile);
    EXPECT_EQ(1u, app.m_notify);
    EXPECT_EQ(1u, app.m_logMode);
    EXPECT_EQ(35u, app.m_keepDays);
    EXPECT_EQ(7u, app.m_forecastDays);
    EXPECT_EQ(InFolder("fsw.lst"), app.m_listPath);
    EXPECT_EQ(InFolder("fsw.log"), app.m_logPath);
    EXPECT_FALSE(FileExists(app.m_iniPath));
}

// KEEPDAYS and FORECAST are set in the file only: read, and left as they are by a save.
TEST_F(SettingsTest, TheHistoryKeysAreReadAndASaveKeepsThem) {
    WriteIni("[fsw]\r\nKEEPDAYS=0\r\nFORECAST=3\r\n");
    Start();
    EXPECT_EQ(0u, app.m_keepDays);
    EXPECT_EQ(3u, app.m_forecastDays);
    app.m_keepDays = 99;
    app.SaveSettings();
    std::string saved = ReadFileBytes(app.m_iniPath);
    EXPECT_NE(std::string::npos, saved.find("KEEPDAYS=0\r\n")) << saved;
    EXPECT_NE(std::string::npos, saved.find("FORECAST=3\r\n")) << saved;
}

// NOTIFYCMD is read as written, shell characters and all; RENOTIFY defaults to a day. A
// save keeps both; a reload reads them again.
TEST_F(SettingsTest, TheNotificationKeysAreReadAndASaveKeepsThem) {
    Start();
    EXPECT_EQ("", app.m_notifyCommand);
    EXPECT_EQ(1440u, app.m_renotify);
    const std::string command = "{ printf '%s\\n' \"$FSW_TITLE\"; cat; } | msmtp -t";
    WriteIni("[fsw]\r\nNOTIFYCMD=" + command + "\r\nRENOTIFY=0\r\n");
    Start();
    EXPECT_EQ(command, app.m_notifyCommand);
    EXPECT_EQ(0u, app.m_renotify);
    app.SaveSettings();
    std::string saved = ReadFileBytes(app.m_iniPath);
    EXPECT_NE(std::string::npos, saved.find("NOTIFYCMD=" + command + "\r\n")) << saved;
    EXPECT_NE(std::string::npos, saved.find("RENOTIFY=0\r\n")) << saved;
}

// A command longer than the buffer would run cut: it is not used, and the log says why.
TEST_F(SettingsTest, ANotificationCommandTooLongIsNotUsed) {
    WriteIni("[fsw]\r\nNOTIFYCMD=echo " + std::string(5000, 'x') + "\r\n");
    Start();
    EXPECT_EQ("", app.m_notifyCommand);
    EXPECT_EQ(std::vector<std::string>{"NOTIFYCMD が長すぎるため通知コマンドを使いません。"},
              LogMessages());
}

// A number the profile functions would wrap or that has no digits takes its default, and a
// value cut at a NUL byte is not used, each with a line; a command of 4095 bytes is used.
TEST_F(SettingsTest, NumbersBeyond32BitsNoNumbersAndNulBytesAreRefused) {
    WriteIni("[fsw]\r\nKEEPDAYS=4295020716\r\nRENOTIFY=abc\r\nINTVAL= +5 min\r\nALLOW=127.0.0.2" +
             std::string(1, '\0') + "3\r\nNOTIFYCMD=" + std::string(4095, 'x') + "\r\n");
    Start();
    EXPECT_EQ(35u, app.m_keepDays);
    EXPECT_EQ(1440u, app.m_renotify);
    EXPECT_EQ(5u, app.m_interval);
    EXPECT_FALSE(app.m_allow.Allows(IPv4Of(0x7F000002)));
    EXPECT_EQ(4095u, app.m_notifyCommand.size());
    EXPECT_EQ((std::vector<std::string>{"設定ファイル：KEEPDAYSの値が0から4294967295までの数ではな"
                                        "いため、既定値35を使います。",
                                        "設定ファイル：RENOTIFYの値が0から4294967295までの数ではな"
                                        "いため、既定値1440を使います。",
                                        "設定ファイル：ALLOWの値にNUL文字があるため使いません。"}),
              LogMessages());
}

TEST_F(SettingsTest, AnIntervalOf0Becomes1) {
    WriteIni("[fsw]\r\nINTVAL=0\r\n");
    Start();
    EXPECT_EQ(1u, app.m_interval);
}

// Kept as written, so that the server can refuse it rather than listen on another port; one
// that is no number at all becomes 0, which the server refuses too.
TEST_F(SettingsTest, APortOutsideItsRangeIsKeptAsWritten) {
    const std::pair<std::string, uint32_t> cases[] = {
        {"70000", 70000},
        {"0", 0},
        {"-1", 0},
        {"4295020716", 0},
        {std::string("50\0"
                     "801",
                     6),
         0},
    };
    for (const auto& c : cases) {
        WriteIni("[fsw]\r\nSVPORT=" + c.first + "\r\n");
        Start();
        EXPECT_EQ(c.second, app.m_serverPort) << c.first;
    }
}

TEST_F(SettingsTest, TheServerSafetyKeysAreOffByDefaultAndReadWhenWritten) {
    Start();
    EXPECT_STREQ("", app.m_serverAddress);
    EXPECT_FALSE(app.m_allow.IsRestricted());
    EXPECT_EQ(0u, app.m_allowUnc);
    EXPECT_EQ(0u, app.logLimit);
    WriteIni(
        "[fsw]\r\nSVADDR=192.168.10.5\r\nALLOW=127.0.0.1, 192.168.10.0/24\r\nALLOWUNC=1\r\n"
        "LOGMAX=20\r\n");
    Start();
    EXPECT_STREQ("192.168.10.5", app.m_serverAddress);
    EXPECT_EQ("127.0.0.1,192.168.10.0/24", app.m_allow.Describe());
    EXPECT_EQ(1u, app.m_allowUnc);
    EXPECT_EQ(uint64_t{20} << 20, app.logLimit);
}

TEST_F(SettingsTest, Noti5IsKeptAsStoredSoThatOnlyItsLowBitsCountWhereItIsUsed) {
    WriteIni("[fsw]\r\nNOTI=5\r\n");
    Start();
    EXPECT_EQ(5u, app.m_notify);
}

// A cut name or address names another file or address: every value that does not fit its
// field is refused with a log line (the key's default stands; an SVADDR that no server
// takes), and so is a path that does not fit. ALLOW is read whole, however long.
TEST_F(SettingsTest, AValueThatDoesNotFitIsRefusedNeverCut) {
    const std::string name(261, 'n');
    const std::string address = "10.0.0.1" + std::string(60, ' ') + "x";  // cut: 10.0.0.1
    std::string allow;
    while (allow.size() < 5000) {
        allow += "192.168.1.1,";
    }
    allow += "10.0.0.0/16";
    WriteIni("[fsw]\r\nLISTFILE=" + name + "\r\nLOGFILE=" + name + "\r\nCHKFILE=" + name +
             "\r\nPROMFILE=" + name + "\r\nSVADDR=" + address + "\r\nALLOW=" + allow + "\r\n");
    Start();
    EXPECT_STREQ("fsw.lst", app.m_listFile);
    EXPECT_STREQ("fsw.log", app.m_logFile);
    EXPECT_STREQ("lastchk.txt", app.m_checkFile);
    EXPECT_STREQ("", app.m_promFile);
    EXPECT_STREQ("-", app.m_serverAddress);
    EXPECT_EQ("192.168.1.1,10.0.0.0/16",
              app.m_allow.Describe().substr(app.m_allow.Describe().size() - 23));
    EXPECT_FALSE(app.m_allow.Allows(IPv4Of(0x7F000001)));
    std::vector<std::string> expected;
    for (const char* key : {"LISTFILE", "LOGFILE", "CHKFILE", "PROMFILE"}) {
        expected.push_back(std::string("設定ファイル：") + key +
                           "の値が長すぎるため使いません。(最大260バイト)");
    }
    expected.push_back("設定ファイル：SVADDRの値が長すぎるため使いません。(最大63バイト)");
    EXPECT_EQ(expected, LogMessages());

    // A name that fits whose path does not.
    WriteIni("[fsw]\r\nCHKFILE=" + std::string(260, 'n') + "\r\n");
    Start();
    app.BuildFilePath(app.m_checkPath, "CHKFILE", app.m_checkFile);
    EXPECT_STREQ("", app.m_checkPath);
    EXPECT_EQ("設定ファイル：CHKFILEのパスが長すぎるため使いません。(最大260バイト)",
              LogMessages().back());
}

TEST_F(SettingsTest, ANameWithBackslashesNamesAFileInASubfolder) {
    WriteIni("[fsw]\r\nLOGFILE=sub\\x.log\r\n");
    Start();
    EXPECT_STREQ("sub\\x.log", app.m_logFile);
    std::string expected = dir.Path() + M_PATH_SEPARATOR + "sub" + M_PATH_SEPARATOR + "x.log";
    EXPECT_EQ(expected, app.m_logPath);
}

TEST_F(SettingsTest, ASaveIntoNoFileWritesTheSectionAndTheNineKeysInOrder) {
    Start();
    app.SaveSettings();
    EXPECT_EQ(DEFAULT_FILE, ReadFileBytes(app.m_iniPath));
}

TEST_F(SettingsTest, ASaveWritesCheckFileBackWhenTheFileLacksIt) {
    WriteIni("[fsw]\r\nSERVER=1\r\nNOTI=5\r\n");
    Start();
    app.m_notify &= 3;  // what the settings dialog stores for the combo box position 1
    app.SaveSettings();
    EXPECT_EQ(
        "[fsw]\r\nSERVER=1\r\nNOTI=1\r\nSVPORT=50801\r\nCLIENT=0\r\nINTVAL=10\r\n"
        "LISTFILE=fsw.lst\r\nLOGFILE=fsw.log\r\nCHKFILE=lastchk.txt\r\nLOGMODE=1\r\n",
        ReadFileBytes(app.m_iniPath));
}

TEST_F(SettingsTest, ASaveChangesOnlyTheKeysOfItsSection) {
    WriteIni(
        "[other]\r\nSERVER=7\r\n;comment\r\n[fsw]\r\nSERVER=0\r\nLISTFILE=表.lst\r\n"
        "[last]\r\nKEY=value\r\n");
    Start();
    app.m_server = 1;
    app.m_serverPort = 65535;
    app.SaveSettings();
    EXPECT_EQ(
        "[other]\r\nSERVER=7\r\n;comment\r\n[fsw]\r\nSERVER=1\r\nLISTFILE=表.lst\r\n"
        "SVPORT=65535\r\nCLIENT=0\r\nINTVAL=10\r\nLOGFILE=fsw.log\r\nCHKFILE=lastchk.txt\r\n"
        "NOTI=1\r\nLOGMODE=1\r\n[last]\r\nKEY=value\r\n",
        ReadFileBytes(app.m_iniPath));
    app.m_server = 0;
    app.LoadSettings();
    EXPECT_EQ(1u, app.m_server);
    EXPECT_EQ(65535, app.m_serverPort);
    EXPECT_STREQ("表.lst", app.m_listFile);
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(SettingsTest, AFolderOrAFileOverAMegabyteIsNotReadNorWrittenAndIsLogged) {
    struct Case {
        std::string big;  // the file's content; empty: a folder
        const char* message;
    };
    const std::string big = "[fsw]\r\nSERVER=1\r\n;" + std::string(1 << 20, 'x') + "\r\n";
    const Case cases[] = {
        {"", "設定ファイルが通常のファイルではありません。(File=%s)"},
        {big, "設定ファイルが大きすぎるため読み込みません。(File=%s)"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(app.m_iniPath);
        if (c.big.empty()) {
            std::filesystem::create_directory(app.m_iniPath);
        } else {
            WriteIni(c.big);
        }
        Start();
        EXPECT_EQ(0u, app.m_server);
        app.m_server = 1;
        app.SaveSettings();
        if (!c.big.empty()) {
            EXPECT_EQ(c.big, ReadFileBytes(app.m_iniPath));
        }
        char line[600];
        snprintf(line, sizeof line, c.message, app.m_iniPath);
        std::vector<std::string> logged = LogMessages();
        ASSERT_GE(logged.size(), 2u);
        EXPECT_EQ(line, logged[logged.size() - 2]);
        EXPECT_EQ(std::string("設定ファイルに書き込めませんでした。(File=") + app.m_iniPath + ")",
                  logged.back());
    }
}

TEST_F(SettingsTest, ALoadAfterASaveGivesBackEveryValue) {
    Start();
    app.m_server = 1;
    app.m_serverPort = 1;
    app.m_client = 1;
    app.m_interval = 9999;
    CopyField(app.m_listFile, sizeof app.m_listFile, "リスト\\一覧.lst");
    CopyField(app.m_logFile, sizeof app.m_logFile, "logs\\fsw.log");
    CopyField(app.m_checkFile, sizeof app.m_checkFile, "x=y.txt");
    app.m_notify = 0;
    app.m_logMode = 0;
    app.SaveSettings();
    Kiv other(NULL, nullptr, 0);
    CopyField(other.m_iniPath, sizeof other.m_iniPath, app.m_iniPath);
    other.LoadSettings();
    EXPECT_EQ(1u, other.m_server);
    EXPECT_EQ(1, other.m_serverPort);
    EXPECT_EQ(1u, other.m_client);
    EXPECT_EQ(9999u, other.m_interval);
    EXPECT_STREQ("リスト\\一覧.lst", other.m_listFile);
    EXPECT_STREQ("logs\\fsw.log", other.m_logFile);
    EXPECT_STREQ("x=y.txt", other.m_checkFile);
    EXPECT_EQ(0u, other.m_notify);
    EXPECT_EQ(0u, other.m_logMode);
}

}  // namespace
