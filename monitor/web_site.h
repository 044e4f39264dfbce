// The pages the server's port shows over HTTP (key WEB): the status page ("/"), a page per
// target with the chart of its history, the metrics ("/metrics", the same series as
// PROMFILE and the server's own volumes) and the status as JSON ("/status.json"). They are
// made from a plain snapshot that the end of each cycle hands in, never from the
// application object, so the server's handler threads read nothing the cycle changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/history_point.h"
#include "net/check_result.h"
#include "net/http_server.h"
#include "net/volume_list.h"

// One row of the latest cycle.
struct WebTarget {
    CheckResult result;
    int64_t forecast;  // seconds until full, or FORECAST_NONE
    bool forecastOfBursts;
    std::vector<HistoryPoint> points;  // its kept checks, oldest first
};

struct StatusSnapshot {
    std::string hostName;  // of this machine, in the program's code page
    const char* version = "";
    bool clientOn = false;      // CLIENT: check cycles run
    bool cycleRan = false;      // one has ended since the start
    int64_t cycleTime = 0;      // its end, Unix seconds
    int64_t nextCycleTime = 0;  // when the next one is due; 0: none is
    int64_t utcOffset = 0;      // local wall-clock time minus Unix time, at the cycle's end
    double cycleSeconds = 0;    // from its start to its summary
    unsigned cycleTargets = 0;  // targets it queried
    uint32_t forecastDays = 0;  // FORECAST
    std::vector<WebTarget> rows;
};

// The server's own volumes, each measured; false when the system gave no list.
typedef std::function<bool(std::vector<VolumeEntry>*)> VolumeLister;

// The name of a target's page below /target/: 16 hexadecimal digits from its host, port
// and path, the same in every cycle.
std::string TargetPageKey(const CheckResult& result);

// The pages, from a snapshot and (where they show them) the server's volumes.
std::string StatusPageHtml(const StatusSnapshot& status, const std::vector<VolumeEntry>* volumes);
std::string TargetPageHtml(const StatusSnapshot& status, const WebTarget& target);
std::string StatusJson(const StatusSnapshot& status, const std::vector<VolumeEntry>* volumes);
std::string MetricsPageText(const StatusSnapshot& status, const std::vector<VolumeEntry>& volumes);

class WebSite : public WebPages {
public:
    explicit WebSite(VolumeLister volumes) : m_volumes(std::move(volumes)) {}
    // The latest snapshot: at the start and at the end of every cycle.
    void Publish(const StatusSnapshot& status);
    bool PageAt(const std::string& path, WebPage* page) override;

private:
    std::shared_ptr<const StatusSnapshot> Latest();

    VolumeLister m_volumes;
    std::mutex m_lock;  // guards m_status
    std::shared_ptr<const StatusSnapshot> m_status;
};
