// Addresses of both families: their text forms, ALLOW entries of either family, the
// addresses a server may listen on, the key of a peer's share and the share itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/ip_address.h"
#include "net/peer_access.h"
#include "net/server.h"

namespace {

IpAddress Parsed(const std::string& text) {
    IpAddress address;
    EXPECT_TRUE(ParseIpAddress(text, &address)) << text;
    return address;
}

TEST(IpAddressText, EveryFormReadsAndIsWrittenInItsFamilysStandardForm) {
    struct Case {
        const char* text;
        const char* written;
        int family;
    };
    const Case cases[] = {
        {"192.168.1.5", "192.168.1.5", 4},
        {"0.0.0.0", "0.0.0.0", 4},
        {"::1", "::1", 6},
        {"[::1]", "::1", 6},
        {"::", "::", 6},
        {"fd00::10", "fd00::10", 6},
        {"FD00:0:0:0:0:0:0:10", "fd00::10", 6},
        {"2001:0db8:0000:0000:0000:ff00:0042:8329", "2001:db8::ff00:42:8329", 6},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1", 6},     // the first of two equal runs
        {"1:0:0:2:0:0:0:3", "1:0:0:2::3", 6},                 // the longest run
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1", 6},  // a single 0 stays
        {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0", 6},
        {"::ffff:192.0.2.1", "::ffff:192.0.2.1", 6},
        {"::ffff:c000:201", "::ffff:192.0.2.1", 6},
        {"64:ff9b::192.0.2.1", "64:ff9b::c000:201", 6},
        {"[2001:db8::]", "2001:db8::", 6},
    };
    for (const Case& c : cases) {
        IpAddress address = Parsed(c.text);
        EXPECT_EQ(c.family, address.family) << c.text;
        EXPECT_EQ(c.written, FormatIpAddress(address)) << c.text;
    }
}

TEST(IpAddressText, MalformedTextIsRefused) {
    const char* const refused[] = {
        "",
        ":",
        ":::",
        "1::2::3",
        "12345::",
        "g::1",
        "1:2:3:4:5:6:7:8:9",
        "1:2:3:4:5:6:7",
        "[::1",
        "::1]",
        "fe80::1%eth0",
        "127.1",
        "256.0.0.1",
        "::1.2.3",
        "1.2.3.4::",
        ":1::",
        "1::2:",
        "[1.2.3.4]",
        "::ffff:1.2.3.4.5",
        " ::1",
        "1.2.3.4 ",
    };
    for (const char* text : refused) {
        IpAddress address;
        EXPECT_FALSE(ParseIpAddress(text, &address)) << text;
    }
}

TEST(IpAddressKinds, AHostWithAColonOrBracketMustBeAnIPv6Address) {
    const struct {
        const char* host;
        bool valid;
    } cases[] = {
        {"fileserver", true},   {"192.168.1.5", true},   {"::1", true},
        {"[fd00::10]", true},   {"srv:50801", false},    {"[::1", false},
        {"[192.0.2.1]", false}, {"::ffff:1.2.3", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.valid, IsHostText(c.host)) << c.host;
    }
}

TEST(IpAddressKinds, OnlyAddressesAMachineCanHaveMayBeListenedOn) {
    struct Case {
        const char* text;
        bool local;
    };
    const Case cases[] = {
        {"192.168.10.5", true},       {"127.0.0.1", true},        {"0.0.0.0", true},
        {"223.255.255.255", true},    {"255.255.255.255", false}, {"224.0.0.1", false},
        {"239.1.2.3", false},         {"240.0.0.1", false},       {"::1", true},
        {"fd00::10", true},           {"ff02::1", false},         {"::ffff:224.0.0.1", false},
        {"::ffff:192.168.1.5", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.local, CanBeLocalAddress(Parsed(c.text))) << c.text;
    }
}

TEST(PeerShareKeys, AnIPv6PeerIsCountedByIts64AndAMappedPeerAsItsIPv4Address) {
    EXPECT_EQ(PeerShareKey(Parsed("2001:db8:1:2::1")),
              PeerShareKey(Parsed("2001:db8:1:2:ffff::9")));
    EXPECT_NE(PeerShareKey(Parsed("2001:db8:1:2::1")), PeerShareKey(Parsed("2001:db8:1:3::1")));
    EXPECT_EQ(PeerShareKey(Parsed("192.168.1.5")), PeerShareKey(Parsed("::ffff:192.168.1.5")));
    EXPECT_NE(PeerShareKey(Parsed("192.168.1.5")), PeerShareKey(Parsed("192.168.1.6")));
    // An IPv6 peer whose /64 begins with the bytes of an IPv4 address is another peer.
    EXPECT_NE(PeerShareKey(Parsed("c0a8:105::1")), PeerShareKey(Parsed("192.168.1.5")));
    // The /64 prefixes of one site are counted together by their /48 as well.
    std::vector<std::string> one = PeerShareKeys(Parsed("2001:db8:1:2::1"));
    std::vector<std::string> other = PeerShareKeys(Parsed("2001:db8:1:3::1"));
    ASSERT_EQ(2u, one.size());
    EXPECT_NE(one[0], other[0]);
    EXPECT_EQ(one[1], other[1]);
    EXPECT_NE(one[1], PeerShareKeys(Parsed("2001:db8:2:2::1"))[1]);
    EXPECT_EQ(1u, PeerShareKeys(Parsed("::ffff:192.168.1.5")).size());
}

TEST(AllowListBothFamilies, EntriesOfEachFamilyMatchPeersOfItAndMappedPeersMatchIPv4Entries) {
    AllowList allow;
    allow.Load("::1, fd00::/8, 192.168.1.0/24, 2001:db8:5::/48, [fe80::1], fd00::/129, ::/x");
    EXPECT_EQ("::1,fd00::/8,192.168.1.0/24,2001:db8:5::/48,fe80::1", allow.Describe());
    EXPECT_EQ((std::vector<std::string>{"fd00::/129", "::/x"}), allow.Malformed());
    struct Case {
        const char* peer;
        bool allowed;
    };
    const Case cases[] = {
        {"::1", true},
        {"::2", false},
        {"fd12:3456::5", true},
        {"fe00::1", false},
        {"fe80::1", true},
        {"2001:db8:5:ffff::1", true},
        {"2001:db8:6::1", false},
        {"192.168.1.5", true},
        {"::ffff:192.168.1.5", true},
        {"::ffff:10.0.0.1", false},
        {"10.0.0.1", false},
        {"::c0a8:105", false},  // not a mapped address: no IPv4 entry applies
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.allowed, allow.Allows(Parsed(c.peer))) << c.peer;
    }
    // A block written in the IPv4-mapped form, wider than /96, covers the IPv4 peers too.
    allow.Load("::ffff:127.0.0.1/80");
    EXPECT_TRUE(allow.Allows(Parsed("127.0.0.1")));
    EXPECT_TRUE(allow.Allows(Parsed("::ffff:10.0.0.1")));
    allow.Load("::/0");
    EXPECT_TRUE(allow.Allows(Parsed("2001:db8::1")));
    EXPECT_FALSE(allow.Allows(Parsed("::ffff:127.0.0.1"))) << "an IPv4 peer needs an IPv4 entry";
    allow.Load("::ffff:192.168.1.0/120");
    EXPECT_EQ("192.168.1.0/24", allow.Describe());
    EXPECT_TRUE(allow.Allows(Parsed("192.168.1.77")));
    allow.Load("0.0.0.0/0");
    EXPECT_TRUE(allow.Allows(Parsed("::ffff:127.0.0.1")));
    EXPECT_FALSE(allow.Allows(Parsed("::1")));
}

TEST(PeerShares, AQuarterOfWhatOthersLeaveAtMost16AndAtLeast1) {
    struct Case {
        int servedInAll;
        int servedForPeer;
        int share;
    };
    const Case cases[] = {
        {0, 0, 16}, {16, 16, 16}, {16, 0, 12}, {40, 10, 8}, {60, 0, 1}, {64, 0, 1}, {64, 64, 16},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.share, PeerShare(c.servedInAll, c.servedForPeer))
            << c.servedInAll << " served, " << c.servedForPeer << " of them the peer's";
    }
}

// Eight peers that each open 16 slow connections, one after the other, as the server
// admits them: handlers are left for a ninth, and for a tenth.
TEST(PeerShares, EightGreedyPeersLeaveHandlersForOthers) {
    int servedInAll = 0;
    for (int peer = 0; peer < 8; peer++) {
        int own = 0;
        for (int attempt = 0; attempt < 16; attempt++) {
            if (servedInAll < MAX_CONNECTION_HANDLERS && own < PeerShare(servedInAll, own)) {
                own++;
                servedInAll++;
            }
        }
        EXPECT_GT(own, 0) << "peer " << peer;
    }
    EXPECT_LE(servedInAll, MAX_CONNECTION_HANDLERS - 4);
    EXPECT_EQ(1, PeerShare(servedInAll, 0));
}

}  // namespace
