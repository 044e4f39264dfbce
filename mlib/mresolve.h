// Name resolution with a time limit: the system's lookup runs on a thread of its own,
// which the caller abandons when its time is up or it is told to stop. The lookup's
// state is shared and reference-counted, so an abandoned lookup frees it itself once
// the system answers, and the caller's memory is never touched after it has gone.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// How a bounded lookup ended.
enum MResolveOutcome : int {
    M_RESOLVE_FOUND,      // the first IPv4 address is in *address
    M_RESOLVE_FAILED,     // the name has no IPv4 address, or no lookup could be started
    M_RESOLVE_TIMED_OUT,  // the deadline passed first; the lookup is abandoned
    M_RESOLVE_CANCELLED,  // the stop flag was set first; the lookup is abandoned
};

// Lookups that may run at once, abandoned ones included; a lookup beyond them fails at
// once, so a resolver that never answers cannot pile up threads without end.
const int M_MAX_RUNNING_LOOKUPS = 64;

// Resolves name (at most 127 bytes of it) to its first IPv4 address, network order.
// Returns by the deadline, or within a tenth of a second of *stop becoming true
// (stop may be null).
MResolveOutcome MResolveHostBefore(const char* name, uint32_t* address,
                                   std::chrono::steady_clock::time_point deadline,
                                   const std::atomic<bool>* stop);

// Lookup threads still running, abandoned ones included.
int MRunningLookups();

// The lookup that MResolveHostBefore runs on its thread: MResolveHostIPv4 unless a test
// replaces it (one that never answers, say). Returns the previous one.
typedef bool (*MHostResolver)(const char* name, uint32_t* address);
MHostResolver MSetHostResolver(MHostResolver resolver);
