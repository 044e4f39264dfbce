// Who may ask the disk server.
#include "net/peer_access.h"

#include <cstdio>

namespace {

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// A decimal number of 1 to 3 digits, at most limit.
bool ParsePart(const std::string& text, unsigned limit, unsigned* value) {
    if (text.empty() || text.size() > 3) {
        return false;
    }
    unsigned number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    *value = number;
    return number <= limit;
}

const std::chrono::minutes LOG_INTERVAL(1);
// Peers remembered before the expired ones are dropped; past the second bound all are
// forgotten, so that a crowd of peers costs little memory and time.
const size_t THROTTLE_PRUNE_AT = 1024;
const size_t THROTTLE_FORGET_AT = 4096;

}  // namespace

bool ParseIPv4(const std::string& text, uint32_t* address) {
    uint32_t result = 0;
    size_t start = 0;
    for (int part = 0; part < 4; part++) {
        size_t end = part < 3 ? text.find('.', start) : text.size();
        unsigned value = 0;
        if (end == std::string::npos || !ParsePart(text.substr(start, end - start), 255, &value)) {
            return false;
        }
        result = (result << 8) | value;
        start = end + 1;
    }
    *address = result;
    return true;
}

std::string FormatIPv4(uint32_t address) {
    char text[16];
    snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
             (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

AllowList::AllowList() : m_restricted(false) {}

void AllowList::Load(const std::string& text) {
    std::vector<Block> blocks;
    std::vector<std::string> malformed;
    bool restricted = !Trim(text).empty();
    size_t start = 0;
    while (restricted && start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            comma = text.size();
        }
        std::string entry = Trim(text.substr(start, comma - start));
        start = comma + 1;
        size_t slash = entry.find('/');
        uint32_t address = 0;
        unsigned prefix = 32;
        if (ParseIPv4(entry.substr(0, slash), &address) &&
            (slash == std::string::npos || ParsePart(entry.substr(slash + 1), 32, &prefix))) {
            uint32_t mask = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
            blocks.push_back(Block{address & mask, mask, static_cast<int>(prefix)});
        } else if (!entry.empty()) {
            malformed.push_back(entry);
        }
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_restricted = restricted;
    m_blocks.swap(blocks);
    m_malformed.swap(malformed);
}

bool AllowList::Allows(uint32_t address) const {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_restricted) {
        return true;
    }
    for (const Block& block : m_blocks) {
        if ((address & block.mask) == block.network) {
            return true;
        }
    }
    return false;
}

bool AllowList::IsRestricted() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_restricted;
}

std::string AllowList::Describe() const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::string text;
    for (const Block& block : m_blocks) {
        text += text.empty() ? "" : ",";
        text += FormatIPv4(block.network);
        if (block.prefix != 32) {
            text += "/" + std::to_string(block.prefix);
        }
    }
    return text;
}

std::vector<std::string> AllowList::Malformed() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_malformed;
}

bool PeerLogThrottle::ShouldLog(uint32_t address, Clock::time_point now) {
    if (m_last.size() >= THROTTLE_FORGET_AT) {
        m_last.clear();
    } else if (m_last.size() >= THROTTLE_PRUNE_AT) {
        for (auto entry = m_last.begin(); entry != m_last.end();) {
            entry = now - entry->second >= LOG_INTERVAL ? m_last.erase(entry) : std::next(entry);
        }
    }
    auto found = m_last.find(address);
    if (found != m_last.end() && now - found->second < LOG_INTERVAL) {
        return false;
    }
    m_last[address] = now;
    return true;
}
