// The history file's line format.
#include "app/history_line.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// Digits only, of a value of at most limit.
bool ReadUnsigned(const char* text, size_t length, uint64_t limit, uint64_t* value) {
    if (length == 0) {
        return false;
    }
    uint64_t result = 0;
    for (const char* p = text; p != text + length; p++) {
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

struct Column {
    const char* text;
    size_t length;
};

// The seven columns of a line. A line without quotes is cut at its tabs where it lies;
// one with quotes goes through the parser, which undoes them.
bool SplitColumns(MCSVParser<char>* parser, const char* line, size_t length, Column* columns) {
    const char* end = line + length;
    if (memchr(line, '"', length) == nullptr) {
        int count = 0;
        for (const char* start = line;; count++) {
            const char* tab = static_cast<const char*>(memchr(start, '\t', end - start));
            if (count == 7) {
                return false;
            }
            columns[count] = {start, static_cast<size_t>((tab != nullptr ? tab : end) - start)};
            if (tab == nullptr) {
                return count == 6;
            }
            start = tab + 1;
        }
    }
    // The parser takes a C text and drops its last byte, the line feed.
    parser->Parse((std::string(line, length) + '\n').c_str());
    if (parser->GetCount() != 7) {
        return false;
    }
    for (int i = 0; i < 7; i++) {
        columns[i] = {parser->GetColumn(i), strlen(parser->GetColumn(i))};
    }
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

bool ParseHistoryLine(MCSVParser<char>* parser, const char* line, size_t length, LocalClock* clock,
                      HistoryLine* out) {
    int64_t wall;
    Column columns[7];
    uint64_t port;
    uint64_t status;
    if (!ParseHistoryStamp(line, length, &wall) || memchr(line, '\0', length) != nullptr ||
        !SplitColumns(parser, line, length, columns) ||
        !ReadUnsigned(columns[2].text, columns[2].length, 65535, &port) ||
        !ReadUnsigned(columns[4].text, columns[4].length, 5, &status) || status == 0 ||
        !ReadUnsigned(columns[5].text, columns[5].length, UINT64_MAX, &out->point.freeBytes) ||
        !ReadUnsigned(columns[6].text, columns[6].length, UINT64_MAX, &out->point.totalBytes)) {
        return false;
    }
    int64_t unix = clock->ToUnix(wall);
    if (unix == INT64_MIN) {
        return false;
    }
    out->host.assign(columns[1].text, columns[1].length);
    out->port = static_cast<uint16_t>(port);
    out->path.assign(columns[3].text, columns[3].length);
    out->point.time = unix;
    out->point.status = static_cast<int32_t>(status);
    return true;
}
