// MessageSink on the console message loop: the loop runs while the test waits, and a
// short timer of the sink ends it once the messages are there or the time is up.
#include "tests/support/message_sink.h"

#include <chrono>

namespace {

const uintptr_t SINK_TIMER = 0x5151;

}  // namespace

struct MessageSink::Native : public MMessageTarget {
    MessageSink* sink = nullptr;
    std::function<bool()> done;

    intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t) override {
        if (message == WM_TIMER && wParam == SINK_TIMER) {
            if (done && done()) {
                MKillTimer(this, SINK_TIMER);
                MPostQuitMessage(0);
            }
            return 0;
        }
        sink->Record(message);
        return 0;
    }
};

MessageSink::MessageSink() : m_native(new Native) {
    m_native->sink = this;
}

MessageSink::~MessageSink() {
    MForgetWindow(m_native);
    delete m_native;
}

HWND MessageSink::Handle() const {
    return m_native;
}

bool MessageSink::WaitFor(unsigned message, size_t count, unsigned milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    m_native->done = [&] {
        return Count(message) >= count || std::chrono::steady_clock::now() >= deadline;
    };
    MSetTimer(m_native, SINK_TIMER, 5);
    MRunMessageLoop();
    m_native->done = nullptr;
    return Count(message) >= count;
}
