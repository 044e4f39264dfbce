// What a command's run holds on both platforms, over either's calls: the first line of the
// output, the environment it is given, and that neither much output nor input it leaves
// unread holds it up to the bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mlib/mchild.h"
#include "tests/support/command_lines.h"
#include "tests/support/test_support.h"

namespace {

TEST(MFirstLine, ItEndsAtTheFirstLineFeedOrTheBoundHoweverTheOutputComes) {
    struct Row {
        std::vector<std::string> pieces;
        std::string line;
    };
    const std::string bound(MFirstLine::MAX, 'x');
    const std::string shorter(MFirstLine::MAX - 1, 'x');
    const Row rows[] = {
        {{"first\nsecond\n"}, "first"},
        {{"first\r\nsecond\r\n"}, "first"},  // as Windows programs end lines
        {{"fir", "st\r", "\nsecond"}, "first"},
        {{"a\rb\n"}, "a\rb"},  // only the carriage return of a line end goes
        {{"\r\n"}, ""},
        {{"no end"}, "no end"},
        {{bound, "yz\n"}, bound},
        {{bound + "\r\n"}, bound},
        {{shorter + "\r\n"}, shorter},
    };
    for (const Row& row : rows) {
        MFirstLine line;
        for (const std::string& piece : row.pieces) {
            line.Take(piece.data(), piece.size());
        }
        EXPECT_EQ(row.line, line.Text()) << row.pieces[0].substr(0, 20);
    }
}

TEST(MMergeEnvironment, AVariableReplacesTheEntryOfItsNameOnly) {
    std::vector<std::string> current = {"Path=old", "PATHEXT=.EXE", "HOME=/h"};
    std::vector<std::pair<std::string, std::string>> variables = {{"PATH", "new"}};
    EXPECT_EQ((std::vector<std::string>{"PATHEXT=.EXE", "HOME=/h", "PATH=new"}),
              MMergeEnvironment(current, variables, true));
    EXPECT_EQ((std::vector<std::string>{"Path=old", "PATHEXT=.EXE", "HOME=/h", "PATH=new"}),
              MMergeEnvironment(current, variables, false));
}

// Output past the first line is read and thrown away as fast as it comes, and input the
// command does not read is dropped: either, held to a rate, would run into the bound.
TEST(MRunCommand, MuchOutputOrUnreadInputEndsWithTheCommandsOwnExitCode) {
    TempDir dir;
    std::string copy = dir.File("copy");
    std::string input;
    for (int i = 0; input.size() < 300000; i++) {
        input += std::to_string(i) + "\n";
    }
    struct Row {
        const char* what;
        TestCommand command;
        std::string input;
        int exitCode;
    };
    const Row rows[] = {
        {"50 MB printed", FloodingCommand(), "", 7},
        {"1 MB not read", NonReadingCommand(), std::string(1 << 20, 'x'), 0},
        {"300 kB read", CopyingCommand(copy), input, 0},
    };
    for (const Row& row : rows) {
        MCommandResult result =
            MRunCommand(row.command.line, row.command.variables, row.input, 60000);
        EXPECT_EQ(M_COMMAND_EXITED, result.state) << row.what << ": " << result.error;
        EXPECT_EQ(row.exitCode, result.exitCode) << row.what;
    }
    EXPECT_TRUE(ReadFileBytes(copy) == input) << "the input reached it whole";
}

}  // namespace
