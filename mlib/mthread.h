// A thread whose owner waits for it and closes its handle (_beginthreadex); the
// object itself neither waits nor closes.
#pragma once

#include "mlib/msys.h"

class MThread {
public:
    typedef unsigned(M_THREAD_CALL* Procedure)(void* argument);

    MThread();
    virtual ~MThread();
    MThread(const MThread&) = delete;
    MThread& operator=(const MThread&) = delete;

    // Starts the procedure (the stored one when null) with a null argument. False, and
    // nothing started, while an earlier thread of this object still runs.
    bool Start(Procedure procedure);
    // Waits without limit until the thread has ended (WaitForSingleObject).
    bool Wait();
    // Closes the handle and forgets it (CloseHandle).
    void CloseHandle();
    bool HasHandle() const;
    bool IsRunning() const;

private:
    Procedure m_procedure;
    MNativeThread m_handle;
};
