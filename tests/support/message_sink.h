// A window that records the messages posted to it, for tests of code that posts to the
// main window. Messages are delivered on the test's thread while it waits.
#pragma once

#include <functional>
#include <vector>

#include "mlib/msys.h"

class MessageSink {
public:
    MessageSink();
    ~MessageSink();
    MessageSink(const MessageSink&) = delete;
    MessageSink& operator=(const MessageSink&) = delete;

    HWND Handle() const;
    // Delivers posted messages until count messages of this number have arrived in
    // all, or the time is up; true if they arrived.
    bool WaitFor(unsigned message, size_t count, unsigned milliseconds);
    // Messages of this number received so far.
    size_t Count(unsigned message) const;

    // Called on the test's thread for every message delivered.
    std::function<void(unsigned message)> onMessage;

    void Record(unsigned message);  // used by the platform side

private:
    struct Native;
    Native* m_native;
    std::vector<unsigned> m_received;
};
