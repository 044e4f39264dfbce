// Runs a command line of the administrator's choosing, as the system's shell would (Linux:
// /bin/sh -c in a process group of its own; Windows: CreateProcess without a window, in a
// job object), with variables added to the program's environment and a text on its
// standard input. What the command prints is read for its first line.
#pragma once

#include <string>
#include <utility>
#include <vector>

enum MCommandState {
    M_COMMAND_EXITED,       // it ended by itself; exitCode is its exit code
    M_COMMAND_TIMED_OUT,    // still running at the bound: ended, with its children
    M_COMMAND_NOT_STARTED,  // it could not be started; error says why
};

struct MCommandResult {
    MCommandState state = M_COMMAND_NOT_STARTED;
    int exitCode = -1;      // 128 + the signal for a command a signal ended (Linux)
    std::string firstLine;  // of its standard output and error, at most 1000 bytes
    std::string error;      // the system's reason for M_COMMAND_NOT_STARTED
};

typedef std::vector<std::pair<std::string, std::string>> MEnvironment;

// Blocks the calling thread until the command has ended or timeoutMs have passed. The
// variables replace ones of the same name; the values and the input are passed as bytes,
// in the program's code page.
MCommandResult MRunCommand(const std::string& commandLine, const MEnvironment& variables,
                           const std::string& input, unsigned timeoutMs);

// This machine's name (gethostname, GetComputerNameA); empty when it cannot be had.
std::string MGetHostName();
