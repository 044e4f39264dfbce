// The program's own INI reader and writer against the system's profile functions: the same
// files, the same reads and the same writes as the settings use. Well-formed files must give
// the same values and the same bytes; for odd files the differences are printed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "mlib/mini.h"
#include "mlib/mprofile.h"
#include "tests/support/test_support.h"

namespace {

struct Case {
    std::string name;
    bool exists;
    std::string bytes;
};

// The reads and writes of the settings, through one of the two implementations.
struct Profile {
    unsigned (*getInt)(const char*, const char*, int, const char*);
    unsigned long (*getString)(const char*, const char*, const char*, char*, unsigned long,
                               const char*);
    bool (*writeString)(const char*, const char*, const char*, const char*);
};

const Profile SYSTEM = {MGetPrivateProfileInt, MGetPrivateProfileString,
                        MWritePrivateProfileString};
const Profile OWN = {MIniGetInt, MIniGetString, MIniWriteString};

struct Outcome {
    std::vector<std::string> before;  // every value read from the file as it was
    std::string bytes;                // the file after the writes
    std::vector<std::string> after;   // every value read again
};

std::vector<std::string> ReadAll(const Profile& profile, const char* path) {
    const struct {
        const char* key;
        int defaultValue;
    } numbers[] = {{"SERVER", 0}, {"SVPORT", 50801}, {"CLIENT", 0}, {"INTVAL", 10},
                   {"NOTI", 1},   {"LOGMODE", 1},    {"NONE", 77}};
    const struct {
        const char* key;
        const char* defaultValue;
    } names[] = {{"LISTFILE", "fsw.lst"},
                 {"LOGFILE", "fsw.log"},
                 {"CHKFILE", "lastchk.txt"},
                 {"NONE", "none"}};
    std::vector<std::string> values;
    for (const auto& number : numbers) {
        values.push_back(
            std::string(number.key) + "=" +
            std::to_string(profile.getInt("fsw", number.key, number.defaultValue, path)));
    }
    for (const auto& name : names) {
        char buffer[1024];
        unsigned long length =
            profile.getString("fsw", name.key, name.defaultValue, buffer, sizeof buffer, path);
        buffer[sizeof buffer - 1] = '\0';
        values.push_back(std::string(name.key) + "=" + buffer + " (" + std::to_string(length) +
                         ")");
    }
    char buffer[1024];
    profile.getString("other", "KEY", "-", buffer, sizeof buffer, path);
    values.push_back(std::string("other.KEY=") + buffer);
    return values;
}

// What a save from the settings dialog writes: the nine keys in order, some changed.
void WriteAll(const Profile& profile, const char* path) {
    const char* values[][2] = {{"SERVER", "1"},
                               {"SVPORT", "50802"},
                               {"CLIENT", "0"},
                               {"INTVAL", "5"},
                               {"LISTFILE", "表示.lst"},
                               {"LOGFILE", "logs\\fsw.log"},
                               {"CHKFILE", "lastchk.txt"},
                               {"NOTI", "2"},
                               {"LOGMODE", "1"}};
    for (const auto& value : values) {
        profile.writeString("fsw", value[0], value[1], path);
    }
}

Outcome Exercise(const Profile& profile, const Case& c, const std::string& path) {
    if (c.exists) {
        WriteFileBytes(path, c.bytes);
    }
    Outcome outcome;
    outcome.before = ReadAll(profile, path.c_str());
    WriteAll(profile, path.c_str());
    outcome.bytes = ReadFileBytes(path);
    outcome.after = ReadAll(profile, path.c_str());
    return outcome;
}

std::string Visible(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// The differences of two outcomes, one line each; empty when they agree.
std::vector<std::string> Differences(const Outcome& system, const Outcome& own) {
    std::vector<std::string> lines;
    auto compare = [&](const char* when, const std::vector<std::string>& a,
                       const std::vector<std::string>& b) {
        for (size_t i = 0; i < a.size() && i < b.size(); i++) {
            if (a[i] != b[i]) {
                lines.push_back(std::string(when) + " system " + Visible(a[i]) + " / own " +
                                Visible(b[i]));
            }
        }
    };
    compare("read", system.before, own.before);
    if (system.bytes != own.bytes) {
        lines.push_back("file system " + Visible(system.bytes));
        lines.push_back("     own    " + Visible(own.bytes));
    }
    compare("reread", system.after, own.after);
    return lines;
}

const char DEFAULTS[] =
    "[fsw]\r\nSERVER=0\r\nSVPORT=50801\r\nCLIENT=0\r\nINTVAL=10\r\nLISTFILE=fsw.lst\r\n"
    "LOGFILE=fsw.log\r\nCHKFILE=lastchk.txt\r\nNOTI=1\r\nLOGMODE=1\r\n";

std::vector<Case> WellFormed() {
    return {
        {"no file", false, ""},
        {"empty file", true, ""},
        {"defaults", true, DEFAULTS},
        {"other values", true,
         "[fsw]\r\nSERVER=1\r\nSVPORT=1\r\nCLIENT=1\r\nINTVAL=9999\r\nLISTFILE=a.lst\r\n"
         "LOGFILE=b.log\r\nCHKFILE=c.txt\r\nNOTI=5\r\nLOGMODE=2\r\n"},
        {"some keys", true, "[fsw]\r\nNOTI=3\r\nSERVER=1\r\n"},
        {"empty section", true, "[fsw]\r\n"},
        {"other sections and comments", true,
         ";comment\r\n[other]\r\nKEY=v\r\n;inner comment\r\n[FSW]\r\nserver=1\r\nListFile=x.lst\r\n"
         "[last]\r\nA=1\r\n"},
        {"section last but not first", true, "[a]\r\nX=1\r\n[fsw]\r\nINTVAL=0\r\n"},
        {"no fsw section", true, "[other]\r\nKEY=v\r\n"},
        {"numbers", true,
         "[fsw]\r\nSERVER=-1\r\nSVPORT=70000\r\nCLIENT=+5\r\nINTVAL=4294967297\r\nNOTI=007\r\n"},
        {"empty values", true, "[fsw]\r\nSERVER=\r\nLISTFILE=\r\n"},
        {"shift-jis names", true,
         "[fsw]\r\nLISTFILE=表示.lst\r\nLOGFILE=ログ\\ソフト.log\r\nCHKFILE=a=b\r\n"},
        {"long name", true, "[fsw]\r\nLISTFILE=" + std::string(300, 'n') + "\r\n"},
    };
}

std::vector<Case> Odd() {
    std::mt19937 random(3);
    std::string noise(300, ' ');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    std::string nul = "[fsw]\r\nLISTFILE=a";
    nul += '\0';
    nul += "b\r\nSERVER=1\r\n";
    return {
        {"line feeds only", true, "[fsw]\nSERVER=1\nLISTFILE=x.lst\n[z]\nA=1\n"},
        {"lone carriage returns", true, "[fsw]\rSERVER=1\rLISTFILE=x.lst\r"},
        {"blank lines", true, "\r\n[fsw]\r\n\r\nSERVER=1\r\n\r\n[z]\r\nA=1\r\n\r\n"},
        {"blanks around", true, "  [fsw]  \r\n  SERVER  =  1  \r\n\tLISTFILE\t=\tx.lst\t\r\n"},
        {"no final line end", true, "[fsw]\r\nSERVER=1"},
        {"nul in a value", true, nul},
        {"utf-8 mark", true, "\xEF\xBB\xBF[fsw]\r\nSERVER=1\r\n"},
        {"quoted values", true,
         "[fsw]\r\nLISTFILE=\"x.lst\"\r\nLOGFILE='y.log'\r\nCHKFILE=\"z\r\n"},
        {"quoted number", true, "[fsw]\r\nSERVER=\"1\"\r\n"},
        {"odd numbers", true,
         "[fsw]\r\nSERVER=0x10\r\nSVPORT=12abc\r\nCLIENT= 7 \r\nINTVAL=- 3\r\n"},
        {"long number", true, "[fsw]\r\nSVPORT=000000000000000000000000000000000050\r\n"},
        {"very long line", true, "[fsw]\r\nLISTFILE=" + std::string(5000, 'v') + "\r\n"},
        {"duplicate keys", true, "[fsw]\r\nSERVER=1\r\nSERVER=0\r\n"},
        {"duplicate sections", true, "[fsw]\r\nSERVER=1\r\n[z]\r\n[fsw]\r\nCLIENT=1\r\n"},
        {"unclosed section", true, "[fsw\r\nSERVER=1\r\n"},
        {"key without value", true, "[fsw]\r\nSERVER\r\nNOTI=2\r\n"},
        {"comment with equals", true, "[fsw]\r\n; a = b\r\nSERVER=1\r\n"},
        {"section name with blanks", true, "[ fsw ]\r\nSERVER=1\r\n"},
        {"ideographic space", true, "[fsw]\r\nLISTFILE=\x81\x40x.lst\x81\x40\r\n"},
        {"lone lead byte", true, "[fsw]\r\nLISTFILE=x\x81\r\nSERVER=1\r\n"},
        {"control-z", true, "[fsw]\r\nSERVER=1\r\n\x1A"},
        {"random bytes", true, noise},
        {"only line ends", true, "\r\n\r\n"},
    };
}

class ProfileDifferentialTest : public ::testing::Test {
protected:
    std::vector<std::string> Compare(const Case& c, int index) {
        std::string systemPath = dir.File("system" + std::to_string(index) + ".ini");
        std::string ownPath = dir.File("own" + std::to_string(index) + ".ini");
        Outcome system = Exercise(SYSTEM, c, systemPath);
        Outcome own = Exercise(OWN, c, ownPath);
        return Differences(system, own);
    }

    TempDir dir;
};

TEST_F(ProfileDifferentialTest, WellFormedFilesGiveTheSameValuesAndTheSameBytes) {
    int index = 0;
    for (const Case& c : WellFormed()) {
        std::vector<std::string> differences = Compare(c, index++);
        std::string report;
        for (const std::string& line : differences) {
            report += "\n  " + line;
        }
        EXPECT_TRUE(differences.empty()) << c.name << report;
    }
}

// Whatever the two make of an odd file, the program's own writer must leave every key it
// wrote readable with the value written.
TEST_F(ProfileDifferentialTest, OddFilesArePrintedWhereTheyDiffer) {
    const std::vector<std::string> written = {
        "SERVER=1",
        "SVPORT=50802",
        "CLIENT=0",
        "INTVAL=5",
        "NOTI=2",
        "LOGMODE=1",
        "NONE=77",
        "LISTFILE=表示.lst (" + std::to_string(strlen("表示.lst")) + ")",
        "LOGFILE=logs\\fsw.log (12)",
        "CHKFILE=lastchk.txt (11)",
        "NONE=none (4)"};
    int index = 100;
    int agreeing = 0;
    std::vector<Case> cases = Odd();
    for (const Case& c : cases) {
        std::vector<std::string> differences = Compare(c, index);
        Outcome own = Exercise(OWN, c, dir.File("again" + std::to_string(index++) + ".ini"));
        EXPECT_EQ(written, std::vector<std::string>(own.after.begin(), own.after.end() - 1))
            << c.name;
        if (differences.empty()) {
            agreeing++;
            std::cout << "[ same     ] " << c.name << "\n";
            continue;
        }
        std::cout << "[ differ   ] " << c.name << "\n";
        for (const std::string& line : differences) {
            std::cout << "    " << line << "\n";
        }
    }
    std::cout << agreeing << " of " << cases.size() << " odd files agree\n";
}

}  // namespace
