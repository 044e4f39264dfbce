// The comparison of scans into a growth report (the rule is in growth_compare.h).
#include "app/growth_compare.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

namespace {

const int64_t DAY = 86400;

struct Known {
    uint64_t bytes = 0;
    bool known = false;
};

class OlderScan {
public:
    explicit OlderScan(const FolderScan* scan) : m_scan(scan) {
        if (scan != nullptr) {
            for (size_t i = 0; i < scan->folders.size(); ++i) {
                m_index.emplace(scan->folders[i].path, i);
            }
        }
    }

    // The folder's size in this scan; parent: its parent's path in the latest scan.
    Known SizeOf(const ScanFolder& folder, const std::string* parentPath) const {
        Known size;
        if (m_scan == nullptr) {
            return size;
        }
        auto found = m_index.find(folder.path);
        if (found != m_index.end()) {
            const ScanFolder& old = m_scan->folders[found->second];
            size.bytes = old.bytes;
            size.known = old.complete && folder.complete;
            return size;
        }
        if (m_scan->partial || !folder.complete || parentPath == nullptr) {
            return size;
        }
        auto parent = m_index.find(*parentPath);
        if (parent == m_index.end()) {
            return size;  // the parent was not recorded: nothing can be said
        }
        size.known = true;
        bool capped = m_scan->folders.size() >= SCAN_MAX_FOLDERS;
        if (folder.depth > SCAN_ALL_FOLDERS_DEPTH || capped) {
            size.bytes = std::min(DeepFolderThreshold(m_scan->usedBytes),
                                  m_scan->folders[parent->second].bytes);
        }
        return size;
    }

    Known OtherBytes() const {
        Known size;
        if (m_scan != nullptr && m_scan->volumeRoot && !m_scan->partial) {
            size.bytes = m_scan->otherBytes;
            size.known = true;
        }
        return size;
    }

private:
    const FolderScan* m_scan;
    std::unordered_map<std::string, size_t> m_index;
};

int64_t GrowthOf(uint64_t now, const Known& before) {
    return before.known ? static_cast<int64_t>(now) - static_cast<int64_t>(before.bytes) : 0;
}

GrowthScanInfo InfoOf(const FolderScan* scan) {
    GrowthScanInfo info;
    if (scan != nullptr) {
        info.time = scan->endTime;
        info.partial = scan->partial;
    }
    return info;
}

// The parent of each folder among the recorded ones: the longest proper prefix that ends
// just before a separator (or with one, for a root such as "/" or "C:\") and is recorded
// one level up. A separator byte inside a Shift-JIS character gives a prefix that is no
// recorded folder, so it is passed over.
std::vector<int> ParentsOf(const std::vector<ScanFolder>& folders) {
    std::unordered_map<std::string, size_t> index;
    for (size_t i = 0; i < folders.size(); ++i) {
        index.emplace(folders[i].path, i);
    }
    std::vector<int> parents(folders.size(), -1);
    for (size_t i = 0; i < folders.size(); ++i) {
        const std::string& path = folders[i].path;
        if (folders[i].depth == 0) {
            continue;
        }
        for (size_t at = path.size(); at-- > 1;) {
            if (path[at] != '/' && path[at] != '\\') {
                continue;
            }
            for (size_t length : {at, at + 1}) {
                auto found = index.find(path.substr(0, length));
                if (found != index.end() && folders[found->second].depth + 1 == folders[i].depth) {
                    parents[i] = static_cast<int>(found->second);
                    break;
                }
            }
            if (parents[i] >= 0) {
                break;
            }
        }
    }
    return parents;
}

}  // namespace

uint64_t MeaningfulGrowth(uint64_t usedBytes) {
    return std::max(GROWTH_MEANINGFUL_MIN, usedBytes / 1000 * GROWTH_MEANINGFUL_PERMILLE);
}

