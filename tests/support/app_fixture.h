// An application object for tests of the network and the check cycles: its locks
// initialised, its log in a temporary folder, the network layer started, and installed
// as theApp for the fixture's life. It can run the real disk server on an ephemeral
// port of 127.0.0.1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/kiv.h"
#include "monitor/main_window.h"
#include "mlib/mthread.h"
#include "tests/support/test_support.h"

class GrowthSource;

class TestApp {
public:
    TestApp();
    ~TestApp();  // stops a running server and waits for every worker thread
    TestApp(const TestApp&) = delete;
    TestApp& operator=(const TestApp&) = delete;

    // Starts ServerThread on the port (an ephemeral one for 0), answering growth requests
    // from growth (none when null); the port once it listens, 0 if it does not.
    uint16_t StartServer(uint16_t port = 0, GrowthSource* growth = nullptr);
    // StopServer and the wait for the listener.
    void StopServer();
    bool ServerRunning() const { return m_serverStarted; }

    // Empties the log, so that it holds only what follows.
    void RestartLog();
    // The messages of the log lines written so far (time and module cut off).
    std::vector<std::string> LogMessages() const;
    // How many log lines carry exactly this message.
    size_t LogCount(const std::string& message) const;
    // Waits until no query thread runs; false if they did not end in time.
    bool WaitForQueries(unsigned milliseconds);

    TempDir dir;
    Kiv app;

private:
    Kiv* m_previous;
    MThread m_server;
    bool m_serverStarted;
};

// While it lives, every measurement of the disk seam is counted and then made by the
// system as usual.
class MeasureRecorder {
public:
    MeasureRecorder();
    ~MeasureRecorder();
    MeasureRecorder(const MeasureRecorder&) = delete;
    MeasureRecorder& operator=(const MeasureRecorder&) = delete;

    int Count() const;
};

class MessageSink;

// Runs one query thread for the target as a cycle start would, waits until it has
// posted the end of the cycle to the sink, and returns the one result it stored.
CheckResult RunQuery(TestApp* t, MessageSink* sink, const HostEntry& target);
// The results of the query thread of rows[which], with rows as the host list.
std::vector<CheckResult> RunQueries(TestApp* t, MessageSink* sink,
                                    const std::vector<HostEntry>& rows, size_t which);

// A check target on 127.0.0.1.
HostEntry LocalTarget(uint16_t port, const char* path, uint32_t threshold, uint32_t unit,
                      const char* description = "");
