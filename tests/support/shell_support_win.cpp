// Helpers for tests of the main window and the status window.
#include "tests/support/shell_support_win.h"

#include "mlib/msocket.h"

namespace {

std::vector<TrayRecorder::Call> g_calls;
BOOL g_trayAnswer = TRUE;
std::function<void(DWORD, NOTIFYICONDATAA*)> g_trayAction;

}  // namespace

uint16_t FreeLocalPort() {
    FswSocket probe;
    if (!probe.Create(6)) {
        return 0;
    }
    ZeroMemory(&probe.address, sizeof probe.address);
    probe.address.v4.sin_family = AF_INET;
    probe.address.v4.sin_addr.s_addr = MInetAddr("127.0.0.1");
    if (MBind(probe.handle, &probe.address) != 0) {
        return 0;
    }
    return MGetLocalPort(probe.handle);
}

void PumpMessages(unsigned milliseconds) {
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

TrayRecorder::TrayRecorder(BOOL answer) {
    g_calls.clear();
    g_trayAnswer = answer;
    g_trayAction = nullptr;
    m_previous = MSetShellNotifyIconHook(Record);
}

TrayRecorder::~TrayRecorder() {
    g_trayAction = nullptr;
    MSetShellNotifyIconHook(m_previous);
}

std::vector<TrayRecorder::Call> TrayRecorder::Calls() const {
    return g_calls;
}

void TrayRecorder::OnCall(std::function<void(DWORD, NOTIFYICONDATAA*)> action) {
    g_trayAction = action;
}

void TrayRecorder::Clear() {
    g_calls.clear();
}

void TrayRecorder::SetAnswer(BOOL answer) {
    g_trayAnswer = answer;
}

std::vector<TrayRecorder::Call> TrayRecorder::CallsWithFlag(UINT flag) const {
    std::vector<Call> found;
    for (const Call& call : g_calls) {
        if (call.data.uFlags & flag) {
            found.push_back(call);
        }
    }
    return found;
}

// The shell reads only cbSize bytes of the data; the copy keeps no more either.
BOOL TrayRecorder::Record(DWORD message, NOTIFYICONDATAA* data) {
    Call call;
    call.message = message;
    ZeroMemory(&call.data, sizeof call.data);
    CopyMemory(&call.data, data, data->cbSize < sizeof call.data ? data->cbSize : sizeof call.data);
    call.tip = call.data.szTip;
    call.info = call.data.szInfo;
    call.infoTitle = call.data.szInfoTitle;
    g_calls.push_back(call);
    if (g_trayAction) {
        g_trayAction(message, data);
    }
    return g_trayAnswer;
}
