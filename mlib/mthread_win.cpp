// MThread on _beginthreadex.
#include "mlib/mthread.h"

#include <process.h>

MThread::MThread() : m_procedure(NULL), m_handle(NULL) {}

MThread::~MThread() {}

bool MThread::Start(Procedure procedure) {
    if (procedure != NULL) {
        m_procedure = procedure;
    }
    if (m_handle != NULL) {
        DWORD exitCode = 0;
        if (!GetExitCodeThread(m_handle, &exitCode) || exitCode == STILL_ACTIVE) {
            return false;
        }
        // The earlier thread has ended and its owner did not close the handle: close it
        // here, so a restarted thread leaks nothing.
        ::CloseHandle(m_handle);
        m_handle = NULL;
    }
    if (m_procedure == NULL) {
        return false;
    }
    uintptr_t handle = _beginthreadex(NULL, 0, m_procedure, NULL, 0, NULL);
    m_handle = reinterpret_cast<HANDLE>(handle);
    return m_handle != NULL;
}

bool MThread::Wait() {
    return m_handle != NULL && WaitForSingleObject(m_handle, INFINITE) == WAIT_OBJECT_0;
}

void MThread::CloseHandle() {
    if (m_handle != NULL) {
        ::CloseHandle(m_handle);
        m_handle = NULL;
    }
}

bool MThread::HasHandle() const {
    return m_handle != NULL;
}

bool MThread::IsRunning() const {
    DWORD exitCode = 0;
    return m_handle != NULL && GetExitCodeThread(m_handle, &exitCode) && exitCode == STILL_ACTIVE;
}
