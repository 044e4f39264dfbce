// The volumes of the rows whose path is "*" from one cycle to the next: a volume that comes
// or goes is said once in the log, not shown as an error for ever.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "net/check_result.h"

class VolumeChanges {
public:
    // The log lines of a cycle's results: for a server seen for the first time, how many of
    // its volumes are watched; later, each volume that is new and each that has gone. A
    // server whose list failed this cycle keeps the volumes it had.
    std::vector<std::string> Update(const std::vector<CheckResult>& results);

private:
    std::map<std::string, std::set<std::string>> m_known;  // "host (port)": volumes
};
