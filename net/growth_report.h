// What a server says about the folders that grew on one of its volumes: the plain record
// that the server's scans are compared into, that travels as the reply to a folder-growth
// request, and that the client shows, prints and passes on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One scan taken into the comparison.
struct GrowthScanInfo {
    int64_t time = 0;      // when the scan ended, Unix seconds; 0: there was none
    bool partial = false;  // it stopped at its time bound or the program's stop
};

// A folder that explains part of the growth: not one of its children explains most of it.
struct GrowthFolder {
    std::string path;        // in the program's own code page
    uint64_t sizeBytes = 0;  // the space its files take on the disk now
    int64_t growthDay = 0;   // bytes since the scan of about one day before (may be < 0)
    int64_t growthWeek = 0;  // bytes since the scan of about seven days before
};

// A large file changed within the last seven days.
struct GrowthFile {
    std::string path;
    uint64_t sizeBytes = 0;
    int64_t changeTime = 0;  // its time of last change, Unix seconds
};

struct GrowthReport {
    GrowthScanInfo latest;
    GrowthScanInfo dayBefore;   // the scan nearest to one day before the latest, or the oldest
    GrowthScanInfo weekBefore;  // the scan nearest to seven days before, or the oldest
    std::vector<GrowthFolder> folders;  // largest growth over the week first
    std::vector<GrowthFile> files;      // largest first
};
