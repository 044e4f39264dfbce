// Load on the disk server: N clients in closed loop on loopback, each connecting,
// asking for one path and reading the reply, for a fixed time. The same load runs
// against a one-thread server that accepts, answers and closes (the least a server can
// do per query, with no time-outs, checks or handler threads), so that the figures
// compare with a baseline measured in the same run. Both with the log on and off;
// queries per second, the ratio to the baseline, and the 50th and 99th percentile of
// the latency for N = 1, 8 and 32. About 50 s in all. With "--scan DIR", instead, the cost
// of background folder scans to the server's queries per second.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/folder_scan.h"
#include "mlib/mdisk.h"
#include "mlib/msocket.h"
#include "net/protocol.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"

namespace {

typedef std::chrono::steady_clock Clock;

// Turns each server gets in one measurement.
const int TURNS = 10;

struct Outcome {
    std::vector<double> latencies;  // microseconds of each answered query
    unsigned failures = 0;
};

struct Figures {
    double perSecond;
    double p50;
    double p99;
    unsigned failures;
};

// One client: queries until the deadline, one connection per query as the protocol has it,
// from the source address given.
void Client(uint16_t port, const std::string& request, Clock::time_point deadline,
            std::string source, Outcome* outcome) {
    char reply[28];
    while (Clock::now() < deadline) {
        Clock::time_point start = Clock::now();
        FswSocket socket;
        bool ok = ConnectLocalFrom(&socket, port, source.c_str()) &&
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

// Runs the clients against the server for the given time, adding to outcomes.
double RunSlice(uint16_t port, const std::vector<std::string>& requests, double seconds,
                std::vector<Outcome>* outcomes) {
    std::vector<std::thread> threads;
    Clock::time_point start = Clock::now();
    Clock::time_point deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    // Eight clients to a source address and to a path, as eight machines' worth: more
    // would pass the share one peer gets, and the handlers one path may have at once.
    for (size_t i = 0; i < outcomes->size(); i++) {
        std::string source = "127.0.0." + std::to_string(1 + i / 8);
        threads.emplace_back(Client, port, requests[(i / 8) % requests.size()], deadline, source,
                             &(*outcomes)[i]);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

Figures Summarize(std::vector<Outcome>& outcomes, double elapsed) {
    std::vector<double> all;
    Figures figures = {0, 0, 0, 0};
    for (Outcome& outcome : outcomes) {
        all.insert(all.end(), outcome.latencies.begin(), outcome.latencies.end());
        figures.failures += outcome.failures;
    }
    std::sort(all.begin(), all.end());
    figures.perSecond = static_cast<double>(all.size()) / elapsed;
    figures.p50 = Percentile(all, 0.50);
    figures.p99 = Percentile(all, 0.99);
    return figures;
}

// The baseline: one thread that accepts a connection, reads the request, measures,
// logs the same line when asked to, answers and closes, then accepts the next.
class BaselineServer {
public:
    BaselineServer(Kiv* app, bool log) : m_app(app), m_log(log), m_stop(false), m_port(0) {
        if (!m_listener.Create(6)) {
            return;
        }
        memset(&m_listener.address, 0, sizeof m_listener.address);
        m_listener.address.v4.sin_family = AF_INET;
        m_listener.address.v4.sin_addr.s_addr = MInetAddr("127.0.0.1");
        if (MBind(m_listener.handle, &m_listener.address) != 0 ||
            MListen(m_listener.handle, 64) != 0) {
            return;
        }
        m_port = MGetLocalPort(m_listener.handle);
        m_thread = std::thread(&BaselineServer::Serve, this);
    }
    ~BaselineServer() {
        m_stop = true;
        MShutdown(m_listener.handle, M_SD_BOTH);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    uint16_t Port() const { return m_port; }

private:
    void Serve() {
        while (!m_stop) {
            FswSocket connection;
            connection.handle = MAccept(m_listener.handle, &connection.address);
            if (connection.handle == M_INVALID_SOCKET) {
                continue;
            }
            Answer(&connection);
            MShutdown(connection.handle, M_SD_BOTH);
        }
    }

    void Answer(FswSocket* connection) {
        char bytes[PACKET_HEADER_SIZE];
        if (connection->RecvAll(bytes, sizeof bytes) != PACKET_HEADER_SIZE) {
            return;
        }
        PacketHeader header;
        memcpy(&header, bytes, sizeof header);
        HeaderFromNet(&header);
        char path[MAX_REQUEST_PATH + 1];
        int wanted = static_cast<int>(std::min(header.length, MAX_REQUEST_PATH));
        if (connection->RecvAll(path, wanted) != wanted) {
            return;
        }
        path[wanted] = '\0';
        DiskInfo info = {0, 0};
        if (!MGetDiskFreeSpace(path, &info.freeBytes, &info.totalBytes)) {
            return;
        }
        if (m_log) {
            m_app->Log("[%s] 空き容量 %I64uバイト / 全体容量 %I64uバイト", path,
                       static_cast<unsigned long long>(info.freeBytes),
                       static_cast<unsigned long long>(info.totalBytes));
        }
        PacketHeader reply = {FSW_MAGIC, FSW_PROTOCOL_VERSION, TYPE_REPLY, STATUS_OK,
                              DISK_INFO_SIZE};
        HeaderToNet(&reply);
        U64ToNet(&info.freeBytes);
        U64ToNet(&info.totalBytes);
        connection->SendAll(reinterpret_cast<const char*>(&reply), PACKET_HEADER_SIZE);
        connection->SendAll(reinterpret_cast<const char*>(&info), DISK_INFO_SIZE);
    }

    Kiv* m_app;
    bool m_log;
    std::atomic<bool> m_stop;
    FswSocket m_listener;
    uint16_t m_port;
    std::thread m_thread;
};

void Print(const char* server, const char* log, int clients, const Figures& figures,
           double baseline) {
    printf("%-9s %-4s %7d %10.0f %6.2f %8.0f %8.0f %9u\n", server, log, clients, figures.perSecond,
           baseline > 0 ? figures.perSecond / baseline : 0.0, figures.p50, figures.p99,
           figures.failures);
    fflush(stdout);
}

// "--scan DIR [SECONDS]": the server's queries per second for 8 clients while folder scans
// of DIR run one after the other at background priority, against turns without a scan,
// alternating, so that both meet the machine's changing load alike.
int ScanCost(uint16_t port, const std::vector<std::string>& requests, const char* tree,
             double seconds) {
    const int clients = 8;
    std::vector<Outcome> alone(clients), scanned(clients);
    double aloneTime = 0, scannedTime = 0;
    unsigned scans = 0;
    for (int turn = 0; turn < TURNS; turn++) {
        aloneTime += RunSlice(port, requests, seconds / TURNS, &alone);
        std::atomic<bool> stop{false};
        std::thread scanner([&] {
            while (!stop) {
                ScanOptions options;
                options.root = tree;
                options.now = time(nullptr);
                options.stop = &stop;
                options.background = true;
                options.threads = 1;  // as the server scans
                FolderScan scan;
                RunFolderScan(options, MNoLog(), &scan);
                scans += scan.partial ? 0 : 1;
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the scan is under way
        scannedTime += RunSlice(port, requests, seconds / TURNS, &scanned);
        stop = true;
        scanner.join();
    }
    Figures without = Summarize(alone, aloneTime);
    Figures with = Summarize(scanned, scannedTime);
    printf("Disk server, %d clients, with folder scans of %s as the server takes them\n"
           "(one thread at background priority)\n",
           clients, tree);
    printf("%-16s %10s %6s %8s %8s %9s\n", "", "queries/s", "ratio", "p50 us", "p99 us",
           "failures");
    printf("%-16s %10.0f %6.2f %8.0f %8.0f %9u\n", "without a scan", without.perSecond, 1.0,
           without.p50, without.p99, without.failures);
    printf("%-16s %10.0f %6.2f %8.0f %8.0f %9u\n", "during scans", with.perSecond,
           without.perSecond > 0 ? with.perSecond / without.perSecond : 0.0, with.p50, with.p99,
           with.failures);
    printf("whole scans finished meanwhile: %u\n", scans);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* scanTree = nullptr;
    if (argc > 2 && strcmp(argv[1], "--scan") == 0) {
        scanTree = argv[2];
        argv += 2;
        argc -= 2;
    }
    double seconds = argc > 1 ? atof(argv[1]) : 4.0;
    TestApp t;
    uint16_t port = t.StartServer();
    if (port == 0) {
        fprintf(stderr, "the server did not start\n");
        return 1;
    }
    std::string path = t.dir.Path();
    // The same folder written four ways ("dir", "dir/", ...): four paths to the server.
    std::vector<std::string> requests;
    for (size_t slashes = 0; slashes < 4; slashes++) {
        std::string written = path + std::string(slashes, '/');
        requests.push_back(WireHeader(1825, 2, 1, 0, static_cast<uint32_t>(written.size())) +
                           written);
    }
    if (scanTree != nullptr) {
        return ScanCost(port, requests, scanTree, seconds);
    }
    printf("Disk server under load: closed-loop clients on 127.0.0.1, %.0f s each, one\n", seconds);
    printf("connection per query; fsw against the one-thread baseline of the same run.\n");
    printf("%-9s %-4s %7s %10s %6s %8s %8s %9s\n", "server", "log", "clients", "queries/s", "ratio",
           "p50 us", "p99 us", "failures");
    for (bool log : {true, false}) {
        if (log) {
            t.RestartLog();
        } else {
            t.app.CloseLog();
        }
        for (int clients : {1, 8, 32}) {
            BaselineServer baseline(&t.app, log);
            if (baseline.Port() == 0) {
                fprintf(stderr, "the baseline server did not start\n");
                return 1;
            }
            // Short turns, one after the other, so that both servers share the machine's
            // changing load alike.
            std::vector<Outcome> baselineOutcomes(static_cast<size_t>(clients));
            std::vector<Outcome> fswOutcomes(static_cast<size_t>(clients));
            double baselineTime = 0;
            double fswTime = 0;
            for (int turn = 0; turn < TURNS; turn++) {
                baselineTime +=
                    RunSlice(baseline.Port(), requests, seconds / TURNS, &baselineOutcomes);
                fswTime += RunSlice(port, requests, seconds / TURNS, &fswOutcomes);
            }
            Figures baselineFigures = Summarize(baselineOutcomes, baselineTime);
            Figures fswFigures = Summarize(fswOutcomes, fswTime);
            Print("baseline", log ? "on" : "off", clients, baselineFigures,
                  baselineFigures.perSecond);
            Print("fsw", log ? "on" : "off", clients, fswFigures, baselineFigures.perSecond);
        }
    }
    return 0;
}
