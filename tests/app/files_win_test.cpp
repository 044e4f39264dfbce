// The host list and the settings file in the Windows program: a device named as either is
// refused before a byte is read, and new files of a process that is gone are deleted.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mlib/mfileops.h"
#include "tests/support/kiv_fixture.h"

namespace {

class FilesWinTest : public KivFixture {};

// Z:\dev\zero is Wine's view of the Linux device: read, it never ends.
TEST_F(FilesWinTest, ADeviceIsNeitherReadAsTheListNorAsTheSettings) {
    for (const char* device : {"NUL", "Z:\\dev\\zero"}) {
        CopyField(app.m_listPath, sizeof app.m_listPath, device);
        CopyField(app.m_iniPath, sizeof app.m_iniPath, device);
        app.m_hosts.push_back(NewHostEntry());
        app.m_interval = 0;
        app.LoadHostList();
        app.LoadSettings();
        EXPECT_TRUE(app.m_hosts.empty()) << device;
        EXPECT_EQ(10u, app.m_interval) << device;
        std::vector<std::string> expected = {
            std::string("登録ホストファイルが通常のファイルではありません。(File=") + device + ")",
            std::string("設定ファイルが通常のファイルではありません。(File=") + device + ")"};
        std::vector<std::string> logged = LogMessages();
        ASSERT_GE(logged.size(), 2u);
        EXPECT_EQ(expected, std::vector<std::string>(logged.end() - 2, logged.end())) << device;
    }
}

// Process ids are multiples of 4, so no process has the id 4294967293.
TEST_F(FilesWinTest, NewFilesOfAProcessThatIsGoneAreDeletedAndThoseOfARunningOneKept) {
    std::string gone = dir.File(MNewFileName(4294967293u, 0));
    std::string live = dir.File(MNewFileName(GetCurrentProcessId(), 0));
    std::string other = dir.File("fsw-1-0.tmp");
    for (const std::string& path : {gone, live, other}) {
        WriteFileBytes(path, "x");
    }
    EXPECT_EQ(std::vector<std::string>{gone}, MRemoveStaleNewFiles(app.m_listPath));
    EXPECT_FALSE(FileExists(gone));
    EXPECT_TRUE(FileExists(live));
    EXPECT_TRUE(FileExists(other));
}

}  // namespace
