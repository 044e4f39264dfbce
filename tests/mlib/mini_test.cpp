// The program's own INI reader and writer: values, defaults, in-place changes that keep
// every other byte, the file functions, and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "mlib/mfileops.h"
#include "mlib/mini.h"
#include "tests/support/test_support.h"

namespace {

std::string Value(const std::string& bytes, const char* section, const char* key) {
    std::string value;
    if (!MIniText(bytes).GetValue(section, key, &value)) {
        return "<missing>";
    }
    return value;
}

std::string Set(const std::string& bytes, const char* section, const char* key, const char* value) {
    MIniText text(bytes);
    text.SetValue(section, key, value);
    return text.Bytes();
}

TEST(MIniTextReading, ValuesOfWellFormedKeys) {
    std::string file = "[a]\r\nKEY=1\r\n[fsw]\r\nKEY=2\r\nNAME=x=y\r\nEMPTY=\r\n";
    EXPECT_EQ("1", Value(file, "a", "KEY"));
    EXPECT_EQ("2", Value(file, "fsw", "KEY"));
    EXPECT_EQ("x=y", Value(file, "fsw", "NAME"));
    EXPECT_EQ("", Value(file, "fsw", "EMPTY"));
    EXPECT_EQ("<missing>", Value(file, "fsw", "NONE"));
    EXPECT_EQ("<missing>", Value(file, "none", "KEY"));
    EXPECT_EQ("<missing>", Value("", "fsw", "KEY"));
}

TEST(MIniTextReading, NamesIgnoreTheCaseOfAsciiLettersAndTheBlanksAroundThem) {
    std::string file = "  [ FsW\t]  \n\t key \t=  va lue \t\n";
    EXPECT_EQ("va lue", Value(file, "fsw", "KEY"));
    EXPECT_EQ("va lue", Value(file, " FSW ", "Key"));
    // In Shift-JIS ア is 0x83 0x41 and ヂ 0x83 0x61: a trail byte that happens to be a
    // letter is not folded.
    EXPECT_EQ("<missing>", Value("[fsw]\nヂ=1\n", "fsw", "ア"));
    EXPECT_EQ("1", Value("[fsw]\nア=1\n", "fsw", "ア"));
}

TEST(MIniTextReading, TheFirstSectionOfANameAndItsFirstKeyCount) {
    std::string file = "[fsw]\nA=1\nA=2\n[fsw]\nA=3\nB=4\n";
    EXPECT_EQ("1", Value(file, "fsw", "A"));
    EXPECT_EQ("<missing>", Value(file, "fsw", "B"));
}

TEST(MIniTextReading, OddLines) {
    EXPECT_EQ("<missing>", Value("[fsw]\nKEY\n", "fsw", "KEY"));  // no '='
    EXPECT_EQ("1", Value("\xEF\xBB\xBF[fsw]\nKEY=1\n", "fsw", "KEY"));
    EXPECT_EQ("1", Value("[fsw] ; note\nKEY=1", "fsw", "KEY"));
    EXPECT_EQ("1", Value("[fsw]\rKEY=1\r", "fsw", "KEY"));  // lone CRs end lines
    EXPECT_EQ("<missing>", Value("[fsw\nKEY=1\n", "fsw", "KEY"));
    EXPECT_EQ("<missing>", Value("KEY=1\n[fsw]\n", "fsw", "KEY"));
    EXPECT_EQ(std::string("a\0b", 3), Value(std::string("[fsw]\nKEY=a\0b\n", 14), "fsw", "KEY"));
}

TEST(MIniTextWriting, APresentKeyIsRewrittenInPlaceAndEveryOtherByteKept) {
    std::string file = "; top\n[a]\r\nKEY=1\r\n\r\n[fsw]\nkey = old \nNEXT=2\r[z]\nKEY=3";
    EXPECT_EQ("; top\n[a]\r\nKEY=1\r\n\r\n[fsw]\nkey=new\nNEXT=2\r[z]\nKEY=3",
              Set(file, "fsw", "KEY", "new"));
}

TEST(MIniTextWriting, TheSameValueChangesNothing) {
    MIniText text("[fsw]\n KEY = 1 \n");
    EXPECT_FALSE(text.SetValue("fsw", "KEY", "1"));
    EXPECT_EQ("[fsw]\n KEY = 1 \n", text.Bytes());
    EXPECT_TRUE(text.SetValue("fsw", "KEY", "2"));
}

TEST(MIniTextWriting, AMissingKeyFollowsTheLastLineOfItsSection) {
    EXPECT_EQ("[fsw]\r\nA=1\r\nB=2\r\n\r\n[z]\r\n",
              Set("[fsw]\r\nA=1\r\n\r\n[z]\r\n", "fsw", "B", "2"));
    EXPECT_EQ("[fsw]\nB=2\n[z]\n", Set("[fsw]\n[z]\n", "fsw", "B", "2"));
    EXPECT_EQ("[fsw]\r\nA=1\r\nB=2\r\n", Set("[fsw]\r\nA=1", "fsw", "B", "2"));
    EXPECT_EQ("[fsw]\nA\nB=2\n", Set("[fsw]\nA\n", "fsw", "B", "2"));
}

TEST(MIniTextWriting, AMissingSectionIsAddedAtTheEnd) {
    EXPECT_EQ("[fsw]\r\nSERVER=0\r\n", Set("", "fsw", "SERVER", "0"));
    EXPECT_EQ("[a]\nX=1\n[fsw]\nK=v\n", Set("[a]\nX=1", "fsw", "K", "v"));
    EXPECT_EQ("[a]\r\n[fsw]\r\nK=v\r\n", Set("[a]\r\n", " fsw ", " K ", "v"));
    EXPECT_EQ("\xEF\xBB\xBF[fsw]\r\nK=v\r\n", Set("\xEF\xBB\xBF", "fsw", "K", "v"));
}

TEST(MIniTextWriting, AKeyWithoutValueGetsOne) {
    EXPECT_EQ("[fsw]\nKEY=1\n", Set("[fsw]\nKEY\n", "fsw", "KEY", "1"));
}

TEST(MIniParseInt, BlanksASignAndDecimalDigitsWrappingAt32Bits) {
    EXPECT_EQ(12u, MIniParseInt("12", 5));
    EXPECT_EQ(12u, MIniParseInt(" \t12", 5));
    EXPECT_EQ(5u, MIniParseInt("+5", 0));
    EXPECT_EQ(4294967295u, MIniParseInt("-1", 0));
    EXPECT_EQ(70000u, MIniParseInt("70000", 0));
    EXPECT_EQ(0u, MIniParseInt("4294967296", 0));
    EXPECT_EQ(1u, MIniParseInt("4294967297", 0));
    EXPECT_EQ(12u, MIniParseInt("12abc", 0));
    EXPECT_EQ(0u, MIniParseInt("abc", 7));
    EXPECT_EQ(0u, MIniParseInt("0x10", 7));
    EXPECT_EQ(7u, MIniParseInt("", 7));
    EXPECT_EQ(4294967295u, MIniParseInt("", -1));
}

class MIniFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("fsw.ini");
};

