// The platform's part of a command, which MRunCommand (mlib/mcommand.cpp) drives: start the
// child, exchange its input and output as far as the pipes allow, try to reap it, end it
// with the processes it started. Also the driver's pieces both platforms share: the
// environment merge and the first line of the output.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "mlib/mcommand.h"

struct MChild;  // one started command, as each platform keeps it

// Starts the command with the program's environment and the variables, its standard output
// and error on one pipe, and the input to be written as the command takes it. Null, with
// the system's reason in *error, when it cannot be started.
MChild* MStartChild(const std::string& commandLine, const MEnvironment& variables,
                    const std::string& input, std::string* error);

// Waits at most waitMs for output, room for the input or the command's end; writes what of
// the input fits and appends to *output what output is there (at most some 64 kB). Never
// blocks on a pipe: a child of the command may keep it open without end.
void MExchangeWithChild(MChild* child, unsigned waitMs, std::string* output);

// True once the command has ended, with its exit code (Linux: 128 + the signal that ended it).
bool MReapChild(MChild* child, int* exitCode);

// Ends the command with the processes it started, and waits for the command itself.
void MEndChildTree(MChild* child);

// Closes what is left of a reaped or ended child.
void MFreeChild(MChild* child);

// The entries NAME=value of the program's environment with the variables added, each
// replacing an entry of its name (names compared without case, in ASCII, where ignoreCase,
// as Windows does). For char (Linux) and wchar_t (Windows).
template <class Char>
std::vector<std::basic_string<Char>> MMergeEnvironment(
    const std::vector<std::basic_string<Char>>& current,
    const std::vector<std::pair<std::basic_string<Char>, std::basic_string<Char>>>& variables,
    bool ignoreCase);

// The first line of a command's output, taken piece by piece as it comes: up to the first
// line feed ("\r\n" and "\n" end it alike) and at most MFirstLine::MAX bytes.
class MFirstLine {
public:
    static const size_t MAX = 1000;
    void Take(const char* bytes, size_t size);
    bool Done() const { return m_done; }  // whatever comes after is not kept
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
    bool m_done = false;
};
