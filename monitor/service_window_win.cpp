// The front end of the Windows service.
#include "monitor/service_window_win.h"

#include "mlib/mapp.h"
#include "mlib/mini.h"
#include "monitor/messages.h"
#include "net/server.h"

namespace {

const char SERVICE_WINDOW_CLASS[] = "FSW_ServiceClass";

// A text as one line of the log (a balloon's, a note's): a line break becomes a space.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r') {
            continue;
        }
        line += c == '\n' ? ' ' : c;
    }
    return line;
}

}  // namespace

std::string BoxLogLine(const char* caption, const char* text) {
    return OneLine(std::string(caption != NULL ? caption : "") + ": " + (text != NULL ? text : ""));
}

ServiceWin::ServiceWin(ServiceHost& host)
    : m_host(host), m_log(&MNoLog()), m_failure(SERVICE_OK), m_quitOnDestroy(false) {}

bool ServiceWin::Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance,
                        HWND parent) {
    WNDCLASSEXA own;
    if (classInfo == NULL) {
        MFillWindowClass(&own, instance, SERVICE_WINDOW_CLASS);
        classInfo = &own;
    }
    if (!RegisterClassExA(classInfo) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    return CreateWindowExA(0, classInfo->lpszClassName, title, 0, 0, 0, 0, 0, parent, NULL,
                           instance, static_cast<MWinBase*>(this)) != NULL;
}

bool ServiceWin::Open(HINSTANCE instance, MLogSink& log, const FrontEndStart& start) {
    m_log = &log;
    m_start = start;
    ResetShutdown();
    m_failure = SERVICE_OK;
    m_quitOnDestroy = false;
    if (!Create(APP_TITLE, NULL, instance, HWND_MESSAGE)) {
        char text[256];
        GetErrorText(text, GetLastError(), sizeof text);
        Fail(SERVICE_START_FAILED, std::string("サービスのウインドウを作成できません: ") + text);
        return false;
    }
    ServiceFailure failure = StartFailure();
    if (failure != SERVICE_OK) {
        return false;
    }
    m_quitOnDestroy = true;
    m_host.ReportRunning();
    m_host.WriteEvent(SERVICE_EVENT_START, EVENT_LEVEL_INFO, m_start.startLine);
    return true;
}

// The files are checked before the roles start, the server's listening after. Only a
// server that can never listen (SVPORT outside 1 to 65535, an SVADDR no machine can have)
// fails the start; one that waits for its address or port reports RUNNING and goes on
// trying, as the tray program's does, so that a boot where the network comes up late
// still ends with a listening service.
ServiceFailure ServiceWin::StartFailure() {
    const FrontEndStart& start = m_start;
    char text[600];
    MReadResult settings = MIniCheckFile(start.iniPath.c_str());
    if (settings != M_READ_DONE && settings != M_READ_MISSING) {
        snprintf(text, sizeof text,
                 "設定ファイルを読み込めないため、サービスを開始できません。(File=%s)",
                 start.iniPath.c_str());
        Fail(SERVICE_FILE_UNREADABLE, text);
        return m_failure;
    }
    if (start.logMode != LOG_NONE && !start.logOpen) {
        snprintf(text, sizeof text,
                 "ログファイルを開けないため、サービスを開始できません。(File=%s)",
                 start.logPath.c_str());
        Fail(SERVICE_LOG_UNWRITABLE, text);
        return m_failure;
    }
    std::string note = m_host.InstallNote();
    if (!note.empty() && start.server == 1) {
        m_host.WriteEvent(SERVICE_EVENT_MESSAGE, EVENT_LEVEL_WARNING, note);
        m_log->WriteLine(OneLine(note));
    }
    if (start.server != 1 && start.client != 1) {
        snprintf(text, sizeof text,
                 settings == M_READ_MISSING
                     ? "設定ファイルがないため、サーバもクライアントも動作しません。(File=%s)"
                     : "SERVER も CLIENT も 1 ではないため、サーバもクライアントも動作しません。"
                       "(File=%s)",
                 start.iniPath.c_str());
        m_log->WriteLine(text);
        m_host.WriteEvent(SERVICE_EVENT_MESSAGE, EVENT_LEVEL_WARNING, text);
    }
    StartRoles();
    if (start.server == 1 &&
        !(m_serverRunning && (WaitForServerListening(m_serverThread, SERVICE_LISTEN_WAIT_MS) ||
                              m_serverThread.IsRunning()))) {
        snprintf(text, sizeof text, "ポート %u で待ち受けできないため、サービスを開始できません",
                 unsigned{start.serverPort});
        Fail(SERVICE_PORT_UNUSABLE, text);
        return m_failure;
    }
    return SERVICE_OK;
}

// What was started is stopped in order, with the end line, and the window goes without
// ending a loop that never ran.
void ServiceWin::Fail(ServiceFailure failure, const std::string& text) {
    m_failure = failure;
    m_log->WriteLine(text);
    m_host.WriteEvent(SERVICE_EVENT_START_FAILED, EVENT_LEVEL_ERROR, text);
    if (hwnd != NULL) {
        ::DestroyWindow(hwnd);
    }
}

LRESULT ServiceWin::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (DispatchShared(message, wParam)) {
        return 0;
    }
    switch (message) {
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_APP_SERVICE_RELOAD:
            if (m_host.TakeReload()) {
                ReloadOnRequest();
            }
            return 0;
        case WM_APP_SERVICE_STOP:
            m_log->WriteLine(wParam == 1 ? "Windowsがシャットダウンされます。"
                                         : "サービスの停止要求を受けました");
            ::DestroyWindow(hwnd);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

// The tray program's shutdown without its windows: the roles stopped and waited for,
// then the end line, which the event log gets too.
void ServiceWin::OnDestroy() {
    BeginShutdown();
    StopRoles();
    const std::string& endLine = m_start.endLine;
    m_log->WriteLine(endLine);
    if (m_quitOnDestroy) {
        m_host.WriteEvent(SERVICE_EVENT_STOP, EVENT_LEVEL_INFO, endLine);
        PostQuitMessage(0);
    }
}

void ServiceWin::ReportProblemCycle(const CycleSummary& summary) {
    char text[512];
    const char* title = "";
    unsigned iconFlag = 0;
    if (!MakeCycleBalloon(summary, text, sizeof text, &title, &iconFlag)) {
        return;
    }
    std::string line = OneLine(std::string(title) + ": " + text);
    m_log->WriteLine(line);
    m_host.WriteEvent(SERVICE_EVENT_CYCLE,
                      SummaryLevel(summary) >= 3 ? EVENT_LEVEL_ERROR : EVENT_LEVEL_WARNING, line);
}