TEST_F(MIniFileTest, GetStringCopiesTheValueOrTheDefaultCutToTheBuffer) {
    WriteFileBytes(path, "[fsw]\nNAME=abcdef\nQUOTED=\"a b\"\nSINGLE='x'\nHALF=\"x\n");
    char buffer[64];
    EXPECT_EQ(6u, MIniGetString("fsw", "NAME", "d", buffer, sizeof buffer, path.c_str()));
    EXPECT_STREQ("abcdef", buffer);
    EXPECT_EQ(3u, MIniGetString("fsw", "NAME", "d", buffer, 4, path.c_str()));
    EXPECT_STREQ("abc", buffer);
    MIniGetString("fsw", "QUOTED", "d", buffer, sizeof buffer, path.c_str());
    EXPECT_STREQ("a b", buffer);
    MIniGetString("fsw", "SINGLE", "d", buffer, sizeof buffer, path.c_str());
    EXPECT_STREQ("x", buffer);
    MIniGetString("fsw", "HALF", "d", buffer, sizeof buffer, path.c_str());
    EXPECT_STREQ("\"x", buffer);
    EXPECT_EQ(3u, MIniGetString("fsw", "NONE", "def  ", buffer, sizeof buffer, path.c_str()));
    EXPECT_STREQ("def", buffer);
    MIniGetString("fsw", "NONE", nullptr, buffer, sizeof buffer, path.c_str());
    EXPECT_STREQ("", buffer);
    MIniGetString("fsw", "NAME", "d", buffer, sizeof buffer, dir.File("none.ini").c_str());
    EXPECT_STREQ("d", buffer);
    EXPECT_EQ(0u, MIniGetString("fsw", "NAME", "d", buffer, 0, path.c_str()));
}

