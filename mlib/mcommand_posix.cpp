// Commands by /bin/sh -c, in a session of their own so that the bound and the stop end the
// children with the shell: the Linux calls MRunCommand runs them over.
#include "mlib/mchild.h"

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
#include <cstdlib>

#include "mlib/mfileops.h"

extern char** environ;

namespace {

// The program's environment with the variables added.
std::vector<std::string> Environment(const MEnvironment& variables) {
    std::vector<std::string> current;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; entry++) {
        current.push_back(*entry);
    }
    return MMergeEnvironment(current, variables, false);
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

struct MChild {
    pid_t pid = -1;
    int toChild = -1;    // non-blocking; closed once the input is written or refused
    int fromChild = -1;  // non-blocking; closed at its end
    std::string input;
    size_t written = 0;
};

MChild* MStartChild(const std::string& commandLine, const MEnvironment& variables,
                    const std::string& input, std::string* error) {
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
        *error = strerror(errno);
        return nullptr;
    }
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        *error = strerror(errno);
        close(inPipe[0]);
        close(inPipe[1]);
        return nullptr;
    }
    pid_t pid = fork();
    if (pid == 0) {
        ExecChild(inPipe[0], outPipe[1], argv, envp.data());
    }
    int forkError = errno;
    close(inPipe[0]);
    close(outPipe[1]);
    if (pid < 0) {
        *error = strerror(forkError);
        close(inPipe[1]);
        close(outPipe[0]);
        return nullptr;
    }
    MChild* child = new MChild;
    child->pid = pid;
    child->toChild = inPipe[1];
    child->fromChild = outPipe[0];
    child->input = input;
    fcntl(child->toChild, F_SETFL, O_NONBLOCK);
    fcntl(child->fromChild, F_SETFL, O_NONBLOCK);  // a child of the shell may keep it open
    if (input.empty()) {
        CloseIfOpen(&child->toChild);
    }
    return child;
}

void MExchangeWithChild(MChild* child, unsigned waitMs, std::string* output) {
    struct pollfd fds[2];
    nfds_t count = 0;
    if (child->fromChild >= 0) {
        fds[count++] = {child->fromChild, POLLIN, 0};
    }
    if (child->toChild >= 0) {
        fds[count++] = {child->toChild, POLLOUT, 0};
    }
    poll(fds, count, static_cast<int>(waitMs));
    for (nfds_t i = 0; i < count; i++) {
        if (fds[i].revents == 0) {
            continue;
        }
        if (fds[i].fd == child->fromChild) {
            const size_t BUFFER = 65536;
            size_t had = output->size();
            output->resize(had + BUFFER);
            ssize_t got = read(child->fromChild, &(*output)[had], BUFFER);
            output->resize(had + (got > 0 ? static_cast<size_t>(got) : 0));
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
                CloseIfOpen(&child->fromChild);
            }
        } else {
            const std::string& input = child->input;
            ssize_t put = WriteNoSignal(child->toChild, input.data() + child->written,
                                        input.size() - child->written);
            if (put > 0) {
                child->written += static_cast<size_t>(put);
            }
            // A command that does not read all of its input closes its end: the rest is
            // dropped.
            if (child->written == input.size() || (put < 0 && errno != EAGAIN && errno != EINTR)) {
                CloseIfOpen(&child->toChild);
            }
        }
    }
}

bool MReapChild(MChild* child, int* exitCode) {
    int status = 0;
    if (waitpid(child->pid, &status, WNOHANG) != child->pid) {
        return false;
    }
    *exitCode = ExitCodeOf(status);
    return true;
}

void MEndChildTree(MChild* child) {
    EndCommand(child->pid);
    int status = 0;
    waitpid(child->pid, &status, 0);
}

void MFreeChild(MChild* child) {
    CloseIfOpen(&child->toChild);
    CloseIfOpen(&child->fromChild);
    delete child;
}

std::string MGetHostName() {
    char name[256];
    if (gethostname(name, sizeof name) != 0) {
        return std::string();
    }
    name[sizeof name - 1] = '\0';
    return name;
}
