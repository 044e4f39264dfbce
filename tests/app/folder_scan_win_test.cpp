// The folder scan on Windows: allocation sizes from the folder listing, subfolders, and
// the recent large files.
#include <gtest/gtest.h>


#include <ctime>
#include <string>

#include "app/folder_scan.h"
#include "mlib/msys.h"
#include "tests/support/test_support.h"

namespace {

TEST(FolderScanWin, CountsTheSpaceOfFilesAndFolders) {
    TempDir dir;
    CreateDirectoryA(dir.File("sub").c_str(), NULL);
    CreateDirectoryA(dir.File("sub\\deeper").c_str(), NULL);
    WriteFileBytes(dir.File("a.bin"), std::string(100000, 'a'));
    WriteFileBytes(dir.File("sub\\deeper\\b.bin"), std::string(300000, 'b'));
    ScanOptions options;
    options.root = dir.Path();
    options.now = time(nullptr);
    FolderScan scan;
    ASSERT_TRUE(RunFolderScan(options, MNoLog(), &scan));
    EXPECT_FALSE(scan.partial);
    EXPECT_EQ(3u, scan.folderCount);
    EXPECT_EQ(2u, scan.fileCount);
    ASSERT_EQ(3u, scan.folders.size());
    EXPECT_EQ(dir.Path(), scan.folders[0].path);
    EXPECT_GE(scan.folders[0].bytes, 400000u);
    EXPECT_EQ(dir.File("sub\\deeper"), scan.folders[2].path);
    EXPECT_GE(scan.folders[2].bytes, 300000u);
    ASSERT_EQ(2u, scan.files.size());
    EXPECT_EQ(dir.File("sub\\deeper\\b.bin"), scan.files[0].path);
}

}  // namespace
