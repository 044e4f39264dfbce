// An auto-reset event: one thread waits until another sets it (CreateEventA, SetEvent,
// WaitForSingleObject). Used where a thread hands work to a new thread and must wait
// until the new thread has taken it.
#pragma once

#include "mlib/msys.h"

#ifdef _WIN32
typedef HANDLE MNativeEvent;
#else
struct MPosixEvent;
typedef MPosixEvent* MNativeEvent;
#endif

class MEvent {
public:
    MEvent();
    ~MEvent();  // closes the event
    MEvent(const MEvent&) = delete;
    MEvent& operator=(const MEvent&) = delete;

    bool Create();  // not set; false if the system has none to give
    bool IsCreated() const;
    // Wakes one waiter, or the next one to come; the event is then clear again.
    bool Set();
    // Blocks until the event is set and clears it. False on a failure of the wait.
    bool Wait();
    void Close();

private:
    MNativeEvent m_event;
};
