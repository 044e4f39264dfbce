// Character boundaries of Shift-JIS and UTF-8 text, and counting, comparing and searching
// by characters, under both rules on every build.
#include <gtest/gtest.h>

#include <string>

#include "mlib/mbstr.h"

namespace {

// 表 and ソ in Shift-JIS: a lead byte and the trail byte 0x5C, the backslash.
const char SJIS_HYO[] = "\x95\x5C";
const char SJIS_SO[] = "\x83\x5C";
const char UTF8_HYO[] = "\xE8\xA1\xA8";

TEST(ShiftJisRule, LeadBytesBeginTwoByteCharacters) {
    const unsigned char leads[] = {0x81, 0x9F, 0xE0, 0xFC};
    const unsigned char others[] = {0x00, 0x5C, 0x7F, 0x80, 0xA0, 0xDF, 0xFD, 0xFF};
    for (unsigned char b : leads) {
        EXPECT_EQ(2, SjisLeadLength(b)) << int{b};
    }
    for (unsigned char b : others) {
        EXPECT_EQ(1, SjisLeadLength(b)) << int{b};
    }
    EXPECT_EQ(2, SjisCharLength(SJIS_HYO));
    EXPECT_EQ(2, SjisCharLength("\x81\x22"));  // the rule looks at the lead byte only
    EXPECT_EQ(1, SjisCharLength("\x95"));      // cut short by the end of the text
    EXPECT_EQ(1, SjisCharLength("\xA0\x5C"));  // half-width katakana and others: one byte
}

TEST(Utf8Rule, ASequenceCountsOnlyWithAllItsContinuationBytes) {
    EXPECT_EQ(1, Utf8CharLength("a"));
    EXPECT_EQ(2, Utf8CharLength("\xC3\xA9"));
    EXPECT_EQ(3, Utf8CharLength(UTF8_HYO));
    EXPECT_EQ(4, Utf8CharLength("\xF0\x9F\x98\x80"));
    EXPECT_EQ(1, Utf8CharLength("\xE8\xA1"));      // cut short
    EXPECT_EQ(1, Utf8CharLength("\xE8\x5C\xA8"));  // an ASCII byte is never a continuation
    EXPECT_EQ(1, Utf8CharLength("\xA1\xA8"));      // a stray continuation byte
    EXPECT_EQ(1, Utf8CharLength("\xC0\x80"));      // an overlong lead
}

TEST(MbsLength, CountsCharactersUnderEitherRule) {
    std::string sjis = std::string(SJIS_HYO) + SJIS_SO + "a";
    EXPECT_EQ(3, MbsLength(sjis.c_str(), SjisCharLength));
    EXPECT_EQ(2, MbsLength("a\x95", SjisCharLength));
    std::string utf8 = std::string(UTF8_HYO) + "ab";
    EXPECT_EQ(3, MbsLength(utf8.c_str(), Utf8CharLength));
    EXPECT_EQ(5, MbsLength(utf8.c_str(), SingleByteCharLength));
    EXPECT_EQ(0, MbsLength(nullptr, SjisCharLength));
    EXPECT_EQ(0, MbsLength(""));
    EXPECT_EQ(3, MbsLength("表ソa"));  // the build's own rule on its own literals
}

TEST(MbsCompare, BytesCompareAsSignedValues) {
    EXPECT_EQ(0, MbsCompare("abc", "abc"));
    EXPECT_EQ(-1, MbsCompare("abc", "abd"));
    EXPECT_EQ(1, MbsCompare("b", "a"));
    EXPECT_EQ(-1, MbsCompare("\xA0", "a", 0, SjisCharLength));  // 0xA0 is negative
    EXPECT_EQ(-1, MbsCompare(SJIS_HYO, "a", 0, SjisCharLength));
}

TEST(MbsCompare, AShorterCharacterSortsFirstWhenTheSharedBytesAgree) {
    // Single bytes: 0x95 then a; Shift-JIS: 0x95 0x61 is one character.
    EXPECT_EQ(1, MbsCompare("\x95\x61", "\x95", 0, SjisCharLength));
    EXPECT_EQ(-1, MbsCompare("\x95", "\x95\x61", 0, SjisCharLength));
    EXPECT_EQ(-1, MbsCompare("\xE8\xA1", UTF8_HYO, 0, Utf8CharLength));
}

TEST(MbsCompare, ATextThatEndsFirstSortsFirstAndNullBeforeEverything) {
    EXPECT_EQ(-1, MbsCompare("ab", "abc"));
    EXPECT_EQ(1, MbsCompare("abc", "ab"));
    EXPECT_EQ(-1, MbsCompare(nullptr, ""));
    EXPECT_EQ(1, MbsCompare("", nullptr));
    EXPECT_EQ(0, MbsCompare(nullptr, nullptr));
}

TEST(MbsCompare, OnlyTheFirstNCharactersCount) {
    EXPECT_EQ(0, MbsCompare("abX", "abY", 2));
    EXPECT_EQ(-1, MbsCompare("abX", "abY", 3));
    std::string a = std::string(SJIS_HYO) + "X";
    std::string b = std::string(SJIS_HYO) + "Y";
    EXPECT_EQ(0, MbsCompare(a.c_str(), b.c_str(), 1, SjisCharLength));
    EXPECT_EQ(-1, MbsCompare(a.c_str(), b.c_str(), 2, SjisCharLength));
}

TEST(MbsFind, APatternNeverMatchesInsideACharacter) {
    std::string text = std::string("C:") + SJIS_HYO + SJIS_SO;
    EXPECT_EQ(nullptr, MbsFind(text.c_str(), "\\", SjisCharLength));
    EXPECT_EQ(text.c_str() + 3, MbsFind(text.c_str(), "\\", SingleByteCharLength));
    std::string withSeparator = text + "\\x";
    EXPECT_EQ(withSeparator.c_str() + 6, MbsFind(withSeparator.c_str(), "\\", SjisCharLength));
    // "\x5C\x83" would match at byte 3 by bytes; by characters the next start is 4.
    EXPECT_EQ(nullptr, MbsFind(text.c_str(), "\x5C\x83", SjisCharLength));
    EXPECT_EQ(text.c_str() + 2, MbsFind(text.c_str(), SJIS_HYO, SjisCharLength));
}

TEST(MbsFind, NullsAndEmptyTextsFindNothing) {
    EXPECT_EQ(nullptr, MbsFind(nullptr, "a"));
    EXPECT_EQ(nullptr, MbsFind("", "a"));
    EXPECT_EQ(nullptr, MbsFind("abc", ""));
    EXPECT_EQ(nullptr, MbsFind("abc", nullptr));
    EXPECT_EQ(nullptr, MbsFind("abc", "abcd"));
    const char* text = "abcabc";
    EXPECT_EQ(text + 1, MbsFind(text, "bc"));
}

TEST(MbsFindIn, LooksPastNulBytesWithinTheLength) {
    const char text[] = "a\0b\"c";
    EXPECT_EQ(text + 3, MbsFindIn(text, 5, "\"", 1, SjisCharLength));
    EXPECT_EQ(nullptr, MbsFind(text, "\"", SjisCharLength));
}

}  // namespace
