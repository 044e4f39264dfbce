// Helpers for tests of the main window and the status window.
#include "tests/support/shell_support_win.h"

namespace {

std::vector<TrayRecorder::Call> g_calls;
BOOL g_trayAnswer = TRUE;

}  // namespace

Kiv* PrepareTestApp(const TempDir& dir) {
    static char commandLine[] = "";
    Kiv* app = GetApp(GetModuleHandleA(NULL), commandLine, SW_SHOWNORMAL);
    static bool locksReady = false;
    if (!locksReady) {
        // As Kiv::Init does; they live for the whole test program.
        app->m_dialogLock.Initialize();
        app->m_hostLock.Initialize();
        app->m_resultLock.Initialize();
        app->m_serverCountLock.Initialize();
        app->m_queryCountLock.Initialize();
        app->m_acceptLock.Initialize();
        locksReady = true;
    }
    app->GetVersionNumbers(&app->m_version[0], &app->m_version[1], &app->m_version[2],
                           &app->m_version[3]);
    BuildPath(app->m_iniPath, sizeof app->m_iniPath, dir.Path().c_str(), "fsw.ini");
    BuildPath(app->m_listPath, sizeof app->m_listPath, dir.Path().c_str(), "fsw.lst");
    BuildPath(app->m_logPath, sizeof app->m_logPath, dir.Path().c_str(), "fsw.log");
    app->OpenLog(app->m_logPath, LOG_OVERWRITE);
    app->m_server = 0;
    app->m_serverPort = 0;
    app->m_serverStop = false;
    app->m_client = 0;
    app->m_interval = 10;
    app->m_notify = 1;
    app->m_hosts.clear();
    app->m_results.clear();
    app->m_queryThreadCount = 0;
    app->m_serverThreadCount = 0;
    return app;
}

std::vector<std::string> LogMessages(const TempDir& dir) {
    std::vector<std::string> messages;
    for (const std::string& line : SplitLines(ReadFileBytes(dir.File("fsw.log")))) {
        size_t secondTab = line.find('\t', line.find('\t') + 1);
        messages.push_back(secondTab == std::string::npos ? line : line.substr(secondTab + 1));
    }
    return messages;
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
    m_previous = MSetShellNotifyIconHook(Record);
}

TrayRecorder::~TrayRecorder() {
    MSetShellNotifyIconHook(m_previous);
}

std::vector<TrayRecorder::Call> TrayRecorder::Calls() const {
    return g_calls;
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
    return g_trayAnswer;
}
