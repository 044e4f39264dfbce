// The host list file: loading its lines with their limits and log lines, the quoting of
// text columns, saving that never loses the old list, and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "mlib/mfileops.h"
#include "tests/support/kiv_fixture.h"

namespace {

const char OPEN_FAILED[] = "登録ホスト一覧ファイルがオープンできません。(File=%s)";
const char TOO_MANY[] = "登録ホスト数が100を超えています。100件のみを読み込みます";
const char WRITE_FAILED[] = "登録ホストファイル書込エラー！";
const char NOT_REGISTERED[] = "ホスト情報の登録ができませんでした。";

std::string ColumnCountMessage(int count) {
    return "登録ホストファイル：カラム数が7でない行です。(カラム数:" + std::to_string(count) + ")";
}

std::string TooLongMessage(int line) {
    return "登録ホストファイル：" + std::to_string(line) +
           "行目が長すぎるため読み飛ばします。(最大1023バイト)";
}

std::string Record(int n) {
    return "0\thost" + std::to_string(n) + "\t50801\tC:\\\t10\t0\tdesc" + std::to_string(n);
}

HostEntry Entry(uint32_t excluded, const std::string& host, uint16_t port, const std::string& path,
                uint32_t threshold, uint32_t unit, const std::string& description) {
    HostEntry entry;
    memset(&entry, 0, sizeof entry);
    entry.excluded = excluded;
    CopyField(entry.host, sizeof entry.host, host.c_str());
    entry.port = port;
    CopyField(entry.path, sizeof entry.path, path.c_str());
    entry.threshold = threshold;
    entry.unit = unit;
    CopyField(entry.description, sizeof entry.description, description.c_str());
    return entry;
}

bool SameEntry(const HostEntry& a, const HostEntry& b) {
    return a.excluded == b.excluded && strcmp(a.host, b.host) == 0 && a.port == b.port &&
           strcmp(a.path, b.path) == 0 && a.threshold == b.threshold && a.unit == b.unit &&
           strcmp(a.description, b.description) == 0;
}

std::string Hex(const char* text) {
    std::string out;
    char digits[4];
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; p++) {
        snprintf(digits, sizeof digits, "%02X ", *p);
        out += digits;
    }
    return out;
}

class HostListTest : public KivFixture {
protected:
    void WriteList(const std::string& bytes) { WriteFileBytes(app.m_listPath, bytes); }

    std::string ListBytes() const { return ReadFileBytes(app.m_listPath); }

    std::string OpenFailedMessage() const {
        char text[600];
        snprintf(text, sizeof text, OPEN_FAILED, app.m_listPath);
        return text;
    }

    void ExpectRoundTrip(const std::vector<HostEntry>& entries) {
        app.m_hosts = entries;
        app.SaveHostList();
        app.m_hosts.clear();
        app.LoadHostList();
        ASSERT_EQ(entries.size(), app.m_hosts.size());
        for (size_t i = 0; i < entries.size(); i++) {
            EXPECT_TRUE(SameEntry(entries[i], app.m_hosts[i]))
                << "record " << i << "\n host " << Hex(entries[i].host) << "\n   -> "
                << Hex(app.m_hosts[i].host) << "\n path " << Hex(entries[i].path) << "\n   -> "
                << Hex(app.m_hosts[i].path) << "\n desc " << Hex(entries[i].description)
                << "\n   -> " << Hex(app.m_hosts[i].description);
        }
    }
};

TEST_F(HostListTest, AMissingFileLeavesTheListEmptyAndLogsItsFullPath) {
    app.m_hosts.push_back(NewHostEntry());
    app.LoadHostList();
    EXPECT_TRUE(app.m_hosts.empty());
    EXPECT_EQ(std::vector<std::string>{OpenFailedMessage()}, LogMessages());
}

