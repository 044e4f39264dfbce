// The log: line format, the 4095-byte cut, result codes, modes and concurrency.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <thread>

#include "mlib/mapp.h"
#include "tests/support/test_support.h"

namespace {

class TestApp : public MApp {
public:
    TestApp() : MApp(NULL, nullptr, 0) {}
    int Init() override { return 0; }
};

const char NOTICE[] = "...(長すぎるため切り捨てられました)";

// "yyyy/mm/dd hh:mm:ss", TAB, module, TAB, message.
std::string MessageOf(const std::string& line, const std::string& module) {
    static const std::regex stamp("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\t");
    if (!std::regex_search(line, stamp)) {
        return "<no time stamp>";
    }
    std::string rest = line.substr(20);
    if (rest.compare(0, module.size() + 1, module + "\t") != 0) {
        return "<no module>";
    }
    return rest.substr(module.size() + 1);
}

class LogTest : public ::testing::Test {
protected:
    TempDir dir;
    TestApp app;
    std::string path = dir.File("fsw.log");
};

TEST_F(LogTest, LineHoldsTimeModuleAndMessageSeparatedByTabsAndEndsWithCrLf) {
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_OVERWRITE));
    EXPECT_EQ(LOG_WRITTEN, app.Log("%s Version %u.%u.%u (%u) 起動", "ケルム", 1u, 2u, 3u, 4u));
    std::string bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2));
    std::vector<std::string> lines = SplitLines(bytes);
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(0u, strlen(app.moduleName));
    EXPECT_EQ("ケルム Version 1.2.3 (4) 起動", MessageOf(lines[0], app.moduleName));
}

TEST_F(LogTest, FormatsStringsSignedUnsignedAnd64BitNumbers) {
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_OVERWRITE));
    app.Log("[%s] %d %u %I64u / %I64u %%", "C:\\", -5, 7u, 5368709120ULL, 18446744073709551615ULL);
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("[C:\\] -5 7 5368709120 / 18446744073709551615 %",
              MessageOf(lines[0], app.moduleName));
}

TEST_F(LogTest, MessageOf4095BytesIsWrittenWholeWithoutTheNotice) {
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_OVERWRITE));
    std::string message(4095, 'x');
    EXPECT_EQ(LOG_WRITTEN, app.Log("%s", message.c_str()));
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(message, MessageOf(lines[0], app.moduleName));
}

TEST_F(LogTest, LogCutsMessagesLongerThan4095BytesAndAddsTheNotice) {
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_OVERWRITE));
    for (size_t length : {size_t{4096}, size_t{10000}}) {
        std::string message;
        for (size_t i = 0; i < length; i++) {
            message += static_cast<char>('a' + i % 26);
        }
        EXPECT_EQ(LOG_CUT, app.Log("%s", message.c_str()));
    }
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    ASSERT_EQ(2u, lines.size());
    for (const std::string& line : lines) {
        std::string message = MessageOf(line, app.moduleName);
        ASSERT_EQ(4095 + strlen(NOTICE), message.size());
        EXPECT_EQ(NOTICE, message.substr(4095));
        EXPECT_EQ('a', message[0]);
        EXPECT_EQ(static_cast<char>('a' + 4094 % 26), message[4094]);
    }
}

TEST_F(LogTest, WithoutAnOpenLogLogReturns3AndTouchesNoFile) {
    EXPECT_EQ(LOG_NOT_OPEN, app.Log("nothing %d", 1));
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_OVERWRITE));
    app.CloseLog();
    WriteFileBytes(path, "before");
    EXPECT_EQ(LOG_NOT_OPEN, app.Log("after close"));
    EXPECT_EQ("before", ReadFileBytes(path));
}

TEST_F(LogTest, OverwriteEmptiesAnExistingLogAndCreatesAMissingOne) {
    WriteFileBytes(path, "old line\r\n");
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_OVERWRITE));
    app.Log("new");
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("new", MessageOf(lines[0], app.moduleName));

    std::string other = dir.File("other.log");
    ASSERT_TRUE(app.OpenLog(other.c_str(), LOG_OVERWRITE));
    app.Log("first");
    EXPECT_EQ(1u, SplitLines(ReadFileBytes(other)).size());
}

TEST_F(LogTest, AppendKeepsAnExistingLogAndCreatesAMissingOne) {
    WriteFileBytes(path, "old line\r\n");
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_APPEND));
    app.Log("new");
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("old line", lines[0]);
    EXPECT_EQ("new", MessageOf(lines[1], app.moduleName));

    std::string missing = dir.File("missing.log");
    ASSERT_TRUE(app.OpenLog(missing.c_str(), LOG_APPEND));
    app.Log("first");
    EXPECT_EQ(1u, SplitLines(ReadFileBytes(missing)).size());
}

