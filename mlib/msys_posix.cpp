// POSIX side of the platform seam, and the console edition's message loop.
#include "mlib/msys.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

void MCriticalSection::Initialize() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_lock, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void MCriticalSection::Delete() {
    pthread_mutex_destroy(&m_lock);
}
void MCriticalSection::Enter() {
    pthread_mutex_lock(&m_lock);
}
void MCriticalSection::Leave() {
    pthread_mutex_unlock(&m_lock);
}

MFile::MFile() : m_file(-1) {}

MFile::~MFile() {
    Close();
}

bool MFile::Create(const char* path, MCreateDisposition disposition) {
    Close();
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    if (disposition == M_CREATE_ALWAYS) {
        flags |= O_TRUNC;
    }
    // Without waiting: a FIFO named as the log would otherwise hold the start until a
    // reader came. Only a file that keeps what is written is taken as the log.
    m_file = open(path, flags | O_NONBLOCK, 0644);
    if (m_file < 0) {
        return false;
    }
    struct stat info;
    if (fstat(m_file, &info) != 0 || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) ||
        S_ISDIR(info.st_mode)) {
        Close();
        errno = EINVAL;
        return false;
    }
    fcntl(m_file, F_SETFL, fcntl(m_file, F_GETFL) & ~O_NONBLOCK);
    return true;
}

bool MFile::SetPointerToEnd() {
    return lseek(m_file, 0, SEEK_END) != static_cast<off_t>(-1);
}

