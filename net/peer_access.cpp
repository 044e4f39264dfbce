// Who may ask the disk server.
#include "net/peer_access.h"

#include <cstring>
#include <iterator>

namespace {

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

const std::chrono::minutes LOG_INTERVAL(1);
// Peers remembered before the expired ones are dropped; past the second bound all are
// forgotten, so that a crowd of peers costs little memory and time.
const size_t THROTTLE_PRUNE_AT = 1024;
const size_t THROTTLE_FORGET_AT = 4096;

}  // namespace

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
        IpAddress address;
        unsigned prefix = 0;
        bool valid = ParseIpAddress(entry.substr(0, slash), &address);
        unsigned longest = address.family == 6 ? 128 : 32;
        if (valid && slash == std::string::npos) {
            prefix = longest;
        } else if (valid) {
            valid = ParseSmallDecimal(entry.substr(slash + 1), longest, &prefix);
        }
        // An IPv4-mapped entry is the IPv4 entry it carries, as mapped peers are.
        if (valid && address.family == 6 && prefix >= 96 && Unmapped(address).family == 4) {
            address = Unmapped(address);
            prefix -= 96;
        }
        bool mappedForm = valid && address.family == 6 && Unmapped(address).family == 4;
        if (valid) {
            Block block{address, static_cast<int>(prefix), mappedForm};
            for (unsigned bit = prefix; bit < 128; bit++) {
                block.network.bytes[bit / 8] &= static_cast<uint8_t>(~(0x80u >> (bit % 8)));
            }
            blocks.push_back(block);
        } else if (!entry.empty()) {
            malformed.push_back(entry);
        }
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_restricted = restricted;
    m_blocks.swap(blocks);
    m_malformed.swap(malformed);
}

bool AllowList::Allows(const IpAddress& peer) const {
    IpAddress own = Unmapped(peer);
    // The IPv4 peer's mapped address, for the blocks written in that form.
    IpAddress mapped;
    mapped.family = 6;
    mapped.bytes[10] = mapped.bytes[11] = 0xff;
    memcpy(mapped.bytes + 12, own.bytes, 4);
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_restricted) {
        return true;
    }
    for (const Block& block : m_blocks) {
        if (SamePrefix(own, block.network, block.prefix) ||
            (own.family == 4 && block.mappedForm &&
             SamePrefix(mapped, block.network, block.prefix))) {
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
        text += FormatIpAddress(block.network);
        if (block.prefix != (block.network.family == 6 ? 128 : 32)) {
            text += "/" + std::to_string(block.prefix);
        }
    }
    return text;
}

std::vector<std::string> AllowList::Malformed() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_malformed;
}

bool PeerLogThrottle::ShouldLog(const std::string& address, Clock::time_point now) {
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

std::string PeerShareKey(const IpAddress& peer) {
    IpAddress own = Unmapped(peer);
    return std::string(reinterpret_cast<const char*>(own.bytes), own.family == 6 ? 8 : 4);
}

std::vector<std::string> PeerShareKeys(const IpAddress& peer) {
    std::vector<std::string> keys{PeerShareKey(peer)};
    if (keys[0].size() == 8) {
        keys.push_back(keys[0].substr(0, 6));  // the site's /48
    }
    return keys;
}
