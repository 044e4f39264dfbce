// Runs a command line of the administrator's choosing, as the system's shell would (Linux:
// /bin/sh -c in a session of its own; Windows: CreateProcess without a window, in a job
// object), with variables added to the program's environment and a text on its standard
// input. What the command prints is read for its first line; the rest is read as fast as
// it comes and thrown away, so that printing much does not hold the command up.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

enum MCommandState {
    M_COMMAND_EXITED,       // it ended by itself; exitCode is its exit code
    M_COMMAND_TIMED_OUT,    // still running at the bound: ended, with its children
    M_COMMAND_STOPPED,      // still running when the stop came: ended, with its children
    M_COMMAND_NOT_STARTED,  // it could not be started; error says why
};

struct MCommandResult {
    MCommandState state = M_COMMAND_NOT_STARTED;
    int exitCode = -1;      // 128 + the signal for a command a signal ended (Linux)
    std::string firstLine;  // of its output and error, at most 1000 bytes, no line end
    std::string error;      // the system's reason for M_COMMAND_NOT_STARTED
};

typedef std::vector<std::pair<std::string, std::string>> MEnvironment;

// Blocks the calling thread until the command has ended, timeoutMs have passed or *stop
// (when given) has become true, within about 50 ms. The variables replace ones of the same
// name; the values and the input are passed as bytes, in the program's code page.
//
// "With its children": Linux ends the command's session and process group, and every
// process descended from the command whose parent still runs (so also one that left the
// session with setsid); a process whose parent has ended and that left the session (a
// daemon) is not found. Windows ends the job, which every process the command started
// belongs to. No thread of the caller's waits for a child that still holds the pipes.
MCommandResult MRunCommand(const std::string& commandLine, const MEnvironment& variables,
                           const std::string& input, unsigned timeoutMs,
                           const std::atomic<bool>* stop = nullptr);

// This machine's name (gethostname, GetComputerNameA); empty when it cannot be had.
std::string MGetHostName();