bool MFile::Write(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = write(m_file, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Every Write is a system call of its own, so nothing waits in the process: a line
// written is kept even if the program dies at once. The data goes to the disk at the
// system's pace; forcing it there line by line (fdatasync) would make each server
// request wait for the disk.
bool MFile::FlushBuffers() {
    return m_file >= 0;
}

bool MFile::GetSize(uint64_t* size) const {
    struct stat info;
    if (m_file < 0 || fstat(m_file, &info) != 0) {
        return false;
    }
    *size = static_cast<uint64_t>(info.st_size);
    return true;
}

void MFile::Close() {
    if (m_file >= 0) {
        close(m_file);
        m_file = -1;
    }
}

bool MFile::IsOpen() const {
    return m_file >= 0;
}

bool MMoveFileReplacing(const char* from, const char* to) {
    return rename(from, to) == 0;
}

void MGetLocalTime(MLocalTime* time) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm parts;
    localtime_r(&now.tv_sec, &parts);
    time->year = static_cast<uint16_t>(parts.tm_year + 1900);
    time->month = static_cast<uint16_t>(parts.tm_mon + 1);
    time->day = static_cast<uint16_t>(parts.tm_mday);
    time->hour = static_cast<uint16_t>(parts.tm_hour);
    time->minute = static_cast<uint16_t>(parts.tm_min);
    time->second = static_cast<uint16_t>(parts.tm_sec);
}

void MSleep(unsigned milliseconds) {
    struct timespec rest;
    rest.tv_sec = milliseconds / 1000;
    rest.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

unsigned long MGetLastError() {
    return static_cast<unsigned long>(errno);
}

namespace {

struct DetachedStart {
    void (*procedure)(void*);
    void* argument;
};

void* RunDetached(void* raw) {
    DetachedStart start = *static_cast<DetachedStart*>(raw);
    delete static_cast<DetachedStart*>(raw);
    start.procedure(start.argument);
    return nullptr;
}

}  // namespace

bool MBeginThread(void (*procedure)(void*), void* argument) {
    DetachedStart* start = new DetachedStart{procedure, argument};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int failed = pthread_create(&thread, &attributes, RunDetached, start);
    pthread_attr_destroy(&attributes);
    if (failed != 0) {
        delete start;
        errno = failed;
        return false;
    }
    return true;
}

std::string MSystemModulePath(HINSTANCE) {
    char exe[4096];
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    return std::string(exe, length > 0 ? static_cast<size_t>(length) : 0);
}

// The console edition has no boxes: the text goes to standard error as "caption: text".
// A question is answered with the safe choice, No.
int MSystemMessageBox(HWND, const char* text, const char* caption, unsigned type) {
    fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
    fflush(stderr);
    return (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
}

MSingleInstance::MSingleInstance() : m_marker(-1) {}

MSingleInstance::~MSingleInstance() {
    Close();
}

namespace {

std::string InstanceProblem(const std::string& what, const std::string& path) {
    return what + "(File=" + path + ")";
}

}  // namespace

// The marker is an exclusive lock on a file named after the marker's name, in the
// user's runtime folder (or in /tmp with the user id in the name). The lock goes away
// with the process, so a crashed copy never blocks the next start. In /tmp anyone may
// make the file first: a link, a file of another user or one that others may write is not
// trusted, and a lock that cannot be checked never counts as "no other copy".
MInstanceResult MSingleInstance::Create(const char* name, std::string* problem) {
    Close();
    std::string path;
    const char* runtimeDir = getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] != '\0') {
        path = std::string(runtimeDir) + "/" + name + ".lock";
    } else {
        path = std::string("/tmp/") + name + "-" + std::to_string(getuid()) + ".lock";
    }
    int file = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (file < 0) {
        *problem = InstanceProblem(
            errno == ELOOP ? "ロックファイルがシンボリックリンクです。"
                           : std::string("ロックファイルを開けません。") + strerror(errno) + " ",
            path);
        return M_INSTANCE_UNCHECKED;
    }
    struct stat info;
    const char* distrust = nullptr;
    if (fstat(file, &info) != 0) {
        distrust = "ロックファイルの状態を調べられません。";
    } else if (!S_ISREG(info.st_mode)) {
        distrust = "ロックファイルが通常のファイルではありません。";
    } else if (info.st_uid != geteuid()) {
        distrust = "ロックファイルの所有者が別のユーザーです。";
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        distrust = "ロックファイルに他のユーザーが書き込めます。";
    }
    if (distrust != nullptr) {
        close(file);
        *problem = InstanceProblem(distrust, path);
        return M_INSTANCE_UNCHECKED;
    }
    m_marker = file;
    if (flock(m_marker, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        Close();
        if (error == EWOULDBLOCK) {
            return M_INSTANCE_RUNNING;
        }
        *problem = InstanceProblem(
            std::string("ロックファイルをロックできません。") + strerror(error) + " ", path);
        return M_INSTANCE_UNCHECKED;
    }
    return M_INSTANCE_CREATED;
}

MInstanceResult MSingleInstance::CreateForFolder(const char* folder, std::string* problem) {
    Close();
    int file = open(folder, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        *problem =
            std::string("データフォルダを開けません。") + strerror(errno) + " (Dir=" + folder + ")";
        return M_INSTANCE_UNCHECKED;
    }
    if (flock(file, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(file);
        if (error == EWOULDBLOCK) {
            return M_INSTANCE_RUNNING;
        }
        *problem = std::string("データフォルダをロックできません。") + strerror(error) +
                   " (Dir=" + folder + ")";
        return M_INSTANCE_UNCHECKED;
    }
    m_marker = file;
    return M_INSTANCE_CREATED;
}

void MSingleInstance::Close() {
    if (m_marker >= 0) {
        close(m_marker);
        m_marker = -1;
    }
}

// ---- The console edition's message loop ----

namespace {

struct PostedMessage {
    HWND window;
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
};

struct Timer {
    HWND window;
    uintptr_t id;
    std::chrono::milliseconds period;
    std::chrono::steady_clock::time_point due;
};

struct MessageQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<PostedMessage> messages;
    std::vector<Timer> timers;
    bool quit = false;
    int exitCode = 0;
};

MessageQueue& Queue() {
    static MessageQueue* queue = new MessageQueue;  // outlives every thread that posts
    return *queue;
}

}  // namespace

bool MPostMessage(HWND window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (window == nullptr) {
        return false;
    }
    MessageQueue& queue = Queue();
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.messages.push_back(PostedMessage{window, message, wParam, lParam});
    }
    queue.changed.notify_one();
    return true;
}

bool MSetTimer(HWND window, uintptr_t id, unsigned milliseconds) {
    if (window == nullptr) {
        return false;
    }
    MessageQueue& queue = Queue();
    std::lock_guard<std::mutex> hold(queue.lock);
    std::chrono::milliseconds period(milliseconds);
    Timer timer{window, id, period, std::chrono::steady_clock::now() + period};
    for (Timer& existing : queue.timers) {
        if (existing.window == window && existing.id == id) {
            existing = timer;
            queue.changed.notify_one();
            return true;
        }
    }
    queue.timers.push_back(timer);
    queue.changed.notify_one();
    return true;
}

bool MKillTimer(HWND window, uintptr_t id) {
    MessageQueue& queue = Queue();
    std::lock_guard<std::mutex> hold(queue.lock);
    for (size_t i = 0; i < queue.timers.size(); i++) {
        if (queue.timers[i].window == window && queue.timers[i].id == id) {
            queue.timers.erase(queue.timers.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

void MPostQuitMessage(int exitCode) {
    MessageQueue& queue = Queue();
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.quit = true;
        queue.exitCode = exitCode;
    }
    queue.changed.notify_one();
}

void MForgetWindow(HWND window) {
    MessageQueue& queue = Queue();
    std::lock_guard<std::mutex> hold(queue.lock);
    for (size_t i = queue.messages.size(); i-- > 0;) {
        if (queue.messages[i].window == window) {
            queue.messages.erase(queue.messages.begin() + static_cast<long>(i));
        }
    }
    for (size_t i = queue.timers.size(); i-- > 0;) {
        if (queue.timers[i].window == window) {
            queue.timers.erase(queue.timers.begin() + static_cast<long>(i));
        }
    }
}

// Like GetMessage: posted messages first, in order; a due timer gives one WM_TIMER and
// is due again a period later; the quit request ends the loop once nothing is posted.
int MRunMessageLoop() {
    MessageQueue& queue = Queue();
    for (;;) {
        PostedMessage next;
        {
            std::unique_lock<std::mutex> hold(queue.lock);
            for (;;) {
                if (!queue.messages.empty()) {
                    next = queue.messages.front();
                    queue.messages.pop_front();
                    break;
                }
                if (queue.quit) {
                    queue.quit = false;
                    return queue.exitCode;
                }
                auto now = std::chrono::steady_clock::now();
                Timer* soonest = nullptr;
                for (Timer& timer : queue.timers) {
                    if (soonest == nullptr || timer.due < soonest->due) {
                        soonest = &timer;
                    }
                }
                if (soonest != nullptr && soonest->due <= now) {
                    soonest->due = now + soonest->period;
                    next = PostedMessage{soonest->window, WM_TIMER, soonest->id, 0};
                    break;
                }
                if (soonest != nullptr) {
                    queue.changed.wait_until(hold, soonest->due);
                } else {
                    queue.changed.wait(hold);
                }
            }
        }
        next.window->HandleMessage(next.message, next.wParam, next.lParam);
    }
}

// ---- Signals ----

namespace {

std::mutex g_signalLock;
HWND g_signalWindow = nullptr;
MSignalMessages g_signalMessages = {};
// Signals that came while no window was set (the start-up), delivered once one is: a stop
// first, then one of each other kind, as they coalesce anyway. A plain array: the detached
// signal thread may still write here while the process's exit destroys its objects.
int g_pendingSignals[5];
size_t g_pendingCount = 0;

sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) {
        sigaddset(&set, signal);
    }
    return set;
}

unsigned MessageFor(int signal) {
    switch (signal) {
        case SIGINT:
            return g_signalMessages.interrupt;
        case SIGTERM:
            return g_signalMessages.terminate;
        case SIGHUP:
            return g_signalMessages.hangup;
        case SIGUSR1:
            return g_signalMessages.user1;
        case SIGUSR2:
            return g_signalMessages.user2;
        default:
            return 0;
    }
}

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// Posts the message unless the same one still waits in the queue: a storm of one signal
// leaves one reload or one check pending, not a queue that grows without end and that
// a stop would wait behind.
void PostOnce(HWND window, unsigned message) {
    MessageQueue& queue = Queue();
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        for (const PostedMessage& waiting : queue.messages) {
            if (waiting.window == window && waiting.message == message) {
                return;
            }
        }
        queue.messages.push_back(PostedMessage{window, message, 0, 0});
    }
    queue.changed.notify_one();
}

// Under g_signalLock.
void Deliver(int signal) {
    if (g_signalWindow == nullptr) {
        int* end = g_pendingSignals + g_pendingCount;
        if (std::find(g_pendingSignals, end, signal) == end &&
            g_pendingCount < sizeof g_pendingSignals / sizeof g_pendingSignals[0]) {
            g_pendingSignals[g_pendingCount++] = signal;
        }
        return;
    }
    unsigned message = MessageFor(signal);
    if (message != 0) {
        PostOnce(g_signalWindow, message);
    }
}

// The system hands out the lowest-numbered pending signal first, and SIGHUP and SIGUSR1
// come before SIGTERM: under a storm of either a stop would wait for the storm's end.
// So a pending SIGINT or SIGTERM is taken out of turn, before the signal just taken.
void* WaitForSignals(void*) {
    sigset_t set = HandledSignals();
    sigset_t stops = StopSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) {
            continue;
        }
        int stop = 0;
        sigset_t pending;
        if (signal != SIGINT && signal != SIGTERM && sigpending(&pending) == 0 &&
            (sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1) &&
            sigwait(&stops, &stop) != 0) {
            stop = 0;
        }
        std::lock_guard<std::mutex> hold(g_signalLock);
        if (stop != 0) {
            Deliver(stop);
        }
        Deliver(signal);
    }
    return nullptr;
}

}  // namespace

