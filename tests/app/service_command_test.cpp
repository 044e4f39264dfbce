// The Windows program's command line: which command it asks for, what is refused, and
// the service's own command line with its quoting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/service_command.h"

namespace {

struct ParseCase {
    std::vector<std::string> args;
    EntryMode mode;
    std::string dir;
    bool quiet;
    bool protectDir = false;
    bool trustInstallingUser = false;
    std::string scanPath = "";
};

TEST(ServiceCommand, ReadsEachCommandWithItsFolderAndQuiet) {
    const ParseCase cases[] = {
        {{}, ENTRY_TRAY, "", false},
        {{"--install-service"}, ENTRY_INSTALL, "", false},
        {{"--install-service", "--dir", "C:\\fsw data"}, ENTRY_INSTALL, "C:\\fsw data", false},
        {{"--quiet", "--install-service", "--dir", "D:\\x"}, ENTRY_INSTALL, "D:\\x", true},
        {{"--uninstall-service", "--quiet"}, ENTRY_UNINSTALL, "", true},
        {{"--service", "--dir", "C:\\svc"}, ENTRY_SERVICE, "C:\\svc", false},
        {{"--dir", "C:\\svc", "--service"}, ENTRY_SERVICE, "C:\\svc", false},
        {{"--dir", "C:\\ProgramData\\fsw"}, ENTRY_TRAY, "C:\\ProgramData\\fsw", false},
        {{"--close-tray", "--quiet"}, ENTRY_CLOSE, "", true},
        {{"--install-service", "--dir", "C:\\d", "--protect-dir", "--quiet"},
         ENTRY_INSTALL,
         "C:\\d",
         true,
         true},
        {{"--install-service", "--unsafe-trust-installing-user"},
         ENTRY_INSTALL,
         "",
         false,
         false,
         true},
        {{"--scan"}, ENTRY_SCAN, "", false},
        {{"--scan", "--dir", "C:\\d", "D:\\Share"}, ENTRY_SCAN, "C:\\d", false, false, false,
         "D:\\Share"},
    };
    for (const ParseCase& c : cases) {
        EntryCommand command = ParseEntryArguments(c.args);
        std::string shown = ::testing::PrintToString(c.args);
        EXPECT_EQ(c.mode, command.mode) << shown << " " << command.problem;
        EXPECT_EQ(c.dir, command.dir) << shown;
        EXPECT_EQ(c.quiet, command.quiet) << shown;
        EXPECT_EQ(c.protectDir, command.protectDir) << shown;
        EXPECT_EQ(c.trustInstallingUser, command.trustInstallingUser) << shown;
        EXPECT_EQ(c.scanPath, command.scanPath) << shown;
    }
}

// A mistake never falls back to the tray program: an installer would think it done.
TEST(ServiceCommand, RefusesWhatItDoesNotKnowAndKeepsQuietForTheRefusal) {
    const std::vector<std::string> cases[] = {
        {"--instal-service"},
        {"--quiet"},
        {"--install-service", "--dir"},
        {"--install-service", "--dir", ""},
        {"--install-service", "--dir", "a", "--dir", "b"},
        {"--install-service", "--uninstall-service"},
        {"--service", "--service"},
        {"--uninstall-service", "--dir", "C:\\x"},
        {"--close-tray", "--dir", "C:\\x"},
        {"--close-tray", "--uninstall-service"},
        {"--dir", "C:\\x", "--quiet"},
        {"/install"},
        {"--install-service", "--protect-dir"},
        {"--uninstall-service", "--protect-dir"},
        {"--dir", "C:\\x", "--protect-dir"},
        {"--service", "--dir", "C:\\x", "--unsafe-trust-installing-user"},
        {"--uninstall-service", "--unsafe-trust-installing-user"},
        {"D:\\Share", "--scan"},
        {"--scan", "D:\\a", "D:\\b"},
        {"--service", "D:\\a"},
    };
    for (const std::vector<std::string>& args : cases) {
        EntryCommand command = ParseEntryArguments(args);
        EXPECT_EQ(ENTRY_INVALID, command.mode) << ::testing::PrintToString(args);
        EXPECT_FALSE(command.problem.empty()) << ::testing::PrintToString(args);
    }
    EXPECT_TRUE(ParseEntryArguments({"--bogus", "--quiet"}).quiet);
    EXPECT_FALSE(ParseEntryArguments({"--bogus"}).quiet);
}

TEST(ServiceCommand, TheServiceCommandLineKeepsTheFolderWholeThroughTheClosingQuote) {
    const struct {
        const char* dir;
        const char* expected;
    } cases[] = {
        {"C:\\fsw data", "\"C:\\p\\fsw.exe\" --service --dir \"C:\\fsw data\""},
        {"C:\\", "\"C:\\p\\fsw.exe\" --service --dir \"C:\\\\\""},
        {"\\\\srv\\share\\\\", "\"C:\\p\\fsw.exe\" --service --dir \"\\\\srv\\share\\\\\\\\\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, ServiceCommandLine("C:\\p\\fsw.exe", c.dir)) << c.dir;
    }
}

}  // namespace