GrowthReport CompareScans(const FolderScan& latest, const FolderScan* dayBefore,
                          const FolderScan* weekBefore) {
    GrowthReport report;
    report.latest = InfoOf(&latest);
    report.dayBefore = InfoOf(dayBefore);
    report.weekBefore = InfoOf(weekBefore);
    for (const ScanFile& file : latest.files) {
        report.files.push_back(GrowthFile{file.path, file.bytes, file.changeTime});
    }

    OlderScan day(dayBefore);
    OlderScan week(weekBefore);
    std::vector<ScanFolder> folders = latest.folders;
    std::vector<int> parents = ParentsOf(folders);
    std::vector<GrowthFolder> rows(folders.size());
    for (size_t i = 0; i < folders.size(); ++i) {
        const std::string* parent = parents[i] >= 0 ? &folders[parents[i]].path : nullptr;
        rows[i] = GrowthFolder{folders[i].path, folders[i].bytes,
                               GrowthOf(folders[i].bytes, day.SizeOf(folders[i], parent)),
                               GrowthOf(folders[i].bytes, week.SizeOf(folders[i], parent))};
    }
    // The line for what no folder accounts for: a child of the root.
    if (latest.volumeRoot && !latest.partial && !folders.empty() && folders[0].depth == 0) {
        rows.push_back(GrowthFolder{SCAN_OTHER_NAME, latest.otherBytes,
                                    GrowthOf(latest.otherBytes, day.OtherBytes()),
                                    GrowthOf(latest.otherBytes, week.OtherBytes())});
        parents.push_back(0);
    }

    // The largest growth of any child, per folder and period.
    std::vector<int64_t> childDay(rows.size(), INT64_MIN);
    std::vector<int64_t> childWeek(rows.size(), INT64_MIN);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (parents[i] >= 0) {
            childDay[parents[i]] = std::max(childDay[parents[i]], rows[i].growthDay);
            childWeek[parents[i]] = std::max(childWeek[parents[i]], rows[i].growthWeek);
        }
    }
    int64_t meaningful = static_cast<int64_t>(MeaningfulGrowth(latest.usedBytes));
    auto explains = [&](int64_t growth, int64_t largestChild) {
        return growth >= meaningful && largestChild <= growth / 2;
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        if (explains(rows[i].growthWeek, childWeek[i]) || explains(rows[i].growthDay, childDay[i])) {
            report.folders.push_back(rows[i]);
        }
    }
    std::sort(report.folders.begin(), report.folders.end(),
              [](const GrowthFolder& a, const GrowthFolder& b) {
                  if (a.growthWeek != b.growthWeek) {
                      return a.growthWeek > b.growthWeek;
                  }
                  if (a.growthDay != b.growthDay) {
                      return a.growthDay > b.growthDay;
                  }
                  return a.path < b.path;
              });
    if (report.folders.size() > GROWTH_MAX_FOLDERS) {
        report.folders.resize(GROWTH_MAX_FOLDERS);
    }
    return report;
}

ComparedScans ChooseComparedScans(const std::vector<ScanTime>& scans) {
    ComparedScans chosen;
    for (size_t i = 0; i < scans.size(); ++i) {
        if (chosen.latest < 0 || scans[i].endTime > scans[chosen.latest].endTime) {
            chosen.latest = static_cast<int>(i);
        }
    }
    if (chosen.latest < 0) {
        return chosen;
    }
    int64_t latestTime = scans[chosen.latest].endTime;
    auto nearest = [&](int64_t target) {
        int best = -1;
        for (size_t i = 0; i < scans.size(); ++i) {
            if (static_cast<int>(i) == chosen.latest || scans[i].endTime > latestTime) {
                continue;
            }
            if (best < 0) {
                best = static_cast<int>(i);
                continue;
            }
            const ScanTime& a = scans[i];
            const ScanTime& b = scans[best];
            if (a.partial != b.partial) {
                if (!a.partial) {
                    best = static_cast<int>(i);
                }
                continue;
            }
            int64_t da = std::llabs(a.endTime - target);
            int64_t db = std::llabs(b.endTime - target);
            if (da < db || (da == db && a.endTime < b.endTime)) {
                best = static_cast<int>(i);
            }
        }
        return best;
    };
    chosen.dayBefore = nearest(latestTime - DAY);
    chosen.weekBefore = nearest(latestTime - 7 * DAY);
    return chosen;
}
