// The notification command's runs.
#include "monitor/notifier.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "mlib/mlogtext.h"
#include "mlib/msys.h"

struct Notifier::Shared {
    MLogSink* log = nullptr;        // set once, before any thread shares it
    std::mutex lock;                // everything below; the log lock nests inside it
    std::condition_variable ended;  // running has become false
    unsigned timeoutMs;
    bool stopped = false;
    std::atomic<bool> stopping{false};  // read by the running command's wait
    bool running = false;
    std::string command;  // the latest NOTIFYCMD, for a held run
    NotifiedState base;   // the last notification started
    NotifyJob current;    // handed to the thread that runs it
    std::unique_ptr<NotifyJob> held;
};

namespace {

// The first line of the output as the end of one line of the log, after a space, escaped as
// any outside text in the log is.
std::string LogLine(const std::string& text) {
    return text.empty() ? "" : " " + MEscapeForLog(text);
}

void LogStart(MLogSink& log, const NotifyJob& job) {
    log.Write("通知コマンドを実行します。(FSW_EVENT=%s)", NotifyEventName(job.event));
}

void LogCommandEnd(MLogSink& log, const MCommandResult& result, unsigned timeoutMs) {
    switch (result.state) {
        case M_COMMAND_EXITED:
            log.Write("通知コマンドが終了しました。(終了コード=%d)%s", result.exitCode,
                      LogLine(result.firstLine).c_str());
            break;
        case M_COMMAND_TIMED_OUT:
            log.Write("通知コマンドが%u秒で終わらないため終了させました。%s", timeoutMs / 1000,
                      LogLine(result.firstLine).c_str());
            break;
        case M_COMMAND_STOPPED:  // the stop has said so
            break;
        case M_COMMAND_NOT_STARTED:
            log.Write("通知コマンドを実行できません。(%s)", result.error.c_str());
            break;
    }
}

}  // namespace

// Runs the current job, then the held ones, until none is left or the stop came.
void Notifier::RunJobs(void* raw) {
    auto* argument = static_cast<std::shared_ptr<Shared>*>(raw);
    std::shared_ptr<Shared> shared = *argument;
    delete argument;
    std::unique_lock<std::mutex> hold(shared->lock);
    for (;;) {
        NotifyJob job = std::move(shared->current);
        unsigned timeoutMs = shared->timeoutMs;
        hold.unlock();
        MCommandResult result =
            MRunCommand(job.command, job.environment, job.input, timeoutMs, &shared->stopping);
        hold.lock();
        if (shared->stopped) {
            shared->running = false;
            shared->ended.notify_all();
            return;
        }
        LogCommandEnd(*shared->log, result, timeoutMs);
        // A held run goes with the command as it is now: a reload may have changed or
        // emptied it meanwhile.
        if (shared->held && shared->command.empty()) {
            shared->held.reset();
        }
        if (!shared->held) {
            shared->running = false;
            shared->ended.notify_all();
            return;
        }
        shared->current = std::move(*shared->held);
        shared->held.reset();
        shared->current.command = shared->command;
        shared->base = shared->current.next;
        LogStart(*shared->log, shared->current);
    }
}

Notifier::Notifier(MLogSink& log, unsigned timeoutMs) : m_shared(std::make_shared<Shared>()) {
    m_shared->log = &log;
    m_shared->timeoutMs = timeoutMs;
}

Notifier::~Notifier() {
    Stop();
}

void Notifier::AfterCycle(const std::string& command, const std::vector<TargetGrade>& grades,
                          int64_t now, uint32_t renotifyMinutes, const Builder& build) {
    std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->command = command;
    if (command.empty()) {
        m_shared->base = NotifiedState();
        m_shared->held.reset();
        return;
    }
    NotifyDecision decision = DecideNotification(m_shared->base, grades, now, renotifyMinutes);
    if (decision.event == NOTIFY_NOTHING) {
        // The latest state needs no notification: what was held is no longer due.
        m_shared->base = decision.next;
        m_shared->held.reset();
        return;
    }
    NotifyJob job = build(decision, m_shared->base);
    job.command = command;
    job.event = decision.event;
    job.next = decision.next;
    if (m_shared->running) {
        if (!m_shared->held) {
            m_shared->log->Write("通知コマンドの実行中のため、通知を保留します。");
        }
        m_shared->held.reset(new NotifyJob(std::move(job)));
        return;
    }
    m_shared->current = std::move(job);
    m_shared->running = true;
    auto* argument = new std::shared_ptr<Shared>(m_shared);
    if (!MBeginThread(RunJobs, argument)) {
        delete argument;
        m_shared->running = false;
        m_shared->log->Write("通知コマンドのスレッドを開始できません");
        return;  // not remembered: the next cycle tries again
    }
    m_shared->base = m_shared->current.next;
    LogStart(*m_shared->log, m_shared->current);
}

// The running thread keeps the old state: it ends the command and then itself without a
// word, waited for a bounded moment. A main window created again starts with a new state,
// as after a restart.
void Notifier::Stop() {
    auto fresh = std::make_shared<Shared>();
    std::unique_lock<std::mutex> hold(m_shared->lock);
    m_shared->stopped = true;
    m_shared->stopping = true;
    m_shared->held.reset();
    if (m_shared->running) {
        m_shared->log->Write("実行中の通知コマンドを終了させます。");
        std::shared_ptr<Shared> old = m_shared;
        old->ended.wait_for(hold, std::chrono::milliseconds(NOTIFY_STOP_WAIT_MS),
                            [&] { return !old->running; });
    }
    fresh->log = m_shared->log;
    fresh->timeoutMs = m_shared->timeoutMs;
    m_shared.swap(fresh);
}

void Notifier::SetCommand(const std::string& command) {
    std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->command = command;
}

void Notifier::SetTimeout(unsigned timeoutMs) {
    std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->timeoutMs = timeoutMs;
}

bool Notifier::Running() const {
    std::lock_guard<std::mutex> hold(m_shared->lock);
    return m_shared->running;
}
