// Load on the disk server: N clients in closed loop on 127.0.0.1, each connecting,
// asking for one path and reading the reply, for a fixed time. Prints queries per
// second and the 50th and 99th percentile of the latency for N = 1, 8 and 64.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "mlib/msocket.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"

namespace {

typedef std::chrono::steady_clock Clock;

struct Outcome {
    std::vector<double> latencies;  // microseconds of each answered query
    unsigned failures = 0;
};

// One client: queries until the deadline, one connection per query as the protocol has it.
void Client(uint16_t port, const std::string& request, Clock::time_point deadline,
            Outcome* outcome) {
    char reply[28];
    while (Clock::now() < deadline) {
        Clock::time_point start = Clock::now();
        FswSocket socket;
        bool ok = ConnectLocal(&socket, port) &&
                  socket.SendAll(request.data(), static_cast<int>(request.size())) ==
                      static_cast<int>(request.size()) &&
                  socket.RecvAll(reply, sizeof reply) == static_cast<int>(sizeof reply) &&
                  reply[6] == 1 && reply[7] == 0;  // STATUS_OK
        if (socket.handle != M_INVALID_SOCKET) {
            MShutdown(socket.handle, M_SD_BOTH);
        }
        socket.Close();
        if (ok) {
            outcome->latencies.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        } else {
            outcome->failures++;
        }
    }
}

double Percentile(std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) {
        return 0;
    }
    size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

void Run(uint16_t port, const std::string& request, int clients, double seconds) {
    std::vector<Outcome> outcomes(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    Clock::time_point start = Clock::now();
    Clock::time_point deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (int i = 0; i < clients; i++) {
        threads.emplace_back(Client, port, request, deadline, &outcomes[static_cast<size_t>(i)]);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    unsigned failures = 0;
    for (Outcome& outcome : outcomes) {
        all.insert(all.end(), outcome.latencies.begin(), outcome.latencies.end());
        failures += outcome.failures;
    }
    std::sort(all.begin(), all.end());
    printf("%7d %12.0f %10.0f %10.0f %10zu %9u\n", clients,
           static_cast<double>(all.size()) / elapsed, Percentile(all, 0.50), Percentile(all, 0.99),
           all.size(), failures);
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 5.0;
    TestApp t;
    uint16_t port = t.StartServer();
    if (port == 0) {
        fprintf(stderr, "the server did not start\n");
        return 1;
    }
    std::string path = t.dir.Path();
    std::string request = WireHeader(1825, 2, 1, 0, static_cast<uint32_t>(path.size())) + path;
    printf("Disk server under load: closed-loop clients on 127.0.0.1, %.0f s each,\n", seconds);
    printf("one connection per query, the server logging every answer.\n");
    printf("%7s %12s %10s %10s %10s %9s\n", "clients", "queries/s", "p50 us", "p99 us", "queries",
           "failures");
    for (int clients : {1, 8, 64}) {
        Run(port, request, clients, seconds);
    }
    return 0;
}
