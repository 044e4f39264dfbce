// The manual page fsw(8) and the README's key table say what the program does: the keys
// its settings reader reads, with their defaults, and the options its own help texts
// name; and man finds nothing to warn about in the page.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "app/forecast.h"
#include "app/host_entry.h"
#include "mlib/mapp.h"
#include "monitor/status_text.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/test_support.h"

namespace {

const std::string SOURCE = FSW_SOURCE_DIR;

using Keys = std::map<std::string, std::string>;  // key: default

// The text from the line that starts with heading to the next line starting with next.
std::string Section(const std::string& text, const std::string& heading, const std::string& next) {
    size_t start = text.find("\n" + heading);
    if (start == std::string::npos) {
        ADD_FAILURE() << "no section " << heading;
        return "";
    }
    size_t end = text.find("\n" + next, start + 1);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The groups of every match, copied: the text may be a temporary that is gone by the time
// the caller reads them.
std::vector<std::vector<std::string>> Matches(const std::string& text, const std::regex& pattern) {
    std::vector<std::vector<std::string>> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
         it != std::sregex_iterator(); ++it) {
        found.emplace_back(it->begin(), it->end());
    }
    return found;
}

// The keys the settings readers read (the application's and GROWTH's), from their sources.
// A default written as a named constant takes that constant's value.
Keys ProgramKeys() {
    const std::map<std::string, std::string> constants = {
        {"DEFAULT_PORT", std::to_string(DEFAULT_PORT)},
        {"LOG_OVERWRITE", std::to_string(LOG_OVERWRITE)},
    };
    std::string source = ReadFileBytes(SOURCE + "/app/settings.cpp") +
                         ReadFileBytes(SOURCE + "/app/growth_scans.cpp");
    Keys keys;
    for (
        const std::vector<std::string>& m : Matches(
            source,
            std::regex(
                R"re((?:SECTION,\s*|(?:LoadName|LoadValue|LoadNumber)\(this,\s*)"([A-Z][A-Z0-9_]*)",\s*([^,)]+)[,)])re"))) {
        std::string value = m[2];
        if (value.size() >= 2 && value.front() == '"') {
            value = value.substr(1, value.size() - 2);
        } else if (!std::isdigit(static_cast<unsigned char>(value[0]))) {
            auto known = constants.find(value);
            EXPECT_NE(constants.end(), known) << "the default of " << m[1] << " is " << value
                                              << ": add that constant to this test";
            value = known == constants.end() ? "?" : known->second;
        }
        keys[m[1]] = value;
    }
    EXPECT_GE(keys.size(), 16u) << "the reader's calls are no longer found in its source";
    return keys;
}

// The CONFIGURATION entries of the page: ".B KEY=default" after ".TP".
Keys ManualKeys(const std::string& page) {
    Keys keys;
    for (const std::vector<std::string>& m :
         Matches(Section(page, ".SH CONFIGURATION", ".SH "),
                 std::regex(R"(\n\.TP\n\.B ([A-Z][A-Z0-9_]*)=([^\n]*))"))) {
        keys[m[1]] = m[2];
    }
    return keys;
}

// The rows of the README's key table: | `KEY` | `default` or (empty) | meaning |.
Keys ReadmeKeys() {
    std::string readme = ReadFileBytes(SOURCE + "/README.md");
    Keys keys;
    for (const std::vector<std::string>& m :
         Matches(Section(readme, "## Settings: fsw.ini", "## "),
                 std::regex(R"(\n\| `([A-Z][A-Z0-9_]*)` \| (?:`([^`]*)`|\(empty\)) \|)"))) {
        keys[m[1]] = m[2];
    }
    return keys;
}

// Options as the help texts and the page write them: -x or --word.
std::set<std::string> Options(const std::string& text) {
    std::set<std::string> options;
    for (const std::vector<std::string>& m :
         Matches(text, std::regex(R"((?:^|[\s\[|("])(--?[A-Za-z0-9][A-Za-z0-9-]*))"))) {
        options.insert(m[1]);
    }
    return options;
}

// The options of the tags (the line after .TP) of the OPTIONS section, "\-" read as "-".
std::set<std::string> ManualOptions(const std::string& page) {
    std::string tags;
    for (const std::vector<std::string>& m : Matches(Section(page, ".SH OPTIONS", ".SH "),
                                                     std::regex(R"(\n\.TP\n\.B[IR]? ([^\n]*))"))) {
        tags += std::regex_replace(std::string(m[1]), std::regex(R"(\\-)"), "-") + "\n";
    }
    return Options(tags);
}

