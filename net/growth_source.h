// Where the server's answer to a folder-growth request comes from: the kept scans of its
// volumes. The server is handed one (or none, when GROWTH is off) and never looks further.
#pragma once

#include <string>

#include "net/growth_report.h"

class GrowthSource {
public:
    virtual ~GrowthSource() {}
    // The report for the folders under path (in the program's own code page), or false when
    // no scan covers it. Called from the server's handler threads at once: must be safe so.
    virtual bool ReportFor(const std::string& path, GrowthReport* report) = 0;
};
