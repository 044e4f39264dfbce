// A program started as a separate process with its own arguments and environment, its
// standard output and error in files; killed at the end if it still runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    // Standard output and error go to the files (an empty name: /dev/null).
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const std::string& outPath, const std::string& errPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_started; }
    pid_t Pid() const { return m_pid; }
    void Signal(int signal);
    // Whether the process ends within the time; it is left unreaped (its id stays its
    // own, so signals sent to it meanwhile reach no other process), for Wait.
    bool EndsWithin(unsigned milliseconds);
    // The exit code (128 + the signal for a killed process), or -1 when it did not end
    // in time.
    int Wait(unsigned milliseconds);

private:
    pid_t m_pid = 0;
    bool m_started = false;
    bool m_ended = false;
};

// One run of the Linux edition with --dir dir and a private runtime folder for its
// single-instance marker; its standard output and error kept in that folder. More
// variables ("NAME=value") may be added to its environment.
class Program : public ChildProcess {
public:
    Program(const std::string& dir, const std::string& runtimeDir,
            const std::vector<std::string>& moreEnvironment = {});
    std::string Stdout() const;
    std::string Stderr() const;

private:
    Program(const std::string& dir, const std::string& runtimeDir,
            const std::vector<std::string>& moreEnvironment, int run);
    std::string m_outPath;
    std::string m_errPath;
};

// What a program that ran to its end left: its exit code (-1 if it did not end within the
// time given, when it is killed), standard output and standard error.
struct ProgramRun {
    int exitCode;
    std::string out;
    std::string err;
};
// Runs the Linux edition with these arguments (XDG_RUNTIME_DIR as given) to its end;
// through the wrapper when one is given (its program by absolute path, the program's
// path and arguments following it).
ProgramRun RunFsw(const std::vector<std::string>& args, const std::string& runtimeDir,
                  unsigned milliseconds = 20000, const std::vector<std::string>& wrapper = {});
// Runs another program (a tool from the system's packages) to its end within 60 s, with
// only the environment given; its output and errors pass through files in scratchDir.
ProgramRun RunTool(const std::vector<std::string>& argv, const std::string& scratchDir,
                   const std::vector<std::string>& env = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"});
