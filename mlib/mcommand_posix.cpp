// Commands by /bin/sh -c, in a session of their own so that the bound and the stop end the
// children with the shell.
#include "mlib/mcommand.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "mlib/mfileops.h"

extern char** environ;

namespace {

const size_t FIRST_LINE_MAX = 1000;
// Once the first line is had, the output is read one buffer per this many milliseconds at
// most (400 kB/s): a command that prints without end then mostly waits on a full pipe.
const int DROP_PAUSE_MS = 10;

// The program's environment with the variables added, names given replacing their own.
std::vector<std::string> Environment(const MEnvironment& variables) {
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; entry++) {
        bool replaced = false;
        for (const auto& variable : variables) {
            size_t length = variable.first.size();
            replaced = replaced || (strncmp(*entry, variable.first.c_str(), length) == 0 &&
                                    (*entry)[length] == '=');
        }
        if (!replaced) {
            entries.push_back(*entry);
        }
    }
    for (const auto& variable : variables) {
        entries.push_back(variable.first + "=" + variable.second);
    }
    return entries;
}

// What happens in the child between fork and exec: only async-signal-safe calls. The
// signals the program blocks or ignores are given back to the command, and no descriptor
// of the program but the three standard ones stays open.
[[noreturn]] void ExecChild(int input, int output, const char* const* argv,
                            const char* const* envp) {
    setsid();  // leads a session and a process group of its own, both numbered by its pid
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction standard;
    memset(&standard, 0, sizeof standard);
    standard.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &standard, nullptr);
    if (dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0) {
        _exit(127);
    }
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3u, ~0u, 0u) != 0)
#endif
    {
        long last = sysconf(_SC_OPEN_MAX);
        for (long fd = 3; fd < (last > 0 ? last : 1024); fd++) {
            close(static_cast<int>(fd));
        }
    }
    execve("/bin/sh", const_cast<char* const*>(argv), const_cast<char* const*>(envp));
    _exit(127);
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

void CloseIfOpen(int* fd) {
    if (*fd >= 0) {
        close(*fd);
        *fd = -1;
    }
}

// One process as /proc/PID/stat tells it.
struct ProcessLinks {
    pid_t pid;
    pid_t parent;
    pid_t group;
    pid_t session;
};

std::vector<ProcessLinks> AllProcesses() {
    std::vector<ProcessLinks> all;
    for (const std::string& name : MFolderNames("/proc")) {
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string stat;
        if (MReadFile(("/proc/" + name + "/stat").c_str(), 4096, &stat) != M_READ_DONE) {
            continue;
        }
        size_t close = stat.rfind(')');  // the name in parentheses may hold anything
        ProcessLinks links = {static_cast<pid_t>(atoi(name.c_str())), 0, 0, 0};
        if (close != std::string::npos &&
            sscanf(stat.c_str() + close + 1, " %*c %d %d %d", &links.parent, &links.group,
                   &links.session) == 3) {
            all.push_back(links);
        }
    }
    return all;
}

// The processes of the command led by leader that can be found: its session and process
// group, and whatever descends from them by parent while the parents live.
std::vector<pid_t> CommandProcesses(pid_t leader) {
    std::vector<ProcessLinks> all = AllProcesses();
    std::vector<pid_t> found = {leader};
    for (const ProcessLinks& p : all) {
        if ((p.session == leader || p.group == leader) && p.pid != leader) {
            found.push_back(p.pid);
        }
    }
    for (size_t grown = 0; grown != found.size();) {
        grown = found.size();
        for (const ProcessLinks& p : all) {
            if (std::find(found.begin(), found.end(), p.parent) != found.end() &&
                std::find(found.begin(), found.end(), p.pid) == found.end()) {
                found.push_back(p.pid);
            }
        }
    }
    found.erase(std::remove(found.begin(), found.end(), getpid()), found.end());
    return found;
}

// Ends the command with what it started. Everything found is stopped first and looked for
// again, so that a child forked meanwhile is found while its parent still holds it; then
// all of it is killed.
void EndCommand(pid_t leader) {
    kill(-leader, SIGSTOP);
    for (pid_t pid : CommandProcesses(leader)) {
        kill(pid, SIGSTOP);
    }
    for (pid_t pid : CommandProcesses(leader)) {
        kill(pid, SIGKILL);
    }
    kill(-leader, SIGKILL);
    kill(leader, SIGKILL);  // not yet a leader: killed before its setsid
}

// Collects the first line of the output; the rest is read and dropped.
void TakeOutput(const char* bytes, size_t size, bool* lineDone, std::string* line) {
    for (size_t i = 0; i < size && !*lineDone; i++) {
        if (bytes[i] == '\n' || line->size() >= FIRST_LINE_MAX) {
            *lineDone = true;
        } else {
            line->push_back(bytes[i]);
        }
    }
}

