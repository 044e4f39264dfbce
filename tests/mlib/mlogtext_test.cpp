// Outside text in the log: what is escaped under each code page, and what is kept.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mlib/mbchar.h"
#include "mlib/mlogtext.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> Cases;  // bytes, log text

void Check(const Cases& cases, int (*rule)(const unsigned char*, size_t)) {
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, EscapeLogText(c.first.data(), c.first.size(), rule))
            << ::testing::PrintToString(c.first);
    }
}

// Both code pages: what ends a line or drives a terminal is made visible, and a
// backslash is doubled, so that a path's own "\r\n" text differs from an escaped CR LF.
const Cases CONTROLS = {
    {"C:\\data\\x y", "C:\\\\data\\\\x y"},
    {"/a\\r\\n/b\r\n", "/a\\\\r\\\\n/b\\r\\n"},
    {"/a\r\n2024/01/07 08:05:09\tfsw\t[/]", "/a\\r\\n2024/01/07 08:05:09\\tfsw\\t[/]"},
    {"\x1b[31mred\x7f", "\\x1b[31mred\\x7f"},
    {std::string("a\0b", 3), "a\\x00b"},
};

TEST(EscapeLogText, ControlCharactersBecomeVisibleEscapesUnderBothCodePages) {
    Check(CONTROLS, Utf8ValidLength);
    Check(CONTROLS, SjisValidLength);
}

TEST(EscapeLogText, Utf8KeepsCharactersAndEscapesEveryByteThatFormsNone) {
    Check(
        {
            {"/\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88/\xC3\xA9",
             "/\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88/\xC3\xA9"},
            {"/\x83\x65\x83\x58", "/\\x83e\\x83X"},  // Shift-JIS that did not convert
            {"\xC0\xAF", "\\xc0\\xaf"},              // overlong '/'
            {"\xED\xA0\x80", "\\xed\\xa0\\x80"},     // a surrogate
            {"x\xE3\x83", "x\\xe3\\x83"},            // cut short
            {"\xC2\x9B"
             "2J",
             "\\xc2\\x9b2J"},  // the C1 control CSI
        },
        Utf8ValidLength);
}

TEST(EscapeLogText, ShiftJisKeepsCharactersAndEscapesEveryByteThatFormsNone) {
    Check(
        {
            // 表 ends in the byte of a backslash, which is its own and stays single.
            {"C:\\\x95\x5C\\\x83\x65\x83\x58", "C:\\\\\x95\x5C\\\\\x83\x65\x83\x58"},
            {"\xB1\xB2", "\xB1\xB2"},  // half-width katakana
            {"x\x82", "x\\x82"},       // a lead byte at the end
            {"\x82\n", "\\x82\\n"},    // a lead byte before a control character
            {"\x80\xA0\xFD", "\\x80\\xa0\\xfd"},
        },
        SjisValidLength);
}

}  // namespace
