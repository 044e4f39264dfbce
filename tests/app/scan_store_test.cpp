// The kept scans' files: what is read back, what is refused (torn, foreign, changed, out of
// range), and the report made of the files of a data folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/scan_store.h"
#include "mlib/mfileops.h"
#include "tests/support/test_support.h"

namespace {

class LinesLog : public MLogSink {
public:
    int WriteLine(const std::string& message) override {
        lines.push_back(message);
        return 0;
    }
    std::vector<std::string> lines;
};

FolderScan SmallScan(const std::string& root, int64_t end, uint64_t grown) {
    FolderScan scan;
    scan.root = root;
    scan.startTime = end - 60;
    scan.endTime = end;
    scan.usedBytes = 10ull << 30;
    scan.volumeRoot = true;
    scan.fileCount = 3;
    scan.folderCount = 2;
    scan.folders = {{root, (1ull << 30) + grown, 0, true},
                    {root + "/新しい 100%\tx", (1ull << 29) + grown, 1, true}};
    scan.files = {{root + "/big", 1ull << 28, end - 5}};
    return scan;
}

TEST(ScanStore, ReadsBackItsOwnFilesAndRefusesAnyOther) {
    struct Case {
        const char* name;
        std::string (*bytes)(FolderScan* scan);
        bool read;
        const char* why;
    };
    const Case cases[] = {
        {"whole", [](FolderScan* s) { return EncodeScan(*s); }, true, ""},
        {"partial, kept as such",
         [](FolderScan* s) {
             s->partial = true;
             s->folders[0].complete = false;
             return EncodeScan(*s);
         },
         true, ""},
        {"another file", [](FolderScan*) { return std::string("[fsw]\nGROWTH=1\n"); }, false,
         "走査の記録ではありません"},
        {"empty", [](FolderScan*) { return std::string(); }, false, "走査の記録ではありません"},
        {"torn in the middle",
         [](FolderScan* s) {
             std::string b = EncodeScan(*s);
             return b.substr(0, b.size() / 2);
         },
         false, "途中で切れています"},
        {"last line cut",
         [](FolderScan* s) {
             std::string b = EncodeScan(*s);
             return b.substr(0, b.size() - 3);
         },
         false, "途中で切れています"},
        {"a changed byte",
         [](FolderScan* s) {
             std::string b = EncodeScan(*s);
             b[b.find("D 1") + 2] = '9';
             return b;
         },
         false, "中身が壊れています"},
        {"first folder is not the root",
         [](FolderScan* s) {
             s->folders.erase(s->folders.begin());
             return EncodeScan(*s);
         },
         false, "中身が正しくありません"},
        {"no folder",
         [](FolderScan* s) {
             s->folders.clear();
             return EncodeScan(*s);
         },
         false, "中身が正しくありません"},
    };
    for (const Case& c : cases) {
        FolderScan written = SmallScan("/srv", 1700000000, 0);
        std::string bytes = c.bytes(&written);
        FolderScan read;
        std::string why;
        EXPECT_EQ(c.read, DecodeScan(bytes, &read, &why)) << c.name;
        EXPECT_EQ(c.why, why) << c.name;
        if (c.read) {
            EXPECT_EQ(EncodeScan(written), EncodeScan(read)) << c.name;
            EXPECT_EQ(written.partial, read.partial) << c.name;
        }
    }
}

TEST(ScanStore, NamesItsFilesByRootAndTime) {
    std::string key;
    int64_t time = 0;
    bool partial = false;
    std::string name = ScanFileName("/srv", 1700000000, true);
    EXPECT_EQ("fswscan-" + ScanRootKey("/srv") + "-20231114221320-p.txt", name);
    ASSERT_TRUE(ParseScanFileName(name, &key, &time, &partial));
    EXPECT_EQ(ScanRootKey("/srv"), key);
    EXPECT_EQ(1700000000, time);
    EXPECT_TRUE(partial);
    for (const char* other : {"fswscan.lock", "fswscan-0123456789abcdef-20231314221320.txt",
                              "fswscan-0123456789abcdeX-20231114221320.txt",
                              "fswscan-0123456789abcdef-20231114221320.txt.tmp"}) {
        EXPECT_FALSE(ParseScanFileName(other, &key, &time, &partial)) << other;
    }
}

// Three scans a day apart, and a torn file named as the newest: the torn one is refused
// once in the log, and the report compares the newest good scan with the older ones.
TEST(ScanStore, ReportsFromTheKeptFilesPassingOverATornOne) {
    TempDir dir;
    LinesLog log;
    ScanStore store(dir.Path(), log);
    const int64_t T = 1700000000;
    ASSERT_TRUE(store.Save(SmallScan("/srv", T - 7 * 86400, 0), T, 0));
    ASSERT_TRUE(store.Save(SmallScan("/srv", T - 86400, 100ull << 20), T, 0));
    ASSERT_TRUE(store.Save(SmallScan("/srv", T, 1ull << 30), T, 0));
    WriteFileBytes(MJoinPath(dir.Path(), ScanFileName("/srv", T + 60, false)), "FSWSCAN 1\nroot");
    EXPECT_TRUE(store.HasScan("/srv"));
    EXPECT_FALSE(store.HasScan("/home"));

    GrowthReport report;
    ASSERT_TRUE(store.ReportFor("/srv", &report));
    EXPECT_EQ(T, report.latest.time);
    EXPECT_EQ(T - 86400, report.dayBefore.time);
    EXPECT_EQ(T - 7 * 86400, report.weekBefore.time);
    ASSERT_EQ(1u, report.folders.size());
    EXPECT_EQ("/srv/新しい 100%\tx", report.folders[0].path);
    EXPECT_EQ(int64_t(1) << 30, report.folders[0].growthWeek);
    EXPECT_EQ((int64_t(1) << 30) - (100 << 20), report.folders[0].growthDay);
    EXPECT_EQ(1u, report.files.size());
    ASSERT_TRUE(store.ReportFor("/srv/新しい 100%\tx", &report));
    EXPECT_EQ(1u, report.folders.size());
    EXPECT_TRUE(report.files.empty());  // not under the asked path
    EXPECT_FALSE(store.ReportFor("/home", &report));
    ASSERT_EQ(1u, log.lines.size());
    EXPECT_NE(std::string::npos, log.lines[0].find("途中で切れています"));
}

}  // namespace
