// Commands for the tests of MRunCommand that both platforms share (mlib/mcommand_test.cpp),
// each platform's written in its own tests (mcommand_posix_test.cpp, mcommand_win_test.cpp).
#pragma once

#include <string>

#include "mlib/mcommand.h"

struct TestCommand {
    std::string line;
    MEnvironment variables;
};

TestCommand FloodingCommand();                        // prints 50 MB, then exits with 7
TestCommand NonReadingCommand();                      // exits with 0 and reads nothing
TestCommand CopyingCommand(const std::string& file);  // copies its input to the file
