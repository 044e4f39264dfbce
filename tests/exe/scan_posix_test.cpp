// "fsw scan": one folder scan kept where the server keeps its scans, with its summary; a
// second scan while one holds the lock ends at once, saying so.
#include <gtest/gtest.h>

#include <string>

#include "app/scan_store.h"
#include "mlib/mfileops.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/test_support.h"

namespace {

TEST(ScanCommand, KeepsOneScanBesideTheHistoryAndTakesTurnsUnderTheLock) {
    TempDir dir, data, tree, runtime;
    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\nCHKFILE=" + data.File("lastchk.txt") + "\n");
    WriteFileBytes(tree.File("a"), std::string(100000, 'a'));

    ProgramRun run = RunFsw({"scan", "--dir", dir.Path(), tree.Path()}, runtime.Path());
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("走査しました: " + tree.Path())) << run.out;
    int kept = 0;
    for (const std::string& name : MFolderNames(data.Path())) {
        std::string key;
        int64_t time;
        bool partial = true;
        if (ParseScanFileName(name, &key, &time, &partial)) {
            FolderScan scan;
            std::string why;
            EXPECT_TRUE(DecodeScan(ReadFileBytes(data.File(name)), &scan, &why)) << why;
            EXPECT_EQ(tree.Path(), scan.root);
            EXPECT_FALSE(partial);
            ++kept;
        }
    }
    EXPECT_EQ(1, kept);

    MFileLock lock;
    ASSERT_EQ(MFileLock::HELD, lock.Lock(data.File(SCAN_LOCK_NAME).c_str(), 0));
    run = RunFsw({"scan", "--dir", dir.Path(), tree.Path()}, runtime.Path());
    EXPECT_EQ(1, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("別のフォルダの走査が実行中です")) << run.err;
    lock.Unlock();

    run = RunFsw({"scan", "--dir", dir.Path(), tree.File("missing")}, runtime.Path());
    EXPECT_EQ(2, run.exitCode);
}

}  // namespace
