// IP addresses of either family as plain records: read from text (SVADDR, ALLOW, a
// host column), written as text in the family's standard form (log lines), and taken
// from or put into socket addresses.
#pragma once

#include <cstdint>
#include <string>

#include "mlib/msocket.h"

struct IpAddress {
    int family = 4;          // 4 or 6
    uint8_t bytes[16] = {};  // network order; an IPv4 address in the first 4
};

// An IPv4 address of exactly four decimal parts 0 to 255, or an IPv6 address in any
// of its text forms ("fd00::10", "::ffff:192.0.2.1"), the latter also in brackets
// ("[::1]"). Zone suffixes ("%eth0") and short IPv4 forms are refused.
bool ParseIpAddress(const std::string& text, IpAddress* address);
// A decimal number of 1 to 3 digits, at most limit (an octet, a prefix length).
bool ParseSmallDecimal(const std::string& text, unsigned limit, unsigned* value);
// Dotted decimal for IPv4; for IPv6 the recommended form: lower case, no leading zeros,
// the longest run of two or more zero groups as "::", an IPv4-mapped one with its
// IPv4 tail ("::ffff:192.0.2.1").
std::string FormatIpAddress(const IpAddress& address);
// "[::1]" and "fd00::10" become "::1" and "fd00::10": the host a text names, brackets
// stripped when they enclose the whole of it.
std::string WithoutBrackets(const std::string& host);
// The one written form of a host, by which labels, series and the history know a target:
// an IPv6 address, with or without brackets, in its recommended form without them ("::1"
// for "[::1]" and "0:0:0::1"); any other text as it stands, so that IPv4 addresses and
// names read as ever.
std::string HostWrittenForm(const std::string& host);
// Whether host can name a server: text without a colon or bracket (a name or an IPv4
// address, which the lookup judges), or an IPv6 address with or without brackets.
// "server:50801" or "[::1" cannot.
bool IsHostText(const std::string& host);

// An IPv4-mapped IPv6 address (::ffff:a.b.c.d) as the IPv4 address it carries; any
// other address as it is.
IpAddress Unmapped(const IpAddress& address);
// The IPv4 address of a number in host order.
IpAddress IPv4Of(uint32_t hostOrder);
// Whether two addresses agree in their first prefix bits (both of one family).
bool SamePrefix(const IpAddress& a, const IpAddress& b, int prefix);
// Whether a server could have this address as one of its own: not an IPv4 broadcast,
// multicast or reserved (224.0.0.0 and above) one, nor an IPv6 multicast one.
bool CanBeLocalAddress(const IpAddress& address);

// The address of a socket address (its port left out).
IpAddress AddressOfSocket(const MSocketAddress& socket);
// The socket address of an address and a port (host order).
MSocketAddress SocketAddressOf(const IpAddress& address, uint16_t port);
