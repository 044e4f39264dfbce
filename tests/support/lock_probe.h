// Tells whether another thread could take each of the application's six locks right
// now. A box that is open while its thread holds one stops every thread that needs
// that lock until the user answers: query threads cannot count down, a shutdown from
// the box's own loop waits for them for ever.
#pragma once

#include <string>
#include <thread>
#include <vector>

#include "app/kiv.h"

class LockProbe {
public:
    explicit LockProbe(Kiv& app) : m_app(app) {}
    ~LockProbe();  // waits for the probes still kept waiting, once their locks are free
    LockProbe(const LockProbe&) = delete;
    LockProbe& operator=(const LockProbe&) = delete;

    // The names of the locks that another thread could not take within a second.
    std::vector<std::string> HeldLocks();
    // A test failure for each held lock, naming what was open meanwhile.
    void ExpectNoneHeld(const std::string& what);

private:
    Kiv& m_app;
    std::vector<std::thread> m_waiting;
};
