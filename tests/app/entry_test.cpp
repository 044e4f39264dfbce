// The entry point: the single-instance rule, the network layer around the application
// and the exit codes, with the system replaced by a fake.
#include <gtest/gtest.h>

#include <string>

#include "app/entry.h"
#include "app/kiv.h"
#include "tests/support/test_support.h"

namespace {

class FakeServices : public EntryServices {
public:
    MInstanceResult instance = M_INSTANCE_CREATED;
    std::string problem;
    int startupResult = 0;
    int cleanupResult = 0;
    int applicationResult = 0;
    std::string calls;

    MInstanceResult CreateInstanceMarker(const char* name, std::string* found) override {
        calls += std::string("marker(") + name + ") ";
        *found = problem;
        return instance;
    }
    void CloseInstanceMarker() override { calls += "close "; }
    int StartupNetwork() override {
        calls += "startup ";
        return startupResult;
    }
    int CleanupNetwork() override {
        calls += "cleanup ";
        return cleanupResult;
    }
    int RunApplication() override {
        calls += "run ";
        return applicationResult;
    }
};

TEST(Entry, ANormalRunBringsTheNetworkUpAndDownAroundTheApplication) {
    MessageBoxRecorder boxes;
    FakeServices services;
    services.applicationResult = 0;
    EXPECT_EQ(0, RunEntry(services));
    EXPECT_EQ("marker(FSW_Mutex1825) startup run cleanup close ", services.calls);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(Entry, ASecondCopyIsRefusedWithExitCode2BeforeAnythingElse) {
    MessageBoxRecorder boxes;
    FakeServices services;
    services.instance = M_INSTANCE_RUNNING;
    EXPECT_EQ(2, RunEntry(services));
    EXPECT_EQ("marker(FSW_Mutex1825) close ", services.calls);
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("ケルムは既に起動中です", shown[0].text);
    EXPECT_EQ("エラー", shown[0].caption);
    EXPECT_EQ(unsigned{MB_ICONERROR}, shown[0].type);
    EXPECT_EQ(NULL, shown[0].owner);
}

TEST(Entry, AMarkerThatCannotBeCheckedRefusesTheStartAndSaysWhy) {
    MessageBoxRecorder boxes;
    FakeServices services;
    services.instance = M_INSTANCE_UNCHECKED;
    services.problem = "ロックファイルの所有者が別のユーザーです。(File=/tmp/x.lock)";
    EXPECT_EQ(2, RunEntry(services));
    EXPECT_EQ("marker(FSW_Mutex1825) close ", services.calls);
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(
        "起動中のケルムがあるか確認できないため起動しません。"
        "ロックファイルの所有者が別のユーザーです。(File=/tmp/x.lock)",
        shown[0].text);
    EXPECT_EQ("エラー", shown[0].caption);
}

TEST(Entry, ANetworkStartupFailureEndsWithExitCode2WithoutRunning) {
    MessageBoxRecorder boxes;
    FakeServices services;
    services.startupResult = 10091;
    EXPECT_EQ(2, RunEntry(services));
    EXPECT_EQ(std::string::npos, services.calls.find("run"));
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Winsockの初期化に失敗しました！", shown[0].text);
    EXPECT_EQ("ケルム", shown[0].caption);
}

TEST(Entry, ACleanupFailureRaisesExitCodesBelow2To2AndKeepsHigherOnes) {
    const int cases[][2] = {{0, 2}, {1, 2}, {2, 2}, {3, 3}, {7, 7}};
    for (const auto& c : cases) {
        MessageBoxRecorder boxes;
        FakeServices services;
        services.cleanupResult = -1;
        services.applicationResult = c[0];
        EXPECT_EQ(c[1], RunEntry(services)) << "application result " << c[0];
        std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ("Winsockのクリーンアップに失敗しました！", shown[0].text);
        EXPECT_EQ("ケルム", shown[0].caption);
    }
}

TEST(Entry, ASuccessfulCleanupKeepsTheApplicationsExitCode) {
    FakeServices services;
    services.applicationResult = 3;
    EXPECT_EQ(3, RunEntry(services));
}

TEST(Paths, BuildPathJoinsFolderSeparatorAndName) {
    char path[261];
    BuildPath(path, sizeof path, "base", "fsw.ini");
    EXPECT_EQ(std::string("base") + M_PATH_SEPARATOR + "fsw.ini", path);
}

TEST(Paths, BuildPathCutsTheWholePathAt260Bytes) {
    char path[261];
    std::string longName(300, 'n');
    BuildPath(path, sizeof path, "base", longName.c_str());
    EXPECT_EQ(260u, std::string(path).size());
    std::string longFolder(300, 'f');
    BuildPath(path, sizeof path, longFolder.c_str(), "fsw.ini");
    EXPECT_EQ(std::string(260, 'f'), path) << "no room left for the separator and the name";
    std::string folder259(259, 'f');
    BuildPath(path, sizeof path, folder259.c_str(), "fsw.ini");
    EXPECT_EQ(folder259 + M_PATH_SEPARATOR, path);
}

TEST(Paths, ANameWithASubfolderNamesAFileInThatSubfolder) {
    char path[261];
    BuildPath(path, sizeof path, "base", "sub\\x.log");
    std::string expected =
        std::string("base") + M_PATH_SEPARATOR + "sub" + M_PATH_SEPARATOR + "x.log";
    EXPECT_EQ(expected, path);
}

// Absolute names are used as they stand; on Windows a name rooted without a drive goes
// on the folder's drive. Relative names keep folder, separator, name.
TEST(Paths, AnAbsoluteNameIsUsedAsItIs) {
    struct Case {
        const char* folder;
        const char* name;
        const char* posix;
        const char* windows;
    };
    const Case cases[] = {
        {"/etc/fsw", "/var/log/fsw/fsw.log", "/var/log/fsw/fsw.log", "/var/log/fsw/fsw.log"},
        {"C:\\fsw", "D:\\logs\\fsw.log", "C:\\fsw/D:/logs/fsw.log", "D:\\logs\\fsw.log"},
        {"C:\\fsw", "\\\\nas\\logs\\fsw.log", "C:\\fsw///nas/logs/fsw.log",
         "\\\\nas\\logs\\fsw.log"},
        {"C:\\fsw", "\\logs\\fsw.log", "C:\\fsw//logs/fsw.log", "C:\\logs\\fsw.log"},
        {"C:\\fsw", "logs\\fsw.log", "C:\\fsw/logs/fsw.log", "C:\\fsw\\logs\\fsw.log"},
    };
    for (const Case& c : cases) {
        char path[261];
        BuildPath(path, sizeof path, c.folder, c.name);
        EXPECT_EQ(M_PATH_SEPARATOR == '/' ? c.posix : c.windows, std::string(path))
            << c.folder << " + " << c.name;
    }
    std::string longName = "/" + std::string(300, 'n');
    char path[261];
    BuildPath(path, sizeof path, "base", longName.c_str());
    EXPECT_EQ(longName.substr(0, 260), path);
}

// The data folder's marker: one holder per folder, free again when it closes.
TEST(Entry, OneCopyHoldsADataFolderAtATime) {
    TempDir one, other;
    std::string problem;
    MSingleInstance first, second, elsewhere;
    EXPECT_EQ(M_INSTANCE_CREATED, first.CreateForFolder(one.Path().c_str(), &problem)) << problem;
    EXPECT_EQ(M_INSTANCE_RUNNING, second.CreateForFolder(one.Path().c_str(), &problem));
    EXPECT_EQ(M_INSTANCE_CREATED, elsewhere.CreateForFolder(other.Path().c_str(), &problem));
    first.Close();
    EXPECT_EQ(M_INSTANCE_CREATED, second.CreateForFolder(one.Path().c_str(), &problem)) << problem;
}

}  // namespace
