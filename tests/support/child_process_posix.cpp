// Child processes of the tests.
#include "tests/support/child_process_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

#include "tests/support/test_support.h"

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env, const std::string& outPath,
                           const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int flags = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, 1, outPath.empty() ? "/dev/null" : outPath.c_str(),
                                     flags, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.empty() ? "/dev/null" : errPath.c_str(),
                                     flags, 0644);
    std::vector<std::string> args = argv;
    std::vector<std::string> vars = env;
    std::vector<char*> argp;
    for (std::string& a : args)
        argp.push_back(&a[0]);
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : vars)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);
    // A group of its own, so that a signal reaches whatever the child started too (the
    // Wine wrapper runs the Windows program as a child of its own).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    m_started =
        posix_spawn(&m_pid, args[0].c_str(), &actions, &attributes, argp.data(), envp.data()) == 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (m_started && !m_ended) {
        kill(-m_pid, SIGKILL);
        Wait(5000);
    }
}

void ChildProcess::Signal(int signal) {
    if (m_started && !m_ended) {
        kill(-m_pid, signal);
    }
}

int ChildProcess::Wait(unsigned milliseconds) {
    if (!m_started) {
        return -1;
    }
    int status = 0;
    bool ended = WaitUntil([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, milliseconds);
    if (!ended) {
        return -1;
    }
    m_ended = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool ChildProcess::EndsWithin(unsigned milliseconds) {
    return m_started && WaitUntil(
                            [&] {
                                siginfo_t info = {};
                                return waitid(P_PID, static_cast<id_t>(m_pid), &info,
                                              WEXITED | WNOHANG | WNOWAIT) == 0 &&
                                       info.si_pid == m_pid;
                            },
                            milliseconds);
}

namespace {

int NextRun() {
    static int runs = 0;
    return ++runs;
}

// The program's environment: its runtime folder, a UTF-8 locale, and the sanitizer
// settings of the test run, so that a report in the program fails the test as well.
std::vector<std::string> ProgramEnvironment(const std::string& runtimeDir,
                                            const std::vector<std::string>& more) {
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + runtimeDir, "LANG=C.UTF-8"};
    env.insert(env.end(), more.begin(), more.end());
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
        const char* value = getenv(name);
        if (value != nullptr) {
            env.push_back(std::string(name) + "=" + value);
        }
    }
    return env;
}

}  // namespace

Program::Program(const std::string& dir, const std::string& runtimeDir,
                 const std::vector<std::string>& moreEnvironment)
    : Program(dir, runtimeDir, moreEnvironment, NextRun()) {}

Program::Program(const std::string& dir, const std::string& runtimeDir,
                 const std::vector<std::string>& moreEnvironment, int run)
    : ChildProcess({FSW_EXE_PATH, "--dir", dir}, ProgramEnvironment(runtimeDir, moreEnvironment),
                   runtimeDir + "/stdout-" + std::to_string(run) + ".txt",
                   runtimeDir + "/stderr-" + std::to_string(run) + ".txt"),
      m_outPath(runtimeDir + "/stdout-" + std::to_string(run) + ".txt"),
      m_errPath(runtimeDir + "/stderr-" + std::to_string(run) + ".txt") {}

std::string Program::Stdout() const {
    return ReadFileBytes(m_outPath);
}

std::string Program::Stderr() const {
    return ReadFileBytes(m_errPath);
}

ProgramRun RunFsw(const std::vector<std::string>& args, const std::string& runtimeDir,
                  unsigned milliseconds, const std::vector<std::string>& wrapper) {
    static int runs = 0;
    std::string name = runtimeDir + "/run-" + std::to_string(++runs);
    std::vector<std::string> argv = wrapper;
    argv.push_back(FSW_EXE_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    ProgramRun run;
    {
        ChildProcess child(argv, {"XDG_RUNTIME_DIR=" + runtimeDir, "LANG=C.UTF-8"}, name + ".out",
                           name + ".err");
        run.exitCode = child.Wait(milliseconds);
    }
    run.out = ReadFileBytes(name + ".out");
    run.err = ReadFileBytes(name + ".err");
    return run;
}

ProgramRun RunTool(const std::vector<std::string>& argv, const std::string& scratchDir,
                   const std::vector<std::string>& env) {
    ProgramRun run;
    std::string out = scratchDir + "/tool.out";
    std::string err = scratchDir + "/tool.err";
    {
        ChildProcess tool(argv, env, out, err);
        run.exitCode = tool.Wait(60000);
    }
    run.out = ReadFileBytes(out);
    run.err = ReadFileBytes(err);
    return run;
}
