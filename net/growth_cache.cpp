// The client's memory of each row's folder growth.
#include "net/growth_cache.h"

namespace {

std::string KeyOf(const std::string& host, unsigned port, const std::string& path) {
    return host + '\t' + std::to_string(port) + '\t' + path;
}

}  // namespace

const char* GrowthAnswerText(GrowthAnswer answer) {
    switch (answer) {
        case GROWTH_REPORTED:
            return "";
        case GROWTH_NOT_SERVED:
            return "このサーバはフォルダの増加を報告しません";
        case GROWTH_NO_SCAN:
            return "このパスのフォルダの記録はまだありません";
        default:
            return "フォルダの増加を取得できません";
    }
}

bool GrowthCache::ShouldAsk(const std::string& host, unsigned port, const std::string& path,
                            int64_t now) const {
    std::lock_guard<std::mutex> hold(m_lock);
    auto found = m_entries.find(KeyOf(host, port, path));
    if (found == m_entries.end()) {
        return true;
    }
    const GrowthEntry& entry = found->second;
    if (now - entry.askedAt < GROWTH_RETRY_SECONDS) {
        return false;
    }
    return entry.answer != GROWTH_REPORTED ||
           now - entry.report.latest.time >= GROWTH_RESCAN_SECONDS;
}

bool GrowthCache::Store(const std::string& host, unsigned port, const std::string& path,
                        GrowthAnswer answer, const GrowthReport& report, int64_t now) {
    std::lock_guard<std::mutex> hold(m_lock);
    std::string key = KeyOf(host, port, path);
    auto found = m_entries.find(key);
    bool changed = found == m_entries.end() || found->second.answer != answer;
    GrowthEntry& entry = m_entries[key];
    entry.answer = answer;
    entry.report = answer == GROWTH_REPORTED ? report : GrowthReport();
    entry.askedAt = now;
    return changed;
}

bool GrowthCache::Find(const std::string& host, unsigned port, const std::string& path,
                       GrowthEntry* entry) const {
    std::lock_guard<std::mutex> hold(m_lock);
    auto found = m_entries.find(KeyOf(host, port, path));
    if (found == m_entries.end()) {
        return false;
    }
    *entry = found->second;
    return true;
}
