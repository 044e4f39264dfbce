// The Linux edition's conversion at the protocol boundary: UTF-8 to Shift-JIS and back,
// and the raw bytes kept where a text does not convert.
#include <gtest/gtest.h>

#include <string>

#include "mlib/mcodepage.h"

namespace {

std::string ToWire(const std::string& text) {
    return MAnsiToWire(text.data(), text.size());
}

std::string FromWire(const std::string& bytes) {
    return MWireToAnsi(bytes.data(), bytes.size());
}

TEST(CodePage, JapaneseTravelsAsShiftJisAndComesBack) {
    EXPECT_EQ("/data/\x95\x5C", ToWire("/data/表"));
    EXPECT_EQ("/data/表", FromWire("/data/\x95\x5C"));
    EXPECT_EQ("\x93\xfa\x96\x7b\x8c\xea\xb6", ToWire("日本語ｶ"));  // half-width kana: one byte
    EXPECT_EQ("日本語ｶ", FromWire("\x93\xfa\x96\x7b\x8c\xea\xb6"));
    EXPECT_EQ("C:\\Users\\a b", ToWire("C:\\Users\\a b"));
    EXPECT_EQ("", ToWire(""));
}

TEST(CodePage, TextThatDoesNotConvertTravelsAsItsRawBytes) {
    EXPECT_EQ("/x/\xF0\x9F\x98\x80", ToWire("/x/\xF0\x9F\x98\x80")) << "no Shift-JIS for an emoji";
    EXPECT_EQ("/x/\xC3", ToWire("/x/\xC3")) << "cut UTF-8";
    EXPECT_EQ("/x/\x81", FromWire("/x/\x81")) << "a lead byte without its trail byte";
    EXPECT_EQ("/x/\xFF\xFE", FromWire("/x/\xFF\xFE"));
}

// For files read as UTF-8 by other programs: what is not well-formed becomes U+FFFD.
TEST(CodePage, Utf8ForOtherProgramsKeepsWellFormedTextAndReplacesTheRest) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"/data/表 \xF0\x9F\x98\x80", "/data/表 \xF0\x9F\x98\x80"},
        {"a\x80"
         "b",
         "a\xEF\xBF\xBD"
         "b"},                                                     // a stray continuation byte
        {"a\xE8\xA1", "a\xEF\xBF\xBD\xEF\xBF\xBD"},                // cut at the end
        {"\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
        {"\xF5\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // beyond U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, MAnsiToUtf8(c.in.data(), c.in.size())) << c.in;
    }
}

}  // namespace
