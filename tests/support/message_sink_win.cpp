// MessageSink on a message-only window of the test's thread, pumped while it waits.
#include "tests/support/message_sink.h"

struct MessageSink::Native {
    HWND window;
};

namespace {

const char SINK_CLASS[] = "FswTestMessageSink";

LRESULT CALLBACK SinkProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageSink* sink = reinterpret_cast<MessageSink*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (sink != NULL && message >= WM_APP) {
        sink->Record(message);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

MessageSink::MessageSink() : m_native(new Native) {
    WNDCLASSEXA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = SinkProcedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = SINK_CLASS;
    RegisterClassExA(&windowClass);  // fails harmlessly once registered
    m_native->window = CreateWindowExA(0, SINK_CLASS, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                       GetModuleHandleA(NULL), NULL);
    SetWindowLongPtrA(m_native->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageSink::~MessageSink() {
    DestroyWindow(m_native->window);
    delete m_native;
}

HWND MessageSink::Handle() const {
    return m_native->window;
}

bool MessageSink::WaitFor(unsigned message, size_t count, unsigned milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG next;
        while (PeekMessageA(&next, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&next);
            DispatchMessageA(&next);
        }
        if (Count(message) >= count) {
            return true;
        }
        if (GetTickCount() - start >= milliseconds) {
            return false;
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}
