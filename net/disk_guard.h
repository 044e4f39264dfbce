// Measurements of paths that cannot hold the disk server for ever. Each runs on the
// thread of the handler that asked, under a deadline. When it overruns, the watch
// answers that handler's connection in its place, and the thread, left inside the file
// system, is no handler any more: it ends by itself once the system returns. A request
// for a path that is being measured waits for that measurement instead of starting
// another, so a hung path holds at most one thread in the file system.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/fsw_socket.h"

// How long a handler waits for a measurement.
const unsigned MEASURE_TIMEOUT_MS = 5000;
// How long a measurement may take once the server stops.
const unsigned STOP_MEASURE_MS = 200;
// Measurements that overran and have not returned; past this, requests are refused.
const int MAX_STUCK_MEASUREMENTS = 16;
// Handlers measuring or waiting for one path; past this, requests for it are refused.
const int MAX_HANDLERS_PER_PATH = 16;

enum MeasureOutcome {
    MEASURE_OK,         // the sizes
    MEASURE_FAILED,     // the system could not measure the path
    MEASURE_TIMED_OUT,  // no result in time; the caller answers its connection
    // No result in time, and the watch has answered and closed the caller's connection
    // and let the caller go: its thread must end at once, touching nothing of the server.
    MEASURE_ABANDONED,
    MEASURE_PATH_STUCK,      // an earlier measurement of the path overran and still runs
    MEASURE_PATH_BUSY,       // MAX_HANDLERS_PER_PATH handlers are at the path already
    MEASURE_TOO_MANY_STUCK,  // MAX_STUCK_MEASUREMENTS overran and still run
};

// Run by the watch, on its own thread, for a handler whose measurement overran: answers
// the connection, deletes it and releases the handler's place in the server.
typedef void (*OverrunHandler)(void* context, FswSocket* connection, const std::string& path);

class DiskGuard {
public:
    DiskGuard();
    DiskGuard(const DiskGuard&) = delete;
    DiskGuard& operator=(const DiskGuard&) = delete;

    // Starts the watch, which hands overrun measurements to the handler until StopWatch.
    // Without a watch a measurement is waited for without limit by the thread that runs it.
    void StartWatch(OverrunHandler overrun, void* context);
    // Ends the watch; no measurement that it should answer may be running then.
    void StopWatch();

    // Measures path on the calling thread, or waits for the measurement of the same path
    // that another handler runs; at most MEASURE_TIMEOUT_MS either way. connection is
    // the caller's, which the watch answers if the caller's own measurement overruns; null
    // for a measurement whose waiter keeps a deadline of its own (a volume list's).
    MeasureOutcome Measure(const std::string& path, FswSocket* connection, uint64_t* freeBytes,
                           uint64_t* totalBytes);

    // From now until the next StartWatch, measurements, running ones too, get at most
    // STOP_MEASURE_MS: the stop of the server wants their connections answered at once
    // rather than after the time-out.
    void Hurry();

    // Measurements that overran and have not returned.
    int StuckCount();

private:
    typedef std::chrono::steady_clock Clock;
    enum State { RUNNING, DONE, ABANDONED };
    // Shared by the thread that measures, those that wait for it and the watch; the last
    // of them frees it, so a thread that returns late from the file system finds it.
    struct Measurement {
        std::string path;
        Clock::time_point deadline;
        FswSocket* connection;  // of the thread that measures
        int handlers;           // measuring or waiting
        State state;
        bool measured;
        uint64_t freeBytes;
        uint64_t totalBytes;
        std::condition_variable finished;
    };

    MeasureOutcome WaitFor(std::unique_lock<std::mutex>& hold,
                           const std::shared_ptr<Measurement>& running, uint64_t* freeBytes,
                           uint64_t* totalBytes);
    void Forget(const std::shared_ptr<Measurement>& measurement);
    void Watch();

    std::mutex m_lock;
    std::vector<std::shared_ptr<Measurement>> m_measurements;  // running, or overran
    int m_stuck;
    std::thread m_watch;
    std::condition_variable m_watchWake;
    bool m_watchStop;
    bool m_watchIdle;  // sleeping until woken: a new measurement must wake it
    bool m_hurry;      // the stop came: measurements get STOP_MEASURE_MS
    Clock::time_point m_lastStart;
    OverrunHandler m_overrun;
    void* m_overrunContext;
};

// The one guard of the process. It is never destroyed: threads left in a file system
// may return to it at any time, even after the server has stopped.
DiskGuard& TheDiskGuard();