bool MBlockSignals() {
    sigset_t set = HandledSignals();
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

bool MStartSignalThread() {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int failed = pthread_create(&thread, &attributes, WaitForSignals, nullptr);
    pthread_attr_destroy(&attributes);
    if (failed != 0) {
        errno = failed;
        return false;
    }
    return true;
}

void MCatchSignals(HWND window, const MSignalMessages& messages) {
    std::lock_guard<std::mutex> hold(g_signalLock);
    g_signalWindow = window;
    g_signalMessages = messages;
    if (window != nullptr && g_pendingCount != 0) {
        int* end = g_pendingSignals + g_pendingCount;
        std::stable_partition(g_pendingSignals, end,
                              [](int signal) { return signal == SIGINT || signal == SIGTERM; });
        size_t count = g_pendingCount;
        g_pendingCount = 0;
        for (size_t i = 0; i < count; i++) {
            Deliver(g_pendingSignals[i]);
        }
    }
}

// ---- Formatting ----

// The C library here reads %I64u as a flag and a width, so the Windows directive is
// rewritten as %llu first. Formats are short; one longer than the local buffer is
// used as it stands.
int MVFormat(char* buffer, size_t size, const char* format, va_list arguments) {
    char translated[1024];
    size_t out = 0;
    const char* p = format;
    while (*p != '\0' && out + 3 < sizeof translated) {
        if (*p != '%') {
            translated[out++] = *p++;
            continue;
        }
        translated[out++] = *p++;
        if (*p == '%') {
            translated[out++] = *p++;
            continue;
        }
        while (*p != '\0' && strchr("-+ #0123456789.", *p) != nullptr &&
               out + 3 < sizeof translated) {
            translated[out++] = *p++;
        }
        if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            translated[out++] = 'l';
            translated[out++] = 'l';
            p += 3;
        }
    }
    if (*p != '\0') {
        return vsnprintf(buffer, size, format, arguments);
    }
    translated[out] = '\0';
    return vsnprintf(buffer, size, translated, arguments);
}

bool MInitCommonControls() {
    return true;
}

// Sockets need no start-up here; a peer that goes away must fail a send, not kill the
// process, so SIGPIPE is ignored.
int MStartupNetwork() {
    signal(SIGPIPE, SIG_IGN);
    return 0;
}

int MCleanupNetwork() {
    return 0;
}

int MCloseSocket(MSocket socket) {
    return close(socket);
}
