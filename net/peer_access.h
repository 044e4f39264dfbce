// Who may ask the disk server: the ALLOW list of addresses and CIDR blocks of both
// families, the key by which a peer's share is counted, and the throttle that keeps
// refusals of one peer to one log line a minute.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/ip_address.h"

// The peers allowed to query, from the ALLOW setting. Read by the listener at every
// connection and replaced by a reload, so it guards itself.
class AllowList {
public:
    AllowList();

    // Takes a comma-separated list of addresses and blocks of either family
    // ("127.0.0.1,192.168.10.0/24,fd00::/8"; spaces around entries are ignored). Entries
    // that are neither are skipped and kept for the log. Empty text allows everyone;
    // text with no valid entry, no one.
    void Load(const std::string& text);
    // Whether the peer may query. An IPv4-mapped IPv6 peer is matched as the IPv4
    // address it carries; an IPv4 peer also matches a wider block written in the
    // IPv4-mapped form ("::ffff:10.0.0.0/80"), as its mapped address.
    bool Allows(const IpAddress& peer) const;
    // True unless the setting was empty.
    bool IsRestricted() const;
    // The valid entries as they are applied ("192.168.10.0/24"), comma-separated.
    std::string Describe() const;
    std::vector<std::string> Malformed() const;

private:
    struct Block {
        IpAddress network;  // the bits beyond the prefix cleared
        int prefix;
        bool mappedForm;  // an IPv6 block written as an IPv4-mapped address
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
    bool ShouldLog(const std::string& peer, Clock::time_point now);

private:
    std::unordered_map<std::string, Clock::time_point> m_last;
};

// The key under which a peer's connections are counted against its share: an IPv4
// address (mapped ones too) by itself, an IPv6 one by its /64, since one machine may
// hold many addresses of its prefix.
std::string PeerShareKey(const IpAddress& peer);
// Every key under which a peer's connections are counted, each against a share of its
// own: PeerShareKey, and for an IPv6 peer its /48 as well, since one site may hold many
// /64 prefixes. The keys of different lengths never meet.
std::vector<std::string> PeerShareKeys(const IpAddress& peer);
