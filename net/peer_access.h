// Who may ask the disk server: IPv4 addresses as text, the ALLOW list of addresses and
// CIDR blocks, and the throttle that keeps refusals of one peer to one log line a minute.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// A dotted IPv4 address of exactly four decimal parts 0 to 255 (no octal, hex or
// short forms, which inet_addr would take); the address in host order.
bool ParseIPv4(const std::string& text, uint32_t* address);
// The dotted text of an address in host order.
std::string FormatIPv4(uint32_t address);

// The peers allowed to query, from the ALLOW setting. Read by the listener at every
// connection and replaced by a reload, so it guards itself.
class AllowList {
public:
    AllowList();

    // Takes a comma-separated list of addresses and blocks ("127.0.0.1,192.168.10.0/24";
    // spaces around entries are ignored). Entries that are neither are skipped and
    // kept for the log. Empty text allows everyone; text with no valid entry, no one.
    void Load(const std::string& text);
    // Whether the peer (host order) may query.
    bool Allows(uint32_t address) const;
    // True unless the setting was empty.
    bool IsRestricted() const;
    // The valid entries as they are applied ("192.168.10.0/24"), comma-separated.
    std::string Describe() const;
    std::vector<std::string> Malformed() const;

private:
    struct Block {
        uint32_t network;
        uint32_t mask;
        int prefix;
    };
    mutable std::mutex m_lock;
    bool m_restricted;
    std::vector<Block> m_blocks;
    std::vector<std::string> m_malformed;
};

// Lets one log line per peer through per minute, so that a peer refused again and
// again fills no log. Used by one thread.
class PeerLogThrottle {
public:
    typedef std::chrono::steady_clock Clock;

    // True when the peer's last line let through is a minute old or there is none.
    bool ShouldLog(uint32_t address, Clock::time_point now);

private:
    std::unordered_map<uint32_t, Clock::time_point> m_last;
};
