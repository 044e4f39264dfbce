// Check targets and their threshold arithmetic.
#include "app/host_entry.h"

#include <cstring>

HostEntry NewHostEntry() {
    HostEntry entry;
    memset(&entry, 0, sizeof entry);
    entry.excluded = 0;
    entry.port = DEFAULT_PORT;
    entry.threshold = 10;
    entry.unit = UNIT_PERCENT;
    return entry;
}

namespace {

// The spelling two hosts are compared in: "localhost" as the loopback address it names.
const char* HostKey(const char* host) {
    const char* name = "localhost";
    size_t i = 0;
    for (; host[i] != '\0' && name[i] != '\0'; i++) {
        char c = host[i] >= 'A' && host[i] <= 'Z' ? static_cast<char>(host[i] - 'A' + 'a') : host[i];
        if (c != name[i]) {
            return host;
        }
    }
    return host[i] == '\0' && name[i] == '\0' ? "127.0.0.1" : host;
}

}  // namespace

bool SameHost(const char* a, const char* b) {
    return strcmp(HostKey(a), HostKey(b)) == 0;
}

bool SameTarget(const HostEntry& a, const HostEntry& b) {
    return a.port == b.port && strcmp(a.path, b.path) == 0 && a.threshold == b.threshold &&
           a.unit == b.unit && SameHost(a.host, b.host);
}

const char* UnitText(uint32_t unit) {
    switch (unit) {
        case UNIT_PERCENT:
            return "%";
        case UNIT_KB:
            return "KB";
        case UNIT_MB:
            return "MB";
        case UNIT_GB:
            return "GB";
        default:
            return "B";
    }
}

uint64_t ThresholdLimit(uint32_t threshold, uint32_t unit) {
    switch (unit) {
        case UNIT_PERCENT:
            return static_cast<uint32_t>(threshold * 10u);
        case UNIT_KB:
            return uint64_t{threshold} * 1024u;
        case UNIT_MB:
            return uint64_t{threshold} * 1048576u;
        case UNIT_GB:
            return uint64_t{threshold} * 1073741824u;
        default:
            return threshold;
    }
}

namespace {

// a x b / c, truncated, without overflow of the product: a 128-bit product of 32-bit
// halves, divided bit by bit. A quotient beyond 64 bits (only when a > c, which a sane
// server never reports) gives the largest value.
uint64_t MulDiv(uint64_t a, uint32_t b, uint64_t c) {
    uint64_t low = (a & 0xFFFFFFFFu) * b;
    uint64_t middle = (a >> 32) * b + (low >> 32);
    uint64_t high = middle >> 32;
    low = (middle << 32) | (low & 0xFFFFFFFFu);
    if (high >= c) {
        return UINT64_MAX;
    }
    uint64_t quotient = 0;
    uint64_t remainder = 0;
    for (int bit = 127; bit >= 0; bit--) {
        uint64_t next = bit >= 64 ? (high >> (bit - 64)) & 1u : (low >> bit) & 1u;
        bool carry = (remainder >> 63) != 0;
        remainder = (remainder << 1) | next;
        quotient <<= 1;
        if (carry || remainder >= c) {
            remainder -= c;
            quotient |= 1u;
        }
    }
    return quotient;
}

}  // namespace

uint64_t MeasuredValue(uint32_t unit, uint64_t freeBytes, uint64_t totalBytes) {
    if (unit != UNIT_PERCENT) {
        return freeBytes;
    }
    if (totalBytes == 0) {
        return 0;
    }
    // Free space beyond 18 PB would overflow free x 1000 in 64 bits.
    return MulDiv(freeBytes, 1000u, totalBytes);
}

uint64_t ThresholdBytes(uint32_t threshold, uint32_t unit, uint64_t totalBytes) {
    if (unit != UNIT_PERCENT) {
        return ThresholdLimit(threshold, unit);
    }
    return MulDiv(totalBytes, threshold, 100u);
}

void CopyField(char* field, size_t size, const char* text) {
    size_t length = strlen(text);
    if (length > size - 1) {
        length = size - 1;
    }
    memcpy(field, text, length);
    field[length] = '\0';
}
