// The lock probe: one thread per lock, each taking and letting go of it.
#include "tests/support/lock_probe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "tests/support/test_support.h"

LockProbe::~LockProbe() {
    for (std::thread& thread : m_waiting) {
        thread.join();
    }
}

std::vector<std::string> LockProbe::HeldLocks() {
    struct Lock {
        const char* name;
        MCriticalSection* lock;
    };
    const Lock locks[] = {
        {"m_dialogLock", &m_app.m_dialogLock},
        {"m_hostLock", &m_app.m_hostLock},
        {"m_resultLock", &m_app.m_resultLock},
        {"m_serverCountLock", &m_app.m_serverCountLock},
        {"m_queryCountLock", &m_app.m_queryCountLock},
        {"m_acceptLock", &m_app.m_acceptLock},
    };
    const size_t count = sizeof locks / sizeof locks[0];
    std::shared_ptr<std::atomic<bool>[]> taken(new std::atomic<bool>[count]);
    std::vector<std::thread> probes;
    for (size_t i = 0; i < count; i++) {
        taken[i] = false;
        MCriticalSection* lock = locks[i].lock;
        probes.emplace_back([lock, taken, i] {
            lock->Enter();
            lock->Leave();
            taken[i] = true;
        });
    }
    WaitUntil(
        [&] {
            for (size_t i = 0; i < count; i++) {
                if (!taken[i]) {
                    return false;
                }
            }
            return true;
        },
        1000);
    std::vector<std::string> held;
    for (size_t i = 0; i < count; i++) {
        if (!taken[i]) {
            held.push_back(locks[i].name);
            m_waiting.push_back(std::move(probes[i]));  // joined once the lock is let go
        } else {
            probes[i].join();
        }
    }
    return held;
}

void LockProbe::ExpectNoneHeld(const std::string& what) {
    for (const std::string& name : HeldLocks()) {
        ADD_FAILURE() << name << " is held while " << what;
    }
}
