// The delimited-text parser: the quoting rules row by row, the line end handling, the
// failure texts, and lines of any content.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mlib/mcsv.h"

namespace {

std::vector<std::string> Columns(MCSVParser<char>& parser, const std::string& line) {
    parser.Parse(line.c_str());
    std::vector<std::string> columns;
    for (int i = 0; i < parser.GetCount(); i++) {
        columns.push_back(parser.GetColumn(i));
    }
    return columns;
}

std::vector<std::string> TabColumns(const std::string& line) {
    MCSVParser<char> parser;
    parser.SetDelimiter("\t");
    return Columns(parser, line);
}

// One column text of the quoting table, Q standing for a double quote and T for a tab.
std::string Spell(std::string text) {
    for (char& c : text) {
        if (c == 'Q') {
            c = '"';
        } else if (c == 'T') {
            c = '\t';
        }
    }
    return text;
}

struct Row {
    const char* column;  // as it stands in the line
    const char* read;    // the column's text
};

// Each row as the middle column of three and as the last one of two.
void ExpectRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        std::string column = Spell(row.column);
        std::string read = Spell(row.read);
        EXPECT_EQ((std::vector<std::string>{"x", read, "y"}), TabColumns("x\t" + column + "\ty\n"))
            << row.column;
        EXPECT_EQ((std::vector<std::string>{"x", read}), TabColumns("x\t" + column + "\r\n"))
            << row.column;
    }
}

TEST(MCSVParserQuoting, PlainAndQuotedColumns) {
    ExpectRows({
        {"abc", "abc"},
        {"QaTbQ", "aTb"},
        {"QabQQcQ", "abQc"},
        {"aQb", "aQb"},
        {"", ""},
    });
}

TEST(MCSVParserQuoting, TextAfterAClosingQuoteBelongsToTheColumnAndALaterQuoteOpensAgain) {
    ExpectRows({
        {"QabQcd", "abcd"},
        {"QabQcQdTeQ", "abcdTe"},
    });
}

TEST(MCSVParserQuoting, TwoQuotesAtTheStart) {
    EXPECT_EQ((std::vector<std::string>{"x", "", "y"}), TabColumns("x\t\"\"\ty\n"));
    EXPECT_EQ((std::vector<std::string>{"x", "\""}), TabColumns("x\t\"\"\n"));
    ExpectRows({
        {"QQQabcQ", "Qabc"},
        {"QQabc", "Qabc"},
    });
}

// The writer encloses a text of n quotes as 2n + 2 quotes; it reads back as n quotes.
TEST(MCSVParserQuoting, QuotesOnlyReadBackAsTheyWereWritten) {
    ExpectRows({
        {"QQQQ", "Q"},
        {"QQQQQQ", "QQ"},
        {"QQQQQQQQ", "QQQ"},
    });
}

TEST(MCSVParserQuoting, AnUnclosedQuoteRunsToTheEndOfTheLineTabsIncluded) {
    EXPECT_EQ((std::vector<std::string>{"x", "abc\ty\tz"}), TabColumns("x\t\"abc\ty\tz\n"));
}

TEST(MCSVParserQuoting, QuotedFlagsTellWhichColumnsBeganWithAQuote) {
    MCSVParser<char> parser;
    parser.SetDelimiter("\t");
    parser.Parse("\"a\"\tb\tc\"\n");
    EXPECT_TRUE(parser.IsQuoted(0));
    EXPECT_FALSE(parser.IsQuoted(1));
    EXPECT_FALSE(parser.IsQuoted(2));
}

TEST(MCSVParserLines, TheLastByteIsDroppedAndThenEveryTrailingCrAndLf) {
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), TabColumns("a\tb\r\n"));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), TabColumns("a\tb\n"));
    EXPECT_EQ((std::vector<std::string>{"a", ""}), TabColumns("a\tb"));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), TabColumns("a\tb\r\r\n\r\n"));
    EXPECT_EQ((std::vector<std::string>{"a\rb"}), TabColumns("a\rb\n"));
}

TEST(MCSVParserLines, EmptyLinesAndEmptyColumns) {
    EXPECT_EQ((std::vector<std::string>{""}), TabColumns("\n"));
    EXPECT_EQ((std::vector<std::string>{""}), TabColumns(""));
    EXPECT_EQ((std::vector<std::string>{"a", "", "b"}), TabColumns("a\t\tb\n"));
    EXPECT_EQ((std::vector<std::string>{"", "", ""}), TabColumns("\t\t\n"));
}

