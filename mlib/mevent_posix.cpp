// MEvent on a pthread mutex and condition: the flag is set and taken under the mutex.
#include "mlib/mevent.h"

#include <pthread.h>

struct MPosixEvent {
    pthread_mutex_t lock;
    pthread_cond_t changed;
    bool set;
};

MEvent::MEvent() : m_event(nullptr) {}

MEvent::~MEvent() {
    Close();
}

bool MEvent::Create() {
    Close();
    MPosixEvent* event = new MPosixEvent;
    event->set = false;
    if (pthread_mutex_init(&event->lock, nullptr) != 0) {
        delete event;
        return false;
    }
    if (pthread_cond_init(&event->changed, nullptr) != 0) {
        pthread_mutex_destroy(&event->lock);
        delete event;
        return false;
    }
    m_event = event;
    return true;
}

bool MEvent::IsCreated() const {
    return m_event != nullptr;
}

bool MEvent::Set() {
    if (m_event == nullptr || pthread_mutex_lock(&m_event->lock) != 0) {
        return false;
    }
    m_event->set = true;
    pthread_cond_signal(&m_event->changed);
    pthread_mutex_unlock(&m_event->lock);
    return true;
}

bool MEvent::Wait() {
    if (m_event == nullptr || pthread_mutex_lock(&m_event->lock) != 0) {
        return false;
    }
    while (!m_event->set) {
        if (pthread_cond_wait(&m_event->changed, &m_event->lock) != 0) {
            pthread_mutex_unlock(&m_event->lock);
            return false;
        }
    }
    m_event->set = false;
    pthread_mutex_unlock(&m_event->lock);
    return true;
}

void MEvent::Close() {
    if (m_event != nullptr) {
        pthread_cond_destroy(&m_event->changed);
        pthread_mutex_destroy(&m_event->lock);
        delete m_event;
        m_event = nullptr;
    }
}
