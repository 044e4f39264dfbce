// MEvent on a Win32 auto-reset event.
#include "mlib/mevent.h"

MEvent::MEvent() : m_event(NULL) {}

MEvent::~MEvent() {
    Close();
}

bool MEvent::Create() {
    Close();
    m_event = CreateEventA(NULL, FALSE, FALSE, NULL);
    return m_event != NULL;
}

bool MEvent::IsCreated() const {
    return m_event != NULL;
}

bool MEvent::Set() {
    return m_event != NULL && SetEvent(m_event) != 0;
}

bool MEvent::Wait() {
    return m_event != NULL && WaitForSingleObject(m_event, INFINITE) == WAIT_OBJECT_0;
}

void MEvent::Close() {
    if (m_event != NULL) {
        CloseHandle(m_event);
        m_event = NULL;
    }
}
