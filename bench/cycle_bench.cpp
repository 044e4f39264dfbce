// A check cycle of 10 targets against the local server: how long the cycle start holds
// its thread (the user-interface thread of the program) and how long from the start to
// the end of the summary. Prints the median, the 99th percentile and the worst of
// repeated cycles. Then cycles of 100 rows against 10 local servers, each with one slow
// path: the cycle's time, and the peak of the query threads and of the process's threads.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "monitor/check_cycle.h"
#include "monitor/messages.h"
#include "net/cycle_queue.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"
#include "tests/support/message_sink.h"

namespace {

typedef std::chrono::steady_clock Clock;

// A view that shows nothing and notes when the summary has ended.
class BenchView : public CheckCycle {
public:
    explicit BenchView(MessageSink* sink) : m_sink(sink) {
        sink->onMessage = [this](unsigned message) {
            if (message == WM_APP_CYCLE_DONE) {
                OnCycleDone();
                summaryEnd = Clock::now();
            }
        };
    }
    Clock::time_point summaryEnd;

protected:
    HWND OwnWindow() override { return m_sink->Handle(); }
    void SetTrayTip(const char*) override {}
    void RestoreTrayTip() override {}
    void ShowBalloon(const char*, const char*, unsigned) override {}
    void UpdateStatusList(const std::vector<CheckResult>&) override {}
    void ShowStatusWindow() override {}

private:
    MessageSink* m_sink;
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Print(const char* what, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    printf("%-28s %9.3f %9.3f %9.3f\n", what, values[n / 2],
           values[static_cast<size_t>(0.99 * static_cast<double>(n - 1))], values.back());
}

// The process's threads now, from /proc (Linux); -1 where there is none.
int ProcessThreads() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "Threads:") {
            int threads = -1;
            status >> threads;
            return threads;
        }
    }
    return -1;
}

const unsigned SLOW_PATH_MS = 2000;

// Cycles of 100 rows, 10 to each of 10 servers; the first row of each server asks for
// its slow path, answered after SLOW_PATH_MS. The servers' own connection threads count
// in the process's threads too (at most one a query in flight).
int HundredRows(TestApp* t, BenchView* view, MessageSink* sink, int cycles) {
    std::vector<std::unique_ptr<SlowServer>> servers;
    t->app.m_hosts.clear();
    for (int s = 0; s < 10; s++) {
        servers.emplace_back(new SlowServer(SLOW_PATH_MS, "/slow"));
        for (int r = 0; r < 10; r++) {
            std::string path = r == 0 ? "/slow" : "/fast" + std::to_string(r);
            t->app.m_hosts.push_back(
                LocalTarget(servers.back()->Port(), path.c_str(), 10, UNIT_PERCENT));
        }
    }
    int before = ProcessThreads();
    std::vector<double> total;
    int peakQueries = 0;
    int peakThreads = 0;
    for (int i = 0; i < cycles; i++) {
        size_t done = sink->Count(WM_APP_CYCLE_DONE);
        Clock::time_point start = Clock::now();
        view->StartCheck(TIMER_CHECK);
        Clock::time_point end = start + std::chrono::seconds(60);
        while (!sink->WaitFor(WM_APP_CYCLE_DONE, done + 1, 5)) {
            peakQueries = std::max(peakQueries, static_cast<int>(t->app.m_queryThreadCount));
            peakThreads = std::max(peakThreads, ProcessThreads());
            if (Clock::now() > end) {
                fprintf(stderr, "a cycle of 100 rows did not end\n");
                return 1;
            }
        }
        if (t->app.m_results.size() != 100) {
            fprintf(stderr, "a cycle of 100 rows stored %zu results\n", t->app.m_results.size());
            return 1;
        }
        total.push_back(Ms(view->summaryEnd - start));
    }
    printf("\nCycles of 100 rows against 10 local servers, one path of each answered after "
           "%u ms, %d cycles (ms)\n",
           SLOW_PATH_MS, cycles);
    printf("%-28s %9s %9s %9s\n", "", "median", "p99", "worst");
    Print("start to end of summary", total);
    printf("peak query threads           %9d (bound %u)\n", peakQueries, CYCLE_QUERY_THREADS);
    printf("peak process threads         %9d (%d before the cycles)\n", peakThreads, before);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int cycles = argc > 1 ? atoi(argv[1]) : 200;
    TestApp t;
    uint16_t port = t.StartServer();
    if (port == 0 || cycles < 1) {
        fprintf(stderr, "the server did not start\n");
        return 1;
    }
    for (int i = 0; i < 10; i++) {
        t.app.m_hosts.push_back(LocalTarget(port, t.dir.Path().c_str(), 10, UNIT_PERCENT));
    }
    MessageSink sink;
    BenchView view(&sink);
    std::vector<double> held;
    std::vector<double> total;
    for (int i = 0; i < cycles; i++) {
        Clock::time_point start = Clock::now();
        view.StartCheck(TIMER_CHECK);
        Clock::time_point started = Clock::now();
        if (!sink.WaitFor(WM_APP_CYCLE_DONE, static_cast<size_t>(i) + 1, 30000)) {
            fprintf(stderr, "cycle %d did not end\n", i);
            return 1;
        }
        if (t.app.m_results.size() != 10) {
            fprintf(stderr, "cycle %d stored %zu results\n", i, t.app.m_results.size());
            return 1;
        }
        held.push_back(Ms(started - start));
        total.push_back(Ms(view.summaryEnd - start));
    }
    printf("Check cycles of 10 targets on the local server, %d cycles (ms)\n", cycles);
    printf("%-28s %9s %9s %9s\n", "", "median", "p99", "worst");
    Print("start holds its thread", held);
    Print("start to end of summary", total);
    return HundredRows(&t, &view, &sink, argc > 2 ? atoi(argv[2]) : 5);
}
