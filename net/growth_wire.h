// The folder-growth request's reply on the wire, and the server's answer to one.
#pragma once

#include <cstdint>
#include <string>

#include "mlib/mlog_sink.h"
#include "net/growth_report.h"
#include "net/growth_source.h"

// The body of a reply with STATUS_OK, every number big-endian: three scans (the latest,
// the one of about a day before, of about seven days before), each an 8-byte time and a
// 1-byte flag (1: partial); a 16-bit count of folders, each a 16-bit path length, the path
// (1 to MAX_GROWTH_PATH bytes, the wire's code page), its size and its one-day and
// seven-day growth (8 bytes each, the growths signed); a 16-bit count of files, each a
// path as the folders' and its size and time of change (8 bytes each).
const int MAX_GROWTH_FOLDERS = 50;
const int MAX_GROWTH_FILES = 20;
const int MAX_GROWTH_PATH = 1023;
const int GROWTH_SCAN_SIZE = 9;
const int GROWTH_FOLDER_FIXED_SIZE = 2 + 24;  // an entry without its path
const int GROWTH_FILE_FIXED_SIZE = 2 + 16;
const uint32_t MAX_GROWTH_REPLY_SIZE =
    3 * GROWTH_SCAN_SIZE + 2 + MAX_GROWTH_FOLDERS * (GROWTH_FOLDER_FIXED_SIZE + MAX_GROWTH_PATH) +
    2 + MAX_GROWTH_FILES * (GROWTH_FILE_FIXED_SIZE + MAX_GROWTH_PATH);

// The report as it may travel in answer to a request for the path (the program's own code
// page): only entries on the path or below it, or named by a label that is no path (the
// source's line of what no folder explains), none with an empty path or one beyond
// MAX_GROWTH_PATH wire bytes, the folders by seven-day growth and the files by size, each
// cut at its cap.
GrowthReport GrowthReportUnder(const GrowthReport& report, const std::string& path);

// The body of a report within the caps (GrowthReportUnder), paths in the wire's code page.
std::string EncodeGrowthReport(const GrowthReport& report);
// Reads a body; false when it is not one whole report within the caps: a count or a path
// length beyond its cap, an empty path, an unknown flag, bytes missing or left over.
bool DecodeGrowthReport(const std::string& body, GrowthReport* report);

// The server's whole reply (header and body) to a growth request whose path was wirePath:
// STATUS_OK and the report under it, or STATUS_DISK_ERROR when no kept scan covers it, each
// with its log line.
std::string GrowthReplyBytes(GrowthSource& source, MLogSink& log, const std::string& wirePath);
