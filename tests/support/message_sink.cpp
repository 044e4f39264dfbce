// The record of a MessageSink, shared by both platforms.
#include "tests/support/message_sink.h"

#include <algorithm>

void MessageSink::Record(unsigned message) {
    m_received.push_back(message);
    if (onMessage) {
        onMessage(message);
    }
}

size_t MessageSink::Count(unsigned message) const {
    return static_cast<size_t>(std::count(m_received.begin(), m_received.end(), message));
}
