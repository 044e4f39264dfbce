// The journal's priority prefixes of a cycle's printed lines.
#include <gtest/gtest.h>

#include <string>

#include "monitor/console_text.h"

namespace {

TEST(JournalPriority, WarningFromLevel2ErrorWithErrorsNothingBelow) {
    struct Case {
        unsigned level, errors;
        const char* prefix;
    } cases[] = {{1, 0, ""},    {1, 2, ""},    {2, 0, "<4>"},
                 {4, 0, "<4>"}, {3, 1, "<3>"}, {4, 2, "<3>"}};
    for (const Case& c : cases) {
        EXPECT_STREQ(c.prefix, JournalPriority(c.level, c.errors)) << c.level << " " << c.errors;
    }
}

TEST(PrefixLines, EveryLineGetsThePrefixAndNothingElseChanges) {
    EXPECT_EQ("<4>a\tb\n<4>c\n", PrefixLines("a\tb\nc\n", "<4>"));
    EXPECT_EQ("<3>last", PrefixLines("last", "<3>"));
    EXPECT_EQ("", PrefixLines("", "<3>"));
    EXPECT_EQ("a\n", PrefixLines("a\n", ""));
}

}  // namespace
