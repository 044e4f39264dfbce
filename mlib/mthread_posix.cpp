// MThread on pthreads: the handle is a small record that the thread marks when it ends.
#include "mlib/mthread.h"

#include <atomic>

struct MPosixThread {
    pthread_t thread;
    MThread::Procedure procedure;
    std::atomic<bool> running;
    bool joined;
};

namespace {

void* RunThread(void* raw) {
    MPosixThread* handle = static_cast<MPosixThread*>(raw);
    handle->procedure(nullptr);
    handle->running = false;
    return nullptr;
}

// Releases a handle; a thread nobody waited for is detached, so it frees itself.
void ReleaseHandle(MPosixThread* handle) {
    if (!handle->joined) {
        pthread_detach(handle->thread);
    }
    delete handle;
}

}  // namespace

MThread::MThread() : m_procedure(nullptr), m_handle(nullptr) {}

MThread::~MThread() {}

bool MThread::Start(Procedure procedure) {
    if (procedure != nullptr) {
        m_procedure = procedure;
    }
    if (m_handle != nullptr) {
        if (m_handle->running) {
            return false;
        }
        ReleaseHandle(m_handle);
        m_handle = nullptr;
    }
    if (m_procedure == nullptr) {
        return false;
    }
    MPosixThread* handle = new MPosixThread;
    handle->procedure = m_procedure;
    handle->running = true;
    handle->joined = false;
    if (pthread_create(&handle->thread, nullptr, RunThread, handle) != 0) {
        delete handle;
        return false;
    }
    m_handle = handle;
    return true;
}

bool MThread::Wait() {
    if (m_handle == nullptr) {
        return false;
    }
    if (!m_handle->joined) {
        m_handle->joined = pthread_join(m_handle->thread, nullptr) == 0;
    }
    return m_handle->joined;
}

void MThread::CloseHandle() {
    if (m_handle != nullptr) {
        ReleaseHandle(m_handle);
        m_handle = nullptr;
    }
}

bool MThread::HasHandle() const {
    return m_handle != nullptr;
}

bool MThread::IsRunning() const {
    return m_handle != nullptr && m_handle->running;
}
