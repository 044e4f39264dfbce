// The server's HTTP pages on loopback: the time from connecting to the end of the answer for
// "/" and "/metrics" of a cycle of 10 rows (each with a week of checks every 10 minutes)
// on a server with 64 volumes, through the real server; the 50th and 99th percentile.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/forecast.h"
#include "app/host_entry.h"
#include "monitor/web_site.h"
#include "net/server.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"

namespace {

typedef std::chrono::steady_clock Clock;

StatusSnapshot TenRows() {
    StatusSnapshot s;
    s.hostName = "bench";
    s.clientOn = true;
    s.cycleRan = true;
    s.cycleTime = 1765378800;
    s.nextCycleTime = s.cycleTime + 600;
    for (int i = 0; i < 10; i++) {
        CheckResult r;
        memset(&r, 0, sizeof r);
        r.status = STATUS_NORMAL + i % 5;
        CopyField(r.host, sizeof r.host, ("server" + std::to_string(i)).c_str());
        CopyField(r.path, sizeof r.path, "/srv/データ");
        CopyField(r.description, sizeof r.description, "共有 <data>");
        r.port = 50801;
        r.threshold = 10;
        r.totalBytes = uint64_t{1} << 40;
        r.freeBytes = r.totalBytes / 3;
        r.checkTime = s.cycleTime;
        std::vector<HistoryPoint> points;
        for (int64_t t = s.cycleTime - 7 * 86400; t <= s.cycleTime; t += 600) {
            points.push_back({t, r.freeBytes + static_cast<uint64_t>(s.cycleTime - t) * 1000,
                              r.totalBytes, STATUS_NORMAL});
        }
        s.rows.push_back(WebTarget{r, FORECAST_NONE, false, points});
    }
    return s;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 300;
    WebSite site([](std::vector<VolumeEntry>* volumes) {
        for (int i = 0; i < 64; i++) {
            volumes->push_back({"/mnt/volume" + std::to_string(i), VOLUME_MEASURED,
                                uint64_t{1} << 35, uint64_t{1} << 40});
        }
        return true;
    });
    site.Publish(TenRows());
    TestApp t;
    t.app.m_web = 1;
    SetWebPages(&site);
    uint16_t port = t.StartServer();
    if (port == 0) {
        fprintf(stderr, "the server did not start\n");
        return 1;
    }
    printf("HTTP pages, 10 rows, 64 volumes, %d requests each  p50 ms   p99 ms   bytes\n", runs);
    for (const char* path : {"/", "/metrics"}) {
        std::string request = std::string("GET ") + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
        std::vector<double> times;
        size_t bytes = 0;
        for (int i = 0; i < runs; i++) {
            Clock::time_point start = Clock::now();
            FswSocket client;
            if (!ConnectLocal(&client, port)) {
                fprintf(stderr, "no connection\n");
                return 1;
            }
            client.SendAll(request.data(), static_cast<int>(request.size()));
            bytes = ReadUntilClosed(&client).size();
            times.push_back(Ms(Clock::now() - start));
        }
        std::sort(times.begin(), times.end());
        printf("  %-48s %8.3f %8.3f %7zu\n", path, times[times.size() / 2],
               times[static_cast<size_t>(0.99 * static_cast<double>(times.size() - 1))], bytes);
    }
    t.StopServer();
    SetWebPages(nullptr);
    return 0;
}
