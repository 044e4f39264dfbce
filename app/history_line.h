// One line of the history file: "YYYY/MM/DD HH:MM:SS", host, port, path, status, free and
// total bytes, separated by tabs, ended by CR LF; the texts quoted as the host list's are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/history_point.h"
#include "app/wall_clock.h"
#include "mlib/mcsv.h"
#include "net/check_result.h"

// The line of a result, with its CR LF.
std::string FormatHistoryLine(const CheckResult& result);

// The time stamp at the start of a line as seconds since 1970/01/01 00:00:00 of the same
// wall clock (no time zone applied); false unless the line starts with a valid stamp.
bool ParseHistoryStamp(const char* line, size_t length, int64_t* wallSeconds);

// What a line holds.
struct HistoryLine {
    std::string host;
    uint16_t port;
    std::string path;
    HistoryPoint point;  // time in Unix seconds
};

// Parses a line (its bytes without the line end); false for a line that is not one of ours.
// The parser, with the tab as its delimiter, serves lines with quoted texts.
bool ParseHistoryLine(MCSVParser<char>* parser, const char* line, size_t length, LocalClock* clock,
                      HistoryLine* out);
