// Volumes that come and go.
#include "monitor/volume_changes.h"

#include "mlib/mlogtext.h"
#include "net/volume_list.h"

std::vector<std::string> VolumeChanges::Update(const std::vector<CheckResult>& results) {
    std::map<std::string, std::set<std::string>> now;
    std::set<std::string> failed;
    for (const CheckResult& result : results) {
        if (!result.ofAllVolumes) {
            continue;
        }
        std::string server =
            MEscapeForLog(result.host) + " (" + std::to_string(unsigned{result.port}) + ")";
        if (result.noVolumes) {
            now[server];  // a list without volumes: every known one has gone
        } else if (IsAllVolumesPath(result.path)) {
            failed.insert(server);
        } else {
            now[server].insert(result.path);
        }
    }
    std::vector<std::string> lines;
    for (const auto& server : now) {
        if (failed.count(server.first) != 0) {
            continue;
        }
        auto known = m_known.find(server.first);
        if (known == m_known.end()) {
            lines.push_back(server.first + "のボリューム " + std::to_string(server.second.size()) +
                            "個を監視します");
            m_known[server.first] = server.second;
            continue;
        }
        for (const std::string& path : server.second) {
            if (known->second.count(path) == 0) {
                lines.push_back(server.first +
                                "に新しいボリュームがあります: " + MEscapeForLog(path));
            }
        }
        for (const std::string& path : known->second) {
            if (server.second.count(path) == 0) {
                lines.push_back(server.first +
                                "のボリュームがなくなりました: " + MEscapeForLog(path));
            }
        }
        known->second = server.second;
    }
    return lines;
}