TEST_F(HostListTest, AWellFormedLineFillsEveryField) {
    WriteList("2\tsrv.example\t50801\t/home\t4000000000\t3\tメイン\r\n");
    app.LoadHostList();
    ASSERT_EQ(1u, app.m_hosts.size());
    EXPECT_TRUE(SameEntry(Entry(2, "srv.example", 50801, "/home", 4000000000u, 3, "メイン"),
                          app.m_hosts[0]));
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(HostListTest, LinesBeyondAHundredAreNotLoadedAndLogged) {
    std::string bytes;
    for (int i = 1; i <= 102; i++) {
        bytes += Record(i) + "\r\n";
    }
    WriteList(bytes);
    app.LoadHostList();
    ASSERT_EQ(100u, app.m_hosts.size());
    EXPECT_STREQ("host1", app.m_hosts[0].host);
    EXPECT_STREQ("host100", app.m_hosts[99].host);
    EXPECT_EQ(std::vector<std::string>{TOO_MANY}, LogMessages());
}

TEST_F(HostListTest, ALineWithFiveColumnsIsLoggedAndSkippedAndTheOthersLoad) {
    WriteList(Record(1) + "\r\n" + Record(2) + "\r\n0\thost\t1\tC:\\\t10\r\n" + Record(4) + "\r\n");
    app.LoadHostList();
    ASSERT_EQ(3u, app.m_hosts.size());
    EXPECT_STREQ("host4", app.m_hosts[2].host);
    EXPECT_EQ(std::vector<std::string>{ColumnCountMessage(5)}, LogMessages());
}

// A quote that never closes takes no line but its own: that line is refused with its number
// and the lines after it are read.
TEST_F(HostListTest, AStrayQuoteCostsOnlyItsOwnLine) {
    const std::string unclosed = "行目の引用符が閉じていないため読み飛ばします。";
    const std::string stray = "0\t\"host2\t50801\tC:\\\t10\t0\tdesc2";
    struct Case {
        std::string bytes;
        std::vector<std::string> hosts;
        std::vector<std::string> logs;
    };
    const Case cases[] = {
        {Record(1) + "\r\n" + stray + "\r\n" + Record(3) + "\r\n" + Record(4) + "\r\n",
         {"host1", "host3", "host4"},
         {"登録ホストファイル：2" + unclosed}},
        // closed on the next line into a record that cannot be: each line read on its own
        {stray + "\n0\thost2\"\t50801\t/\t10\n" + Record(3) + "\n",
         {"host3"},
         {"登録ホストファイル：1" + unclosed, ColumnCountMessage(5)}},
        // beyond a line's bound the quote is not looked for any further
        {stray + "\r" + Record(2) + "\r" + std::string(1100, 'x') + "\r" + Record(4),
         {"host2", "host4"},
         {"登録ホストファイル：1" + unclosed, TooLongMessage(3)}},
    };
    for (const Case& c : cases) {
        WriteList(c.bytes);
        size_t before = LogMessages().size();
        app.LoadHostList();
        std::vector<std::string> hosts;
        for (const HostEntry& entry : app.m_hosts) {
            hosts.push_back(entry.host);
        }
        EXPECT_EQ(c.hosts, hosts) << c.bytes;
        std::vector<std::string> logs = LogMessages();
        logs.erase(logs.begin(), logs.begin() + static_cast<long>(before));
        EXPECT_EQ(c.logs, logs) << c.bytes;
    }
}

TEST_F(HostListTest, ALineWithSpacesForTabsIsSkippedWithItsNumberAndTheHint) {
    WriteList(Record(1) + "\r\n0 host 50801 / 10 0 desc\r\n0\thost\t50801 / 10 0\r\n");
    app.LoadHostList();
    ASSERT_EQ(1u, app.m_hosts.size());
    EXPECT_EQ((std::vector<std::string>{
                  "登録ホストファイル：2行目の列がタブで区切られていません。列はタブで区切ります。"
                  "(カラム数:1)",
                  "登録ホストファイル：3行目の列がタブで区切られていません。列はタブで区切ります。"
                  "(カラム数:3)"}),
              LogMessages());
}

TEST_F(HostListTest, ALineWithEightColumnsIsSkipped) {
    WriteList(Record(1) + "\textra\n");
    app.LoadHostList();
    EXPECT_TRUE(app.m_hosts.empty());
    EXPECT_EQ(std::vector<std::string>{ColumnCountMessage(8)}, LogMessages());
}

TEST_F(HostListTest, ALastLineWithoutLineEndIsLoadedLikeAnyOther) {
    WriteList(Record(1) + "\r\n" + Record(2));
    app.LoadHostList();
    ASSERT_EQ(2u, app.m_hosts.size());
    EXPECT_STREQ("host2", app.m_hosts[1].host);
    EXPECT_STREQ("desc2", app.m_hosts[1].description);
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(HostListTest, AnEmptyLineIsOneColumnSkippedAndCountsTowardTheHundred) {
    std::string bytes;
    for (int i = 1; i <= 100; i++) {
        bytes += Record(i) + "\n";
        if (i == 5) {
            bytes += "\n";
        }
    }
    WriteList(bytes);
    app.LoadHostList();
    ASSERT_EQ(99u, app.m_hosts.size());
    EXPECT_STREQ("host99", app.m_hosts[98].host);
    EXPECT_EQ((std::vector<std::string>{ColumnCountMessage(1), TOO_MANY}), LogMessages());
}

TEST_F(HostListTest, SixColumnsGiveAnEmptyDescription) {
    WriteList("0\thost\t50801\tC:\\\t10\t0\r\n");
    app.LoadHostList();
    ASSERT_EQ(1u, app.m_hosts.size());
    EXPECT_STREQ("host", app.m_hosts[0].host);
    EXPECT_STREQ("", app.m_hosts[0].description);
}

TEST_F(HostListTest, TextsAreCutToTheirFields) {
    std::string host(70, 'h');
    std::string path(300, 'p');
    std::string description(80, 'd');
    WriteList("0\t" + host + "\t1\t" + path + "\t10\t0\t" + description + "\n");
    app.LoadHostList();
    ASSERT_EQ(1u, app.m_hosts.size());
    EXPECT_EQ(host.substr(0, 64), app.m_hosts[0].host);
    EXPECT_EQ(path.substr(0, 260), app.m_hosts[0].path);
    EXPECT_EQ(description.substr(0, 63), app.m_hosts[0].description);
}

TEST_F(HostListTest, NumbersAreReadAsA32BitStrtoul) {
    WriteList(
        "0\th\t70000\tp\t4294967296\t-1\td\n"
        " +1\th\t-1\tp\tabc\t12abc\td\n");
    app.LoadHostList();
    ASSERT_EQ(2u, app.m_hosts.size());
    EXPECT_EQ(4464, app.m_hosts[0].port);
    EXPECT_EQ(4294967295u, app.m_hosts[0].threshold);
    EXPECT_EQ(4294967295u, app.m_hosts[0].unit);
    EXPECT_EQ(1u, app.m_hosts[1].excluded);
    EXPECT_EQ(65535, app.m_hosts[1].port);
    EXPECT_EQ(0u, app.m_hosts[1].threshold);
    EXPECT_EQ(12u, app.m_hosts[1].unit);
}

TEST_F(HostListTest, ADescriptionWithATabAndAQuoteIsWrittenQuotedAndReadsBack) {
    app.m_hosts.push_back(Entry(0, "server1", 50801, "C:\\", 10, UNIT_PERCENT, "ab\"c"));
    app.m_hosts.push_back(Entry(1, "server2", 1, "/", 5, UNIT_GB, "a\tb"));
    app.SaveHostList();
    EXPECT_EQ(
        "0\tserver1\t50801\tC:\\\t10\t0\t\"ab\"\"c\"\r\n"
        "1\tserver2\t1\t/\t5\t3\t\"a\tb\"\r\n",
        ListBytes());
    app.LoadHostList();
    ASSERT_EQ(2u, app.m_hosts.size());
    EXPECT_STREQ("ab\"c", app.m_hosts[0].description);
    EXPECT_STREQ("a\tb", app.m_hosts[1].description);
}

TEST_F(HostListTest, TextsOfDoubleQuotesOnlyComeBackUnchanged) {
    ExpectRoundTrip({Entry(0, "\"", 1, "\"\"", 1, 0, "\"\"\"")});
    EXPECT_EQ("0\t\"\"\"\"\t1\t\"\"\"\"\"\"\t1\t0\t\"\"\"\"\"\"\"\"\r\n", ListBytes());
}

TEST_F(HostListTest, TextsWithQuotesTabsAndLineEndsAnywhereComeBackUnchanged) {
    ExpectRoundTrip({
        Entry(0, "h", 1, "a\nb", 1, 0, "two\nlines\r\n"),
        Entry(0, "\"a", 1, "a\"", 1, 0, "\"a\""),
        Entry(0, "\"\"a", 1, "a\"\"", 1, 0, "\t"),
        Entry(0, "\"\t", 1, "\t\"", 1, 0, "a\r"),
        Entry(0, "\r", 1, "a\rb", 1, 0, "\"\r"),
        Entry(0, "", 1, "", 1, 0, ""),
    });
}

TEST_F(HostListTest, ShiftJisTextsWithBackslashTrailBytesComeBackUnchanged) {
    // 表 and ソ in Shift-JIS end with 0x5C, the backslash.
    ExpectRoundTrip({
        Entry(0, "\x95\x5C", 1, "C:\\\x95\x5C\\\x83\x5C", 1, 0, "\x83\x5C\"\x95\x5C\t"),
        Entry(0, "\x83\x5C\x83\x5C", 1, "\"\x95\x5C\"", 1, 0, "\x95\x5C\x95"),
    });
}

// Ten records with random bytes in their texts: every byte but NUL, which ends a text, and
// the line feed, which ends a line of the file. Quotes, tabs, CRs, Shift-JIS pairs with
// 0x5C trail bytes and UTF-8 sequences are made more frequent than chance would make them.
TEST_F(HostListTest, TenRandomRecordsComeBackIdenticalAfterASaveAndALoad) {
    const std::vector<std::string> pieces = {
        "\"", "\"\"", "\t", "\r", "\x95\x5C", "\x83\x5C", "\\", "表", "ソ", "\xE8\xA1\xA8", " "};
    for (unsigned seed = 1; seed <= 40; seed++) {
        std::mt19937 random(seed);
        auto text = [&](size_t size) {
            std::string out;
            size_t length = random() % size;
            while (out.size() < length) {
                if (random() % 3 == 0) {
                    out += pieces[random() % pieces.size()];
                } else {
                    char byte = static_cast<char>(1 + random() % 255);
                    if (byte != '\n') {
                        out += byte;
                    }
                }
            }
            return out.substr(0, length);
        };
        std::vector<HostEntry> entries;
        for (int i = 0; i < 10; i++) {
            entries.push_back(Entry(static_cast<uint32_t>(random()), text(65),
                                    static_cast<uint16_t>(random()), text(261),
                                    static_cast<uint32_t>(random()),
                                    static_cast<uint32_t>(random() % 9), text(64)));
        }
        SCOPED_TRACE("seed " + std::to_string(seed));
        ExpectRoundTrip(entries);
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(HostListTest, AnOverLongLineIsSkippedWholeWithItsNumberAndCountsTowardTheTen) {
    // The tail after the first 1023 bytes looks like a record of its own.
    std::string longLine = "0\t" + std::string(1021, 'x') + "0\tpiece\t1\tp\t1\t0\td";
    std::string bytes;
    for (int i = 1; i <= 10; i++) {
        bytes += (i == 3 ? longLine : Record(i)) + "\r\n";
    }
    WriteList(bytes);
    app.LoadHostList();
    ASSERT_EQ(9u, app.m_hosts.size());
    for (const HostEntry& entry : app.m_hosts) {
        EXPECT_STRNE("piece", entry.host);
    }
    EXPECT_STREQ("host4", app.m_hosts[2].host);
    EXPECT_EQ(std::vector<std::string>{TooLongMessage(3)}, LogMessages());
}

TEST_F(HostListTest, ALineFitsWhenItAndItsLineFeedTake1023Bytes) {
    std::string head = "0\th\t1\tp\t1\t0\t";
    std::string fits = head + std::string(1022 - head.size(), 'd');  // 1022 + LF
    std::string tooLong = head + std::string(1023 - head.size(), 'd');
    std::string lastFits = head + std::string(1023 - head.size(), 'd');  // no line feed
    WriteList(fits + "\n" + tooLong + "\n" + lastFits);
    app.LoadHostList();
    ASSERT_EQ(2u, app.m_hosts.size());
    EXPECT_EQ(std::vector<std::string>{TooLongMessage(2)}, LogMessages());
}

TEST_F(HostListTest, ANulEndsTheTextOfItsLine) {
    std::string bytes = "0\thost\t1\tC:\\\t10\t0\tab";
    bytes += '\0';
    bytes += "cd\r\n0\tho";
    bytes += '\0';
    bytes += "st\t1\tp\t1\t0\td\r\n" + Record(3) + "\r\n";
    WriteList(bytes);
    app.LoadHostList();
    ASSERT_EQ(2u, app.m_hosts.size());
    EXPECT_STREQ("ab", app.m_hosts[0].description);
    EXPECT_STREQ("host3", app.m_hosts[1].host);
    EXPECT_EQ(std::vector<std::string>{ColumnCountMessage(2)}, LogMessages());
}

TEST_F(HostListTest, LoneCarriageReturnsEndLinesAndCarriageReturnsBeforeALineFeedBelongToIt) {
    WriteList(Record(1) + "\r" + Record(2) + "\r\r\n" + Record(3) + "\r\r\r\n" + Record(4) + "\r");
    app.LoadHostList();
    ASSERT_EQ(4u, app.m_hosts.size());
    EXPECT_STREQ("desc1", app.m_hosts[0].description);
    EXPECT_STREQ("host3", app.m_hosts[2].host);
    EXPECT_STREQ("desc4", app.m_hosts[3].description);
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(HostListTest, AFolderNamedAsTheListIsNotReadAndIsLogged) {
    std::filesystem::create_directory(app.m_listPath);
    app.m_hosts.push_back(NewHostEntry());
    app.LoadHostList();
    EXPECT_TRUE(app.m_hosts.empty());
    EXPECT_EQ(
        std::vector<std::string>{
            std::string("登録ホストファイルが通常のファイルではありません。(File=") +
            app.m_listPath + ")"},
        LogMessages());
}

TEST_F(HostListTest, NoMoreThanAMegabyteIsReadAndTheCutIsLogged) {
    WriteList(Record(1) + "\r\n" + std::string(3 << 20, 'x') + "\r\n" + Record(3) + "\r\n");
    app.LoadHostList();
    ASSERT_EQ(1u, app.m_hosts.size());
    EXPECT_EQ(
        std::vector<std::string>{std::string("登録ホストファイルが大きすぎるため先頭1048576バイト"
                                             "のみを読み込みます。(File=") +
                                 app.m_listPath + ")"},
        LogMessages());
}

TEST_F(HostListTest, RandomBytesHugeLinesAndHugeFilesLoadAtMostTenRecords) {
    std::mt19937 random(7);
    std::vector<std::string> files;
    std::string noise(1 << 20, '\0');
    for (char& byte : noise) {
        byte = static_cast<char>(random());
    }
    files.push_back(noise);
    files.push_back(std::string(8 << 20, 'x'));         // one huge line without a feed
    files.push_back(std::string(4 << 20, '\n'));        // millions of empty lines
    files.push_back(std::string(2 << 20, '\r'));        // lone CRs only
    files.push_back(std::string(1 << 20, '"') + "\n");  // quotes
    files.push_back(std::string(1000, '\0') + "\n");    // NULs
    std::string quotes;
    for (int i = 0; i < 10; i++) {
        quotes += "\"\t\"\"\t\"" + std::string(i * 100, '"') + "\t\t\t\t\n";
    }
    files.push_back(quotes);
    for (const std::string& bytes : files) {
        WriteList(bytes);
        app.LoadHostList();
        EXPECT_LE(app.m_hosts.size(), MAX_HOSTS);
        for (const HostEntry& entry : app.m_hosts) {
            EXPECT_LT(strlen(entry.host), sizeof entry.host);
            EXPECT_LT(strlen(entry.path), sizeof entry.path);
            EXPECT_LT(strlen(entry.description), sizeof entry.description);
        }
    }
    EXPECT_FALSE(LogMessages().empty());
}

TEST_F(HostListTest, OnlyTheFirstHundredEntriesAreSaved) {
    for (int i = 1; i <= 101; i++) {
        app.m_hosts.push_back(Entry(0, "host" + std::to_string(i), 1, "p", 1, 0, ""));
    }
    app.SaveHostList();
    std::vector<std::string> lines = SplitLines(ListBytes());
    ASSERT_EQ(100u, lines.size());
    EXPECT_EQ("0\thost100\t1\tp\t1\t0\t", lines[99]);
    EXPECT_EQ(101u, app.m_hosts.size());
}

TEST_F(HostListTest, AnEmptyListSavesAnEmptyFile) {
    WriteList(Record(1) + "\r\n");
    app.SaveHostList();
    EXPECT_TRUE(FileExists(app.m_listPath));
    EXPECT_EQ("", ListBytes());
}

TEST_F(HostListTest, ASaveThatCannotCreateAFileLogsAndShowsTheBoxAndKeepsTheList) {
    MessageBoxRecorder boxes;
    BuildPath(app.m_listPath, sizeof app.m_listPath, app.moduleDir, "missing\\fsw.lst");
    app.m_hosts.push_back(NewHostEntry());
    app.SaveHostList();
    EXPECT_EQ(1u, app.m_hosts.size());
    EXPECT_FALSE(FileExists(app.m_listPath));
    EXPECT_EQ(std::vector<std::string>{OpenFailedMessage()}, LogMessages());
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(NOT_REGISTERED, shown[0].text);
    EXPECT_EQ("エラー！", shown[0].caption);
    EXPECT_EQ(unsigned{MB_ICONERROR}, shown[0].type);
    EXPECT_EQ(app.m_mainWin.GetHandle(), shown[0].owner);
}

// A disk that fills up half-way through the new list, at every possible byte.
TEST_F(HostListTest, AWriteFailingHalfWayLeavesTheOldFileByteForByte) {
    std::string old = Record(1) + "\r\n" + Record(2) + "\n";
    WriteList(old);
    for (int i = 0; i < 10; i++) {
        app.m_hosts.push_back(Entry(0, "new" + std::to_string(i), 1, "p", 1, 0, "x"));
    }
    size_t size = 10 * strlen("0\tnew0\t1\tp\t1\t0\tx\r\n");
    for (size_t limit = 0; limit < size; limit += 7) {
        MessageBoxRecorder boxes;
        MSetNewFileWriteLimit(static_cast<int64_t>(limit));
        app.SaveHostList();
        MSetNewFileWriteLimit(-1);
        ASSERT_EQ(old, ListBytes()) << "limit " << limit;
        ASSERT_EQ(1u, boxes.Boxes().size());
        EXPECT_EQ(NOT_REGISTERED, boxes.Boxes()[0].text);
    }
    EXPECT_EQ(WRITE_FAILED, LogMessages().back());
    // Nothing is left beside the list but the list and the log.
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"fsw.lst", "test.log"}), names);
    app.SaveHostList();
    EXPECT_EQ(size, ListBytes().size());
}

}  // namespace
