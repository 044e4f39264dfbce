// The last error reason of each target, so that a reason is logged when it changes and
// not again in every cycle that it stays.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

class ErrorReasonLog {
public:
    // Records reason (an ErrorReason) as the latest of the target at host, port and path;
    // true when it differs from the one before (REASON_NONE for a target not seen yet).
    bool Changed(const char* host, unsigned port, const char* path, int32_t reason);

private:
    std::mutex m_lock;
    std::map<std::string, int32_t> m_latest;
};