TEST_F(MIniFileTest, GetIntGivesTheDefaultForAnEmptyOrMissingValue) {
    WriteFileBytes(path, "[fsw]\nA=12\nB=\nC=\"\"\nD=\"7\"\n");
    EXPECT_EQ(12u, MIniGetInt("fsw", "A", 3, path.c_str()));
    EXPECT_EQ(3u, MIniGetInt("fsw", "B", 3, path.c_str()));
    EXPECT_EQ(3u, MIniGetInt("fsw", "C", 3, path.c_str()));
    EXPECT_EQ(7u, MIniGetInt("fsw", "D", 3, path.c_str()));
    EXPECT_EQ(3u, MIniGetInt("fsw", "E", 3, path.c_str()));
    EXPECT_EQ(50801u, MIniGetInt("fsw", "A", 50801, dir.File("none.ini").c_str()));
}

TEST_F(MIniFileTest, WriteCreatesTheFileAndChangesItWholeOrNotAtAll) {
    ASSERT_TRUE(MIniWriteString("fsw", "SERVER", "0", path.c_str()));
    ASSERT_TRUE(MIniWriteString("fsw", "SVPORT", "50801", path.c_str()));
    EXPECT_EQ("[fsw]\r\nSERVER=0\r\nSVPORT=50801\r\n", ReadFileBytes(path));
    std::string before = ReadFileBytes(path);
    for (int64_t limit : {0, 5, 20}) {
        MSetNewFileWriteLimit(limit);
        EXPECT_FALSE(MIniWriteString("fsw", "SERVER", "1", path.c_str()));
        MSetNewFileWriteLimit(-1);
        EXPECT_EQ(before, ReadFileBytes(path));
    }
    std::string inMissingFolder = dir.File("none") + M_PATH_SEPARATOR + "x.ini";
    EXPECT_FALSE(MIniWriteString("fsw", "SERVER", "1", inMissingFolder.c_str()));
    EXPECT_FALSE(MIniWriteString("fsw", "SERVER", "1", dir.Path().c_str()));
}

// Random bytes, NULs, lone CRs and huge files: a value set into any of them reads back, and
// the change touches no other line: it replaces the inside of one line or inserts bytes.
TEST(MIniTextBadInput, AValueSetIntoAnyFileReadsBackAndTouchesNoOtherLine) {
    std::mt19937 random(5);
    const char alphabet[] = {'[', ']', '=', '\r', '\n', ' ', 'f', 's', 'w', 'K', '\0', '"'};
    std::vector<std::string> files;
    for (int round = 0; round < 2000; round++) {
        std::string bytes(random() % 120, ' ');
        for (char& c : bytes) {
            c = random() % 3 != 0 ? alphabet[random() % sizeof alphabet]
                                  : static_cast<char>(random());
        }
        files.push_back(bytes);
    }
    files.push_back(std::string(8 << 20, '\r'));
    files.push_back(std::string(8 << 20, '['));
    files.push_back(std::string(8 << 20, '='));
    files.push_back("[fsw]\n" + std::string(8 << 20, 'x'));
    files.push_back("[fsw]\n" + std::string(4 << 20, '\n') + "K=old\n");
    for (const std::string& bytes : files) {
        MIniText text(bytes);
        text.SetValue("fsw", "K", "value");
        std::string value;
        ASSERT_TRUE(text.GetValue("fsw", "K", &value)) << bytes.substr(0, 200);
        EXPECT_EQ("value", value);
        const std::string& after = text.Bytes();
        size_t shorter = std::min(bytes.size(), after.size());
        size_t prefix = 0;
        while (prefix < shorter && bytes[prefix] == after[prefix]) {
            prefix++;
        }
        size_t suffix = 0;
        while (suffix < shorter - prefix &&
               bytes[bytes.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
            suffix++;
        }
        std::string replaced = bytes.substr(prefix, bytes.size() - prefix - suffix);
        EXPECT_EQ(std::string::npos, replaced.find_first_of("\r\n")) << bytes.substr(0, 200);
    }
}

}  // namespace
