// Name resolution with a time limit, on a lookup thread that may be abandoned.
#include "mlib/mresolve.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "mlib/msocket.h"

namespace {

std::atomic<MHostResolver> g_resolver{MResolveHost};
std::atomic<int> g_runningLookups{0};

// Shared by the caller and the lookup thread; whichever lets go last frees it.
struct Lookup {
    char name[128];
    MAddressFamily family = M_FAMILY_ANY;
    MHostResolver resolve;
    std::mutex lock;
    std::condition_variable answered;
    bool done = false;  // under lock
    MResolved found;
};

// The lookup thread's own reference, handed over on the heap.
void RunLookup(void* argument) {
    std::shared_ptr<Lookup>* held = static_cast<std::shared_ptr<Lookup>*>(argument);
    Lookup& lookup = **held;
    MResolved found;
    found.count = lookup.resolve(lookup.name, lookup.family, found.addresses, M_MAX_RESOLVED);
    {
        std::lock_guard<std::mutex> hold(lookup.lock);
        lookup.done = true;
        lookup.found = found;
    }
    lookup.answered.notify_all();
    delete held;  // frees the state too if the caller has given up on it
    g_runningLookups--;
}

// How long one wait lasts at most, so that the stop flag is seen in time.
const std::chrono::milliseconds STOP_CHECK_INTERVAL(100);

}  // namespace

MResolveOutcome MResolveHostBefore(const char* name, MAddressFamily family, MResolved* found,
                                   std::chrono::steady_clock::time_point deadline,
                                   const std::atomic<bool>* stop) {
    if (stop != nullptr && *stop) {
        return M_RESOLVE_CANCELLED;
    }
    if (++g_runningLookups > M_MAX_RUNNING_LOOKUPS) {
        g_runningLookups--;
        return M_RESOLVE_FAILED;
    }
    std::shared_ptr<Lookup> lookup = std::make_shared<Lookup>();
    size_t length = 0;
    while (length < sizeof lookup->name - 1 && name[length] != '\0') {
        lookup->name[length] = name[length];
        length++;
    }
    lookup->name[length] = '\0';
    lookup->family = family;
    lookup->resolve = g_resolver;
    std::shared_ptr<Lookup>* handedOver = new std::shared_ptr<Lookup>(lookup);
    if (!MBeginThread(RunLookup, handedOver)) {
        delete handedOver;
        g_runningLookups--;
        return M_RESOLVE_FAILED;
    }
    std::unique_lock<std::mutex> hold(lookup->lock);
    for (;;) {
        if (lookup->done) {
            if (lookup->found.count <= 0) {
                return M_RESOLVE_FAILED;
            }
            *found = lookup->found;
            return M_RESOLVE_FOUND;
        }
        if (stop != nullptr && *stop) {
            return M_RESOLVE_CANCELLED;
        }
        std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return M_RESOLVE_TIMED_OUT;
        }
        std::chrono::steady_clock::time_point until =
            deadline - now > STOP_CHECK_INTERVAL ? now + STOP_CHECK_INTERVAL : deadline;
        lookup->answered.wait_until(hold, until);
    }
}

int MRunningLookups() {
    return g_runningLookups;
}

MHostResolver MSetHostResolver(MHostResolver resolver) {
    return g_resolver.exchange(resolver);
}
