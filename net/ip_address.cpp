// IP addresses of either family.
#include "net/ip_address.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool ParseOctet(const std::string& text, uint8_t* value) {
    unsigned number = 0;
    if (!ParseSmallDecimal(text, 255, &number)) {
        return false;
    }
    *value = static_cast<uint8_t>(number);
    return true;
}

bool ParseDotted(const std::string& text, uint8_t* bytes) {
    size_t start = 0;
    for (int part = 0; part < 4; part++) {
        size_t end = part < 3 ? text.find('.', start) : text.size();
        if (end == std::string::npos ||
            !ParseOctet(text.substr(start, end - start), &bytes[part])) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// One group of 1 to 4 hexadecimal digits.
bool ParseGroup(const std::string& text, uint16_t* value) {
    if (text.empty() || text.size() > 4) {
        return false;
    }
    unsigned number = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) {
            return false;
        }
        number = number * 16 + static_cast<unsigned>(digit);
    }
    *value = static_cast<uint16_t>(number);
    return true;
}

// The groups of one side of "::" (empty text: none), an IPv4 tail allowed at the end
// of the address only (as two groups).
bool ParseGroups(const std::string& text, bool tailAllowed, std::vector<uint16_t>* groups) {
    if (text.empty()) {
        return true;
    }
    size_t start = 0;
    for (;;) {
        size_t colon = text.find(':', start);
        std::string part =
            text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (colon == std::string::npos && tailAllowed && part.find('.') != std::string::npos) {
            uint8_t tail[4];
            if (!ParseDotted(part, tail)) {
                return false;
            }
            groups->push_back(static_cast<uint16_t>(tail[0] << 8 | tail[1]));
            groups->push_back(static_cast<uint16_t>(tail[2] << 8 | tail[3]));
            return true;
        }
        uint16_t group = 0;
        if (!ParseGroup(part, &group)) {
            return false;
        }
        groups->push_back(group);
        if (colon == std::string::npos) {
            return true;
        }
        start = colon + 1;
    }
}

bool ParseIPv6Text(const std::string& text, uint8_t* bytes) {
    std::vector<uint16_t> head;
    std::vector<uint16_t> tail;
    size_t gap = text.find("::");
    if (gap == std::string::npos) {
        if (!ParseGroups(text, true, &head) || head.size() != 8) {
            return false;
        }
    } else {
        if (text.find("::", gap + 1) != std::string::npos ||
            !ParseGroups(text.substr(0, gap), false, &head) ||
            !ParseGroups(text.substr(gap + 2), true, &tail) || head.size() + tail.size() > 7) {
            return false;
        }
        head.resize(8 - tail.size(), 0);
        head.insert(head.end(), tail.begin(), tail.end());
    }
    for (size_t i = 0; i < 8; i++) {
        bytes[2 * i] = static_cast<uint8_t>(head[i] >> 8);
        bytes[2 * i + 1] = static_cast<uint8_t>(head[i] & 0xFF);
    }
    return true;
}

bool IsMapped(const IpAddress& address) {
    static const uint8_t prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return address.family == 6 && memcmp(address.bytes, prefix, sizeof prefix) == 0;
}

std::string Dotted(const uint8_t* bytes) {
    char text[16];
    snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

}  // namespace

bool ParseSmallDecimal(const std::string& text, unsigned limit, unsigned* value) {
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

bool ParseIpAddress(const std::string& text, IpAddress* address) {
    IpAddress parsed;
    if (text.find(':') == std::string::npos) {
        parsed.family = 4;
        if (!ParseDotted(text, parsed.bytes)) {
            return false;
        }
    } else {
        parsed.family = 6;
        if (!ParseIPv6Text(WithoutBrackets(text), parsed.bytes)) {
            return false;
        }
    }
    *address = parsed;
    return true;
}

std::string FormatIpAddress(const IpAddress& address) {
    if (address.family == 4) {
        return Dotted(address.bytes);
    }
    if (IsMapped(address)) {
        return "::ffff:" + Dotted(address.bytes + 12);
    }
    uint16_t groups[8];
    for (int i = 0; i < 8; i++) {
        groups[i] = static_cast<uint16_t>(address.bytes[2 * i] << 8 | address.bytes[2 * i + 1]);
    }
    // The longest run of zero groups, the first of equal ones; a single one stays "0".
    int bestStart = -1;
    int bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0) {
            j++;
        }
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    std::string text;
    for (int i = 0; i < 8; i++) {
        if (i == bestStart) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        char group[8];
        snprintf(group, sizeof group, "%x", unsigned{groups[i]});
        if (!text.empty() && text.back() != ':') {
            text += ":";
        }
        text += group;
    }
    return text;
}

std::string WithoutBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

std::string HostWrittenForm(const std::string& host) {
    IpAddress address;
    if (host.find(':') == std::string::npos || !ParseIpAddress(host, &address)) {
        return host;
    }
    return FormatIpAddress(address);
}

bool IsHostText(const std::string& host) {
    if (host.find_first_of(":[]") == std::string::npos) {
        return true;
    }
    IpAddress address;
    return ParseIpAddress(host, &address) && address.family == 6;
}

IpAddress Unmapped(const IpAddress& address) {
    if (!IsMapped(address)) {
        return address;
    }
    IpAddress v4;
    memcpy(v4.bytes, address.bytes + 12, 4);
    return v4;
}

IpAddress IPv4Of(uint32_t hostOrder) {
    IpAddress v4;
    for (int i = 0; i < 4; i++) {
        v4.bytes[i] = static_cast<uint8_t>(hostOrder >> (24 - 8 * i));
    }
    return v4;
}

bool SamePrefix(const IpAddress& a, const IpAddress& b, int prefix) {
    if (a.family != b.family) {
        return false;
    }
    int whole = prefix / 8;
    if (memcmp(a.bytes, b.bytes, static_cast<size_t>(whole)) != 0) {
        return false;
    }
    int rest = prefix % 8;
    if (rest == 0) {
        return true;
    }
    uint8_t mask = static_cast<uint8_t>(0xFF << (8 - rest));
    return (a.bytes[whole] & mask) == (b.bytes[whole] & mask);
}

bool CanBeLocalAddress(const IpAddress& address) {
    IpAddress own = Unmapped(address);
    return own.family == 4 ? own.bytes[0] < 224 : own.bytes[0] != 0xFF;
}

IpAddress AddressOfSocket(const MSocketAddress& socket) {
    IpAddress address;
    if (socket.Family() == AF_INET6) {
        address.family = 6;
        memcpy(address.bytes, &socket.v6.sin6_addr, 16);
    } else {
        memcpy(address.bytes, &socket.v4.sin_addr, 4);
    }
    return address;
}

MSocketAddress SocketAddressOf(const IpAddress& address, uint16_t port) {
    MSocketAddress socket = MEmptyAddress();
    if (address.family == 6) {
        socket.v6.sin6_family = AF_INET6;
        socket.v6.sin6_port = MHtons(port);
        memcpy(&socket.v6.sin6_addr, address.bytes, 16);
    } else {
        socket.v4.sin_family = AF_INET;
        socket.v4.sin_port = MHtons(port);
        memcpy(&socket.v4.sin_addr, address.bytes, 4);
    }
    return socket;
}