TEST_F(LogTest, ModeNoneCreatesEmptiesAndWritesNothing) {
    MessageBoxRecorder boxes;
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_NONE));
    EXPECT_EQ(LOG_NOT_OPEN, app.Log("nothing"));
    EXPECT_FALSE(FileExists(path));

    WriteFileBytes(path, "kept\r\n");
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_NONE));
    EXPECT_EQ(LOG_NOT_OPEN, app.Log("nothing"));
    EXPECT_EQ("kept\r\n", ReadFileBytes(path));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LogTest, ModesAbove2AppendLikeMode2) {
    WriteFileBytes(path, "old line\r\n");
    ASSERT_TRUE(app.OpenLog(path.c_str(), 7));
    app.Log("new");
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("old line", lines[0]);
}

TEST_F(LogTest, LogInAMissingFolderShowsTheBoxAndEveryLaterLogReturns3) {
    MessageBoxRecorder boxes;
    std::string bad = dir.File("no-such-folder") + M_PATH_SEPARATOR + "fsw.log";
    EXPECT_FALSE(app.OpenLog(bad.c_str(), LOG_OVERWRITE));
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Error!", shown[0].caption);
    EXPECT_EQ(
        "ログファイル名=" + bad + "\nログファイルのオープンに失敗！！\nログは記録されません。",
        shown[0].text);
    EXPECT_EQ(unsigned{MB_ICONERROR}, shown[0].type);
    EXPECT_EQ(LOG_NOT_OPEN, app.Log("lost"));
    EXPECT_EQ(LOG_NOT_OPEN, app.Log("lost too"));
}

TEST_F(LogTest, AFailedOpenClosesThePreviousLog) {
    MessageBoxRecorder boxes;
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_OVERWRITE));
    std::string bad = dir.File("no-such-folder") + M_PATH_SEPARATOR + "fsw.log";
    EXPECT_FALSE(app.OpenLog(bad.c_str(), LOG_OVERWRITE));
    EXPECT_EQ(LOG_NOT_OPEN, app.Log("lost"));
}

// The line that would pass the limit opens a new file, after the line that says so;
// the old file, its earlier content included, is kept whole as fsw.log.1.
TEST_F(LogTest, PastItsLimitTheLogMovesToDotOneAndGoesOnInANewFile) {
    const uint64_t limit = 1 << 20;
    std::string earlier = "earlier\r\n" + std::string(900000, 'e') + "\r\n";
    WriteFileBytes(path, earlier);
    WriteFileBytes(path + ".1", "an older file\r\n");
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_APPEND));
    app.SetLogLimit(limit);
    std::string filler(1000, 'x');
    int written = 0;
    while (app.logSize >= earlier.size() && written < 2000) {
        app.Log("%d %s", written++, filler.c_str());
    }
    std::string kept = ReadFileBytes(path + ".1");
    EXPECT_LE(kept.size(), limit);
    EXPECT_EQ(0u, kept.find(earlier));
    std::vector<std::string> keptLines = SplitLines(kept);
    EXPECT_EQ(std::to_string(written - 2) + " " + filler,
              MessageOf(keptLines.back(), app.moduleName));
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("ログが上限(1 MB)を超えたため、以前の内容を " + path + ".1 に移しました",
              MessageOf(lines[0], app.moduleName));
    EXPECT_EQ(std::to_string(written - 1) + " " + filler, MessageOf(lines[1], app.moduleName));
}

TEST_F(LogTest, TwoThreadsLoggingAtOnceWriteWholeLinesOnly) {
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_OVERWRITE));
    const int perThread = 400;
    auto writer = [this](char mark) {
        std::string body(300, mark);
        for (int i = 0; i < perThread; i++) {
            app.Log("%c%d:%s", mark, i, body.c_str());
        }
    };
    std::thread first(writer, 'A');
    std::thread second(writer, 'B');
    first.join();
    second.join();
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    ASSERT_EQ(2u * perThread, lines.size());
    int seen[2] = {0, 0};
    for (const std::string& line : lines) {
        std::string message = MessageOf(line, app.moduleName);
        ASSERT_TRUE(message[0] == 'A' || message[0] == 'B') << line;
        char mark = message[0];
        size_t colon = message.find(':');
        ASSERT_NE(std::string::npos, colon);
        int number = std::stoi(message.substr(1, colon - 1));
        EXPECT_EQ(seen[mark - 'A'], number) << "lines of one thread keep their order";
        seen[mark - 'A']++;
        EXPECT_EQ(std::string(300, mark), message.substr(colon + 1));
    }
}

TEST_F(LogTest, AnEmptyModuleNameGivesTwoTabsInARow) {
    app.moduleName[0] = '\0';
    ASSERT_TRUE(app.OpenLog(path.c_str(), LOG_OVERWRITE));
    app.Log("message");
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\t\tmessage", lines[0].substr(19));
}

}  // namespace
