// Name resolution with a time limit: the system's lookup runs on a thread of its own,
// which the caller abandons when its time is up or it is told to stop. The lookup's
// state is shared and reference-counted, so an abandoned lookup frees it itself once
// the system answers, and the caller's memory is never touched after it has gone.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "mlib/msocket.h"

// How a bounded lookup ended.
enum MResolveOutcome : int {
    M_RESOLVE_FOUND,      // the addresses are in *found
    M_RESOLVE_FAILED,     // the name has no address, or no lookup could be started
    M_RESOLVE_TIMED_OUT,  // the deadline passed first; the lookup is abandoned
    M_RESOLVE_CANCELLED,  // the stop flag was set first; the lookup is abandoned
};

// Lookups that may run at once, abandoned ones included; a lookup beyond them fails at
// once, so a resolver that never answers cannot pile up threads without end.
const int M_MAX_RUNNING_LOOKUPS = 64;

// Addresses of one name that a lookup keeps, in the resolver's order.
const int M_MAX_RESOLVED = 8;
struct MResolved {
    MSocketAddress addresses[M_MAX_RESOLVED];
    int count = 0;
};

// Resolves name (at most 127 bytes of it) to its addresses of the family (port 0).
// Returns by the deadline, or within a tenth of a second of *stop becoming true
// (stop may be null).
MResolveOutcome MResolveHostBefore(const char* name, MAddressFamily family, MResolved* found,
                                   std::chrono::steady_clock::time_point deadline,
                                   const std::atomic<bool>* stop);

// Lookup threads still running, abandoned ones included.
int MRunningLookups();

// The lookup that MResolveHostBefore runs on its thread: MResolveHost unless a test
// replaces it (one that never answers, say). Returns the previous one.
typedef int (*MHostResolver)(const char* name, MAddressFamily family, MSocketAddress* found,
                             int most);
MHostResolver MSetHostResolver(MHostResolver resolver);
