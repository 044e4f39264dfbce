// One check target, a fixed-size record copied by value, and the arithmetic of its
// warning threshold, shared by the query client and the windows.
#pragma once

#include <cstddef>
#include <cstdint>

const size_t MAX_HOSTS = 100;         // targets a host list holds at most
const uint16_t DEFAULT_PORT = 50801;  // the server role's default listening port

// Unit codes of a threshold; any other code means bytes.
enum ThresholdUnit : uint32_t {
    UNIT_PERCENT = 0,
    UNIT_KB = 1,
    UNIT_MB = 2,
    UNIT_GB = 3,
};

struct HostEntry {
    uint32_t excluded;  // only 1 leaves the target out of check cycles
    char host[65];      // host name or dotted IPv4 address
    uint16_t port;
    char path[261];  // path on the server whose volume is measured
    uint32_t threshold;
    uint32_t unit;  // a ThresholdUnit
    char description[64];
};

// Whether the target is left out of check cycles: it is then neither queried nor part of
// what a "*" row of its server watches.
inline bool IsExcluded(const HostEntry& entry) {
    return entry.excluded == 1;
}

// A new target: not excluded, port 50801, threshold 10 %, texts empty.
HostEntry NewHostEntry();

// "%", "KB", "MB", "GB", or "B" for any other code.
const char* UnitText(uint32_t unit);

// The limit L that free space is graded against: threshold x 10 per mille (a 32-bit
// product) for UNIT_PERCENT, the threshold in bytes (a 64-bit product) otherwise.
uint64_t ThresholdLimit(uint32_t threshold, uint32_t unit);

// The measured value V compared with the limit: free x 1000 / total per mille (0 when
// the total is 0) for UNIT_PERCENT, the free bytes otherwise.
uint64_t MeasuredValue(uint32_t unit, uint64_t freeBytes, uint64_t totalBytes);

// The threshold in bytes: the per cent of the volume's total for UNIT_PERCENT, the fixed
// amount otherwise. What the monitoring bridges report beside the free bytes.
uint64_t ThresholdBytes(uint32_t threshold, uint32_t unit, uint64_t totalBytes);

// Whether two hosts of the list name one machine: the same text, or "localhost" (in any
// case) and "127.0.0.1".
bool SameHost(const char* a, const char* b);
// Whether two rows are one target: the same host (SameHost), port, path and threshold. A
// cycle asks the first of them and shows it as that row spells its host. (Rows of one disk
// with thresholds of their own stay rows of their own.)
bool SameTarget(const HostEntry& a, const HostEntry& b);

// Copies text into a field of size bytes: cut at size - 1 bytes, always NUL-ended.
void CopyField(char* field, size_t size, const char* text);