// A write to a command that has closed its input fails with EPIPE instead of raising
// SIGPIPE, which would end a program that does not ignore it: the signal is blocked in
// this thread for the write, and one it raised is taken back.
ssize_t WriteNoSignal(int fd, const char* data, size_t size) {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    ssize_t put = write(fd, data, size);
    int error = errno;
    if (put < 0 && error == EPIPE && !wasPending) {
        struct timespec none = {0, 0};
        sigtimedwait(&pipeSignal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = error;
    return put;
}

}  // namespace

MCommandResult MRunCommand(const std::string& commandLine, const MEnvironment& variables,
                           const std::string& input, unsigned timeoutMs,
                           const std::atomic<bool>* stop) {
    MCommandResult result;
    std::vector<std::string> entries = Environment(variables);
    std::vector<const char*> envp;
    for (const std::string& entry : entries) {
        envp.push_back(entry.c_str());
    }
    envp.push_back(nullptr);
    const char* argv[] = {"sh", "-c", commandLine.c_str(), nullptr};

    int inPipe[2];
    int outPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0) {
        result.error = strerror(errno);
        return result;
    }
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        result.error = strerror(errno);
        close(inPipe[0]);
        close(inPipe[1]);
        return result;
    }
    pid_t pid = fork();
    if (pid == 0) {
        ExecChild(inPipe[0], outPipe[1], argv, envp.data());
    }
    int forkError = errno;
    close(inPipe[0]);
    close(outPipe[1]);
    int toChild = inPipe[1];
    int fromChild = outPipe[0];
    if (pid < 0) {
        result.error = strerror(forkError);
        close(toChild);
        close(fromChild);
        return result;
    }
    fcntl(toChild, F_SETFL, O_NONBLOCK);
    fcntl(fromChild, F_SETFL, O_NONBLOCK);  // a child of the shell may keep it open
    if (input.empty()) {
        CloseIfOpen(&toChild);
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto nextRead = std::chrono::steady_clock::now();
    size_t written = 0;
    bool lineDone = false;
    int status = 0;
    bool ended = false;
    bool stopped = false;
    while (!ended) {
        auto now = std::chrono::steady_clock::now();
        stopped = stop != nullptr && *stop;
        if (now >= deadline || stopped) {
            break;
        }
        int wait = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
        struct pollfd fds[2];
        nfds_t count = 0;
        if (fromChild >= 0 && now >= nextRead) {
            fds[count++] = {fromChild, POLLIN, 0};
        } else if (fromChild >= 0) {
            int pause = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(nextRead - now).count());
            wait = std::min(wait, pause + 1);
        }
        if (toChild >= 0) {
            fds[count++] = {toChild, POLLOUT, 0};
        }
        // The shell's end and the stop are noticed within 50 ms, even while a child of it
        // keeps the output open.
        poll(fds, count, wait < 50 ? wait : 50);
        for (nfds_t i = 0; i < count; i++) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (fds[i].fd == fromChild) {
                char buffer[4096];
                ssize_t got = read(fromChild, buffer, sizeof buffer);
                if (got > 0) {
                    TakeOutput(buffer, static_cast<size_t>(got), &lineDone, &result.firstLine);
                    if (lineDone) {
                        nextRead = std::chrono::steady_clock::now() +
                                   std::chrono::milliseconds(DROP_PAUSE_MS);
                    }
                } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                    CloseIfOpen(&fromChild);
                }
            } else {
                ssize_t put =
                    WriteNoSignal(toChild, input.data() + written, input.size() - written);
                if (put > 0) {
                    written += static_cast<size_t>(put);
                }
                // A command that does not read all of its input closes its end: the rest
                // is dropped.
                if (written == input.size() || (put < 0 && errno != EAGAIN && errno != EINTR)) {
                    CloseIfOpen(&toChild);
                }
            }
        }
        ended = waitpid(pid, &status, WNOHANG) == pid;
    }
    if (!ended) {
        EndCommand(pid);
        waitpid(pid, &status, 0);
        result.state = stopped ? M_COMMAND_STOPPED : M_COMMAND_TIMED_OUT;
    } else {
        // What the shell printed before it ended is still in the pipe.
        for (int round = 0; fromChild >= 0 && round < 16; round++) {
            char buffer[4096];
            ssize_t got = read(fromChild, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            TakeOutput(buffer, static_cast<size_t>(got), &lineDone, &result.firstLine);
        }
        result.state = M_COMMAND_EXITED;
        result.exitCode = ExitCodeOf(status);
    }
    CloseIfOpen(&toChild);
    CloseIfOpen(&fromChild);
    return result;
}

std::string MGetHostName() {
    char name[256];
    if (gethostname(name, sizeof name) != 0) {
        return std::string();
    }
    name[sizeof name - 1] = '\0';
    return name;
}