TEST(Manual, EveryKeyOfTheSettingsReaderWithItsDefaultInThePageAndTheReadme) {
    std::string page = ReadFileBytes(SOURCE + "/packaging/fsw.8.in");
    Keys program = ProgramKeys();
    Keys manual = ManualKeys(page);
    Keys readme = ReadmeKeys();
    for (const auto& [key, value] : program) {
        auto documented = manual.find(key);
        if (documented == manual.end()) {
            ADD_FAILURE() << "fsw(8) lacks the key " << key;
        } else {
            EXPECT_EQ(value, documented->second) << "the default of " << key << " in fsw(8)";
        }
    }
    for (const auto& [key, value] : manual) {
        EXPECT_TRUE(program.count(key) != 0)
            << "fsw(8) names " << key << ", which the program does not read";
    }
    EXPECT_EQ(manual, readme) << "the README's key table and fsw(8) differ";
}

TEST(Manual, EveryOptionOfTheHelpTextsInThePage) {
    TempDir runtime;
    ProgramRun help = RunFsw({"--help"}, runtime.Path());
    ProgramRun checkHelp = RunFsw({"check", "--help"}, runtime.Path());
    ASSERT_EQ(0, help.exitCode) << help.err;
    ASSERT_EQ(0, checkHelp.exitCode) << checkHelp.err;
    std::set<std::string> program = Options(help.out + "\n" + checkHelp.out);
    ASSERT_TRUE(program.count("--once") != 0 && program.count("-H") != 0)
        << help.out << checkHelp.out;
    std::set<std::string> manual = ManualOptions(ReadFileBytes(SOURCE + "/packaging/fsw.8.in"));
    for (const std::string& option : program) {
        EXPECT_NE(0u, manual.count(option)) << "fsw(8) lacks the option " << option;
    }
    for (const std::string& option : manual) {
        EXPECT_TRUE(program.count(option) != 0)
            << "fsw(8) names " << option << ", which no help text of the program does";
    }
}

// The page's forecast paragraph states the forecast's numbers as the program has them, and
// every text the status list shows for one.
TEST(Manual, TheForecastParagraphStatesTheProgramsWindowLimitsAndTexts) {
    std::string page = ReadFileBytes(SOURCE + "/packaging/fsw.8.in");
    size_t start = page.find("The forecast of when");
    ASSERT_NE(std::string::npos, start) << "fsw(8) has no forecast paragraph";
    std::string paragraph = page.substr(start, page.find("\n.PP", start) - start);
    paragraph = std::regex_replace(paragraph, std::regex("\n"), " ");
    const std::string facts[] = {
        "last " + std::to_string(FORECAST_WINDOW_SECONDS / 86400) + " days",
        "at least " + std::to_string(FORECAST_MIN_POINTS), "spanning at least an hour",
        "from " + std::to_string(FORECAST_YEAR_SECONDS / 86400) + " days on", "KEEPDAYS"};
    EXPECT_EQ(3600, FORECAST_MIN_SPAN_SECONDS) << "the page says an hour";
    for (const std::string& fact : facts) {
        EXPECT_NE(std::string::npos, paragraph.find(fact)) << fact << " in: " << paragraph;
    }
    const std::pair<int64_t, bool> forecasts[] = {
        {FORECAST_NONE, false},         {60, false},      {7200, false}, {3 * 86400, false},
        {FORECAST_YEAR_SECONDS, false}, {3 * 86400, true}};
    for (const auto& [seconds, ofBursts] : forecasts) {
        char text[32];
        FormatForecast(seconds, text, sizeof text, ofBursts);
        std::string shown = std::regex_replace(std::string(text), std::regex("約[0-9]+"), "約N");
        shown = shown == "-" ? "\\(lq\\-\\(rq" : "\\(lq" + shown + "\\(rq";
        EXPECT_NE(std::string::npos, paragraph.find(shown)) << shown << " in: " << paragraph;
    }
}

// The page as the package installs it (the version filled in): man formats it without a
// warning, and it has the sections a reader looks for.
TEST(Manual, ManFormatsThePageWithoutWarnings) {
    TempDir scratch;
    std::string built = std::string(FSW_EXE_PATH);
    built = built.substr(0, built.rfind('/')) + "/packaging/fsw.8";
    ASSERT_TRUE(FileExists(built)) << built;
    ProgramRun man =
        RunTool({"/usr/bin/man", "--warnings", "-E", "UTF-8", "-l", built}, scratch.Path(),
                {"PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8", "MANWIDTH=80"});
    EXPECT_EQ(0, man.exitCode);
    EXPECT_EQ("", man.err);
    for (const char* heading :
         {"SYNOPSIS", "OPTIONS", "CONFIGURATION", "FILES", "SIGNALS", "EXIT STATUS", "EXAMPLES"}) {
        EXPECT_NE(std::string::npos, man.out.find("\n" + std::string(heading) + "\n")) << heading;
    }
}

}  // namespace