TEST(MCSVParserLines, DelimitersOfOtherKinds) {
    MCSVParser<char> parser;
    EXPECT_EQ((std::vector<std::string>{"a", "b\tc"}), Columns(parser, "a,b\tc\n"));
    parser.SetDelimiter("::");
    EXPECT_EQ((std::vector<std::string>{"a", "b:c", "", "d"}), Columns(parser, "a::b:c::::d\n"));
    parser.SetDelimiter("");
    EXPECT_EQ((std::vector<std::string>{"a,b"}), Columns(parser, "a,b\n"));
    parser.SetDelimiter(nullptr);
    EXPECT_EQ((std::vector<std::string>{"a,b"}), Columns(parser, "a,b\n"));
}

TEST(MCSVParserLines, TheBufferGrowsForLongLinesAndComesBackAfterANullLine) {
    MCSVParser<char> parser;
    parser.SetDelimiter("\t");
    std::string longColumn(20000, 'z');
    EXPECT_EQ((std::vector<std::string>{"a", longColumn}),
              Columns(parser, "a\t" + longColumn + "\n"));
    EXPECT_EQ((std::vector<std::string>{"b", "c"}), Columns(parser, "b\tc\n"));
    parser.Parse(nullptr);
    EXPECT_EQ(0, parser.GetCount());
    EXPECT_EQ((std::vector<std::string>{""}), Columns(parser, ""));
    EXPECT_EQ((std::vector<std::string>{"d", "e"}), Columns(parser, "d\te\n"));
}

TEST(MCSVParserFailures, AColumnIndexOutsideTheLineThrowsItsText) {
    MCSVParser<char> parser;
    parser.SetDelimiter("\t");
    parser.Parse("a\tb\tc\n");
    for (int index : {3, -1, 1000}) {
        try {
            parser.GetColumn(index);
            ADD_FAILURE() << "no exception for column " << index;
        } catch (const char* text) {
            EXPECT_STREQ("カラム指定が範囲外です", text);
        }
    }
    EXPECT_STREQ("c", parser.GetColumn(2));
}

TEST(MCSVParserFailures, ACopyReadsTheLineButRefusesToChange) {
    MCSVParser<char> parser;
    parser.Parse("a,b\n");
    MCSVParser<char> copy(parser);
    EXPECT_EQ(2, copy.GetCount());
    EXPECT_STREQ("b", copy.GetColumn(1));
    for (int attempt = 0; attempt < 2; attempt++) {
        try {
            if (attempt == 0) {
                copy.SetDelimiter("\t");
            } else {
                copy.Parse("c\n");
            }
            ADD_FAILURE() << "no exception for attempt " << attempt;
        } catch (const char* text) {
            EXPECT_STREQ("コピーは変更できません！", text);
        }
    }
    EXPECT_STREQ("b", parser.GetColumn(1));
}

// Random bytes, NULs, lone CRs and very long lines of quotes and tabs: every line splits
// into columns whose texts together are no longer than the line.
TEST(MCSVParserBadInput, AnyLineSplitsWithoutHarm) {
    MCSVParser<char> parser;
    parser.SetDelimiter("\t");
    std::mt19937 random(11);
    const char alphabet[] = {'"', '\t', '\r', '\n', 'a', '\0', '\x81', '\x5C'};
    for (int round = 0; round < 3000; round++) {
        std::string line(random() % 200, ' ');
        for (char& c : line) {
            c = random() % 2 == 0 ? alphabet[random() % sizeof alphabet]
                                  : static_cast<char>(random());
        }
        parser.Parse(line.c_str());
        ASSERT_GE(parser.GetCount(), 1);
        size_t total = 0;
        for (int i = 0; i < parser.GetCount(); i++) {
            total += strlen(parser.GetColumn(i));
        }
        EXPECT_LE(total, line.size());
    }
    for (const std::string& line :
         {std::string(4 << 20, '"'), std::string(4 << 20, '\t'), std::string(4 << 20, '\r'),
          std::string(2 << 20, 'x') + "\t" + std::string(2 << 20, '"')}) {
        parser.Parse(line.c_str());
        EXPECT_GE(parser.GetCount(), 1);
    }
    EXPECT_EQ(2, parser.GetCount());
    EXPECT_EQ((size_t{1} << 20) - 1, strlen(parser.GetColumn(1)));  // 2n + 2 quotes read as n
}

}  // namespace
