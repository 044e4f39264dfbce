// Measurements under a deadline.
#include "net/disk_guard.h"

#include <algorithm>

#include "mlib/mdisk.h"

DiskGuard::DiskGuard()
    : m_stuck(0),
      m_watchStop(false),
      m_watchIdle(false),
      m_hurry(false),
      m_overrun(nullptr),
      m_overrunContext(nullptr) {}

DiskGuard& TheDiskGuard() {
    static DiskGuard* guard = new DiskGuard;
    return *guard;
}

void DiskGuard::StartWatch(OverrunHandler overrun, void* context) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_overrun = overrun;
    m_overrunContext = context;
    m_watchStop = false;
    m_hurry = false;
    m_watch = std::thread(&DiskGuard::Watch, this);
}

void DiskGuard::StopWatch() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_watchStop = true;
    }
    m_watchWake.notify_all();
    if (m_watch.joinable()) {
        m_watch.join();
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_overrun = nullptr;
    m_overrunContext = nullptr;
}

MeasureOutcome DiskGuard::Measure(const std::string& path, FswSocket* connection,
                                  uint64_t* freeBytes, uint64_t* totalBytes) {
    std::unique_lock<std::mutex> hold(m_lock);
    for (const std::shared_ptr<Measurement>& running : m_measurements) {
        if (running->path == path) {
            return WaitFor(hold, running, freeBytes, totalBytes);
        }
    }
    if (m_stuck >= MAX_STUCK_MEASUREMENTS) {
        return MEASURE_TOO_MANY_STUCK;
    }
    std::shared_ptr<Measurement> own = std::make_shared<Measurement>();
    own->path = path;
    m_lastStart = Clock::now();
    own->deadline =
        m_lastStart + std::chrono::milliseconds(m_hurry ? STOP_MEASURE_MS : MEASURE_TIMEOUT_MS);
    own->connection = connection;
    own->handlers = 1;
    own->state = RUNNING;
    own->measured = false;
    own->freeBytes = 0;
    own->totalBytes = 0;
    m_measurements.push_back(own);
    if (m_watchIdle) {
        m_watchWake.notify_one();
    }
    hold.unlock();

    uint64_t measuredFree = 0;
    uint64_t measuredTotal = 0;
    bool measured = MGetDiskFreeSpace(own->path.c_str(), &measuredFree, &measuredTotal);

    hold.lock();
    Forget(own);
    if (own->state == ABANDONED) {
        m_stuck--;
        return MEASURE_ABANDONED;
    }
    own->state = DONE;
    own->measured = measured;
    own->freeBytes = measuredFree;
    own->totalBytes = measuredTotal;
    own->finished.notify_all();
    *freeBytes = measuredFree;
    *totalBytes = measuredTotal;
    return measured ? MEASURE_OK : MEASURE_FAILED;
}

// Another handler measures the path: its result is this handler's too, if it comes in
// time. A measurement that already overran is not waited for.
MeasureOutcome DiskGuard::WaitFor(std::unique_lock<std::mutex>& hold,
                                  const std::shared_ptr<Measurement>& running, uint64_t* freeBytes,
                                  uint64_t* totalBytes) {
    if (running->state == ABANDONED) {
        return MEASURE_PATH_STUCK;
    }
    if (running->handlers >= MAX_HANDLERS_PER_PATH) {
        return MEASURE_PATH_BUSY;
    }
    std::shared_ptr<Measurement> measurement = running;  // the list may drop it meanwhile
    measurement->handlers++;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(MEASURE_TIMEOUT_MS);
    measurement->finished.wait_until(hold, deadline, [&] { return measurement->state != RUNNING; });
    measurement->handlers--;
    if (measurement->state != DONE) {
        return MEASURE_TIMED_OUT;
    }
    *freeBytes = measurement->freeBytes;
    *totalBytes = measurement->totalBytes;
    return measurement->measured ? MEASURE_OK : MEASURE_FAILED;
}

void DiskGuard::Forget(const std::shared_ptr<Measurement>& measurement) {
    m_measurements.erase(std::remove(m_measurements.begin(), m_measurements.end(), measurement),
                         m_measurements.end());
}

void DiskGuard::Hurry() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_hurry = true;
        Clock::time_point soon = Clock::now() + std::chrono::milliseconds(STOP_MEASURE_MS);
        for (const std::shared_ptr<Measurement>& measurement : m_measurements) {
            if (measurement->state == RUNNING && measurement->deadline > soon) {
                measurement->deadline = soon;
            }
        }
    }
    m_watchWake.notify_all();
}

int DiskGuard::StuckCount() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_stuck;
}

// Sleeps until the next deadline. With nothing running it sleeps one time-out more
// after the last start, so that a busy server does not wake it at every request, and
// then until woken: an idle server has no thread that wakes.
void DiskGuard::Watch() {
    std::unique_lock<std::mutex> hold(m_lock);
    while (!m_watchStop) {
        Clock::time_point now = Clock::now();
        Clock::time_point next = Clock::time_point::max();
        std::vector<std::pair<FswSocket*, std::string>> overrun;
        for (const std::shared_ptr<Measurement>& measurement : m_measurements) {
            if (measurement->state != RUNNING) {
                continue;
            }
            if (measurement->deadline <= now) {
                measurement->state = ABANDONED;
                m_stuck++;
                measurement->finished.notify_all();
                if (measurement->connection != nullptr) {
                    overrun.emplace_back(measurement->connection, measurement->path);
                }
            } else {
                next = std::min(next, measurement->deadline);
            }
        }
        if (!overrun.empty()) {
            OverrunHandler handler = m_overrun;
            void* context = m_overrunContext;
            hold.unlock();
            for (const auto& entry : overrun) {
                handler(context, entry.first, entry.second);
            }
            hold.lock();
            continue;
        }
        Clock::time_point linger = m_lastStart + std::chrono::milliseconds(MEASURE_TIMEOUT_MS);
        if (next != Clock::time_point::max()) {
            m_watchWake.wait_until(hold, next);
        } else if (now < linger) {
            m_watchWake.wait_until(hold, linger);
        } else {
            m_watchIdle = true;
            m_watchWake.wait(hold);
            m_watchIdle = false;
        }
    }
}
