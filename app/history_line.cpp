// The history file's line format.
#include "app/history_line.h"

#include <cinttypes>
#include <climits>
#include <cstdio>

namespace {

// Digits only, of a value of at most limit.
bool ReadUnsigned(const char* text, uint64_t limit, uint64_t* value) {
    if (*text == '\0') {
        return false;
    }
    uint64_t result = 0;
    for (const char* p = text; *p != '\0'; p++) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (digit > limit || result > (limit - digit) / 10) {
            return false;
        }
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

}  // namespace

std::string FormatHistoryLine(const CheckResult& result) {
    char stamp[40];
    snprintf(stamp, sizeof stamp, "%04u/%02u/%02u %02u:%02u:%02u\t", unsigned{result.year},
             unsigned{result.month}, unsigned{result.day}, unsigned{result.hour},
             unsigned{result.minute}, unsigned{result.second});
    char numbers[80];
    snprintf(numbers, sizeof numbers, "\t%d\t%" PRIu64 "\t%" PRIu64 "\r\n",
             static_cast<int>(result.status), result.freeBytes, result.totalBytes);
    char port[16];
    snprintf(port, sizeof port, "\t%u\t", unsigned{result.port});
    return stamp + MQuoteColumn(result.host, sizeof result.host) + port +
           MQuoteColumn(result.path, sizeof result.path) + numbers;
}

bool ParseHistoryStamp(const char* line, size_t length, int64_t* wallSeconds) {
    static const char PATTERN[] = "0000/00/00 00:00:00";
    const size_t size = sizeof PATTERN - 1;
    if (length < size || (length > size && line[size] != '\t')) {
        return false;
    }
    unsigned fields[6] = {};
    unsigned field = 0;
    for (size_t i = 0; i < size; i++) {
        if (PATTERN[i] == '0') {
            if (line[i] < '0' || line[i] > '9') {
                return false;
            }
            fields[field] = fields[field] * 10 + static_cast<unsigned>(line[i] - '0');
        } else if (line[i] != PATTERN[i]) {
            return false;
        } else {
            field++;
        }
    }
    if (fields[1] < 1 || fields[1] > 12 || fields[2] < 1 || fields[2] > 31 || fields[3] > 23 ||
        fields[4] > 59 || fields[5] > 60) {
        return false;
    }
    *wallSeconds = DaysFromCivil(fields[0], fields[1], fields[2]) * 86400 + fields[3] * 3600 +
                   fields[4] * 60 + fields[5];
    return true;
}

bool ParseHistoryLine(MCSVParser<char>* parser, const std::string& line, LocalClock* clock,
                      HistoryLine* out) {
    int64_t wall;
    if (!ParseHistoryStamp(line.data(), line.size(), &wall) ||
        line.find('\0') != std::string::npos) {
        return false;
    }
    // The parser drops the last byte, the line feed.
    parser->Parse((line + '\n').c_str());
    uint64_t port;
    uint64_t status;
    if (parser->GetCount() != 7 || !ReadUnsigned(parser->GetColumn(2), 65535, &port) ||
        !ReadUnsigned(parser->GetColumn(4), 5, &status) || status == 0 ||
        !ReadUnsigned(parser->GetColumn(5), UINT64_MAX, &out->point.freeBytes) ||
        !ReadUnsigned(parser->GetColumn(6), UINT64_MAX, &out->point.totalBytes)) {
        return false;
    }
    int64_t unix = clock->ToUnix(wall);
    if (unix == INT64_MIN) {
        return false;
    }
    out->host = parser->GetColumn(1);
    out->port = static_cast<uint16_t>(port);
    out->path = parser->GetColumn(3);
    out->point.time = unix;
    out->point.status = static_cast<int32_t>(status);
    return true;
}
