// The application object of the network and cycle tests.
#include "tests/support/app_fixture.h"

#include <gtest/gtest.h>

#include <atomic>

#include "mlib/mdisk.h"
#include "mlib/mevent.h"
#include "mlib/msocket.h"
#include "monitor/messages.h"
#include "net/query_client.h"
#include "net/server.h"
#include "net/start_block.h"
#include "tests/support/message_sink.h"

TestApp::TestApp() : app(NULL, nullptr, 0), m_previous(theApp), m_serverStarted(false) {
    MStartupNetwork();
    theApp = &app;
    app.InitializeLocks();
    app.OpenLog(dir.File("fsw.log").c_str(), LOG_OVERWRITE);
    app.m_notify = 1;
    app.m_interval = 10;
}

TestApp::~TestApp() {
    if (m_serverStarted) {
        StopServer();
    }
    WaitForQueries(30000);
    {
        MLockGuard hold(app.m_queryCountLock);  // the last query thread has let go of it
    }
    app.CloseLog();
    app.DeleteLocks();
    theApp = m_previous;
    MCleanupNetwork();
}

uint16_t TestApp::StartServer(uint16_t port, GrowthSource* growth) {
    app.m_serverPort = port;
    SetServerGrowthSource(growth);
    if (!m_server.Start(ServerThread)) {
        return 0;
    }
    m_serverStarted = true;
    if (!WaitForServerListening(m_server, 10000)) {
        return 0;
    }
    return MGetLocalPort(app.m_listenSocket.handle);
}

void TestApp::StopServer() {
    app.StopServer();
    m_server.Wait();
    m_server.CloseHandle();
    m_serverStarted = false;
}

void TestApp::RestartLog() {
    app.OpenLog(dir.File("fsw.log").c_str(), LOG_OVERWRITE);
}

std::vector<std::string> TestApp::LogMessages() const {
    std::vector<std::string> messages;
    for (const std::string& line : SplitLines(ReadFileBytes(dir.File("fsw.log")))) {
        size_t secondTab = line.find('\t', line.find('\t') + 1);
        messages.push_back(secondTab == std::string::npos ? "" : line.substr(secondTab + 1));
    }
    return messages;
}

size_t TestApp::LogCount(const std::string& message) const {
    size_t count = 0;
    for (const std::string& line : LogMessages()) {
        count += line == message ? 1 : 0;
    }
    return count;
}

bool TestApp::WaitForQueries(unsigned milliseconds) {
    return WaitUntil([&] { return app.m_queryThreadCount == 0; }, milliseconds);
}

std::vector<CheckResult> RunQueries(TestApp* t, MessageSink* sink,
                                    const std::vector<HostEntry>& rows, size_t which) {
    Kiv& app = t->app;
    app.m_hosts = rows;
    app.m_results.clear();
    MEvent wake;
    EXPECT_TRUE(wake.Create());
    ThreadStartBlock block;
    ResetStartBlock(&block, &wake);
    block.host = &app.m_hosts[which];
    block.window = sink->Handle();
    block.doneMessage = WM_APP_CYCLE_DONE;
    size_t posted = sink->Count(WM_APP_CYCLE_DONE);
    app.m_queryThreadCount = 1;
    EXPECT_TRUE(MBeginThread(QueryThread, &block));
    WaitStarted(&block);
    EXPECT_TRUE(block.started);
    EXPECT_TRUE(sink->WaitFor(WM_APP_CYCLE_DONE, posted + 1, 30000));
    EXPECT_TRUE(t->WaitForQueries(1000));
    MLockGuard hold(app.m_resultLock);
    return app.m_results;
}

CheckResult RunQuery(TestApp* t, MessageSink* sink, const HostEntry& target) {
    std::vector<CheckResult> results = RunQueries(t, sink, {target}, 0);
    EXPECT_EQ(1u, results.size());
    return results.empty() ? CheckResult() : results[0];
}

HostEntry LocalTarget(uint16_t port, const char* path, uint32_t threshold, uint32_t unit,
                      const char* description) {
    HostEntry entry = NewHostEntry();
    CopyField(entry.host, sizeof entry.host, "127.0.0.1");
    entry.port = port;
    CopyField(entry.path, sizeof entry.path, path);
    entry.threshold = threshold;
    entry.unit = unit;
    CopyField(entry.description, sizeof entry.description, description);
    return entry;
}

namespace {

std::atomic<int> g_measurements{0};

bool CountMeasurement(const char* path, uint64_t* freeBytes, uint64_t* totalBytes) {
    g_measurements++;
    return MMeasureVolume(path, freeBytes, totalBytes);
}

}  // namespace

MeasureRecorder::MeasureRecorder() {
    g_measurements = 0;
    MSetDiskFreeSpaceHook(CountMeasurement);
}

MeasureRecorder::~MeasureRecorder() {
    MSetDiskFreeSpaceHook(nullptr);
}

int MeasureRecorder::Count() const {
    return g_measurements;
}
