// A check cycle of 10 targets against the local server: how long the cycle start holds
// its thread (the user-interface thread of the program) and how long from the start to
// the end of the summary. Prints the median, the 99th percentile and the worst of
// repeated cycles.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "monitor/check_cycle.h"
#include "monitor/messages.h"
#include "tests/support/app_fixture.h"
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
    return 0;
}
