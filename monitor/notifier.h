// The runs of the notification command (NOTIFYCMD): off the user-interface thread, at most
// one at a time. A notification due while one runs is held, and a later one takes its
// place, so that what is sent when the running one ends tells the latest state, with the
// command as it is then. The stop ends a running command with its children.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mlib/mcommand.h"
#include "mlib/mlog_sink.h"
#include "monitor/notify_decision.h"

// A command still running after this long is ended with its children.
const unsigned NOTIFY_TIMEOUT_MS = 60000;
// How long the stop waits for a running command to be ended.
const unsigned NOTIFY_STOP_WAIT_MS = 2000;

// What one run of the command is given.
struct NotifyJob {
    std::string command;
    MEnvironment environment;
    std::string input;
    NotifyEvent event = NOTIFY_NOTHING;
    NotifiedState next;  // remembered as notified once the command starts
};

class Notifier {
public:
    // The runs and their ends are told to log.
    explicit Notifier(MLogSink& log, unsigned timeoutMs = NOTIFY_TIMEOUT_MS);
    ~Notifier();  // Stop
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    // Makes the job of a notification that is due from the decision and the last
    // notification started.
    typedef std::function<NotifyJob(const NotifyDecision& decision, const NotifiedState& last)>
        Builder;
    // The end of a cycle: decides against the last notification started; one that is due
    // starts the command, or is held while one runs; a held one no longer due is dropped.
    // An empty command is off: nothing is remembered, so that the first cycle after it is
    // set again is a first cycle.
    void AfterCycle(const std::string& command, const std::vector<TargetGrade>& grades, int64_t now,
                    uint32_t renotifyMinutes, const Builder& build);
    // A running command is ended with its children (waited for NOTIFY_STOP_WAIT_MS at
    // most) with a log line; what was held is dropped and what was notified forgotten.
    void Stop();
    // The command a held notification runs with, after a reload (empty: dropped).
    void SetCommand(const std::string& command);
    // The bound of a run, for the runs that start from now on.
    void SetTimeout(unsigned timeoutMs);
    // A command runs (for tests).
    bool Running() const;

    struct Shared;

private:
    static void RunJobs(void* shared);

    std::shared_ptr<Shared> m_shared;
};
