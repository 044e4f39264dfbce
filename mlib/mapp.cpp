// The application base class: construction, the log and the exception reporting.
#include "mlib/mapp.h"

#include <cstdio>
#include <cstring>

#include "mlib/mbchar.h"
#include "mlib/mexception.h"

namespace {

// The log line buffer, guarded by logLock, and the message box buffer, used from the
// user-interface thread only. Both end in a NUL at their last byte after use.
char g_logBuffer[4096];
char g_messageBoxBuffer[4096];

const char CUT_NOTICE[] = "...(長すぎるため切り捨てられました)";

// The whole line: time stamp, module name, message, notice and line end.
char g_lineBuffer[64 + 261 + 1 + LOG_MESSAGE_MAX + sizeof CUT_NOTICE + 2];

// The application object that window exceptions are reported to: the latest one made.
MApp* g_currentApp = nullptr;

// lstrcpynA: copies at most size - 1 bytes and always ends with a NUL.
void CopyBounded(char* out, const char* in, size_t size) {
    size_t length = strlen(in);
    if (length > size - 1) {
        length = size - 1;
    }
    memcpy(out, in, length);
    out[length] = '\0';
}

}  // namespace

MApp::MApp(HINSTANCE instance, char* commandLine, int showCommand)
    : instance(instance),
      commandLine(commandLine),
      showCommand(showCommand),
      m_previousApp(g_currentApp),
      m_inLoop(false),
      m_loopWindow(NULL),
      m_windowFailed(false),
      m_closeRequested(false) {
    g_currentApp = this;
    logLock.Initialize();
    if (!MInitCommonControls()) {
        MMessageBox(NULL, "InitCommonControlsEx", "コモンコントロールの初期化に失敗しました！",
                    MB_ICONERROR);
    }
    moduleDir[0] = '\0';
    moduleName[0] = '\0';
    char path[520];
    if (MGetModuleFileName(instance, path, sizeof path) == 0) {
        return;
    }
    path[sizeof path - 1] = '\0';
    // The last separator, found at character boundaries; the first byte is not examined.
    const char* separator = NULL;
    for (const char* p = path; *p != '\0'; p += MbcCharLength(p)) {
        if (*p == M_PATH_SEPARATOR && p != path) {
            separator = p;
        }
    }
    if (separator == NULL) {
        return;
    }
    CopyBounded(moduleName, separator + 1, sizeof moduleName);
    size_t dirLength = static_cast<size_t>(separator - path);
    if (dirLength > sizeof moduleDir - 1) {
        dirLength = sizeof moduleDir - 1;
    }
    memcpy(moduleDir, path, dirLength);
    moduleDir[dirLength] = '\0';
}

MApp::~MApp() {
    if (g_currentApp == this) {
        g_currentApp = m_previousApp;
    }
    logLock.Enter();
    logFile.Close();
    logLock.Leave();
    logLock.Delete();
}

int MApp::Run() {
    int exitCode = 2;
    try {
        exitCode = Init();
    } catch (...) {
        ReportException();
        exitCode = 2;
    }
    if (m_windowFailed && exitCode < 2) {
        exitCode = 2;
    }
    return exitCode;
}

void MApp::ReportException() {
    try {
        throw;
    } catch (MException* exception) {
        Log("<<例外>> %s", exception->GetText());
        MMessageBox(NULL, exception->GetText(), "MException", MB_ICONERROR);
    } catch (const char* text) {
        Log("<<例外>> %s", text);
        MMessageBox(NULL, text, "例外発生", MB_ICONERROR);
    } catch (...) {
        char text[4096];
        GetErrorText(text, MGetLastError(), sizeof text);
        MessageBoxF(NULL, MB_ICONERROR, "例外発生", "Error = %s", text);
    }
}

void MApp::HandleWindowException(HWND window, bool windowGoing) {
    MApp* app = g_currentApp;
    if (app == nullptr) {
        MPostQuitMessage(2);  // no application object to report to: only the loop can end
        return;
    }
    app->ReportException();
    app->EndAfterException(window, windowGoing);
}

// The close runs the whole shutdown (servers stopped, threads waited for) before the
// loop ends; a window that fails while it is being destroyed, or fails again, can no
// longer get there, and the loop ends at once. A close asked for before the loop runs
// is posted when it starts.
void MApp::EndAfterException(HWND window, bool windowGoing) {
    m_windowFailed = true;
    if (m_closeRequested || (windowGoing && window == m_loopWindow)) {
        MPostQuitMessage(2);
        return;
    }
    m_closeRequested = true;
    Log("例外が発生したため終了します。");
    if (m_inLoop) {
        PostClose();
    }
}

void MApp::EnterLoop(HWND window) {
    m_inLoop = true;
    m_loopWindow = window;
    if (m_closeRequested) {
        PostClose();
    }
}

void MApp::LeaveLoop() {
    m_inLoop = false;
    m_loopWindow = NULL;
}

// Without a window of its own the loop can only be ended.
void MApp::PostClose() {
    if (m_loopWindow == NULL || !MPostMessage(m_loopWindow, WM_CLOSE, 0, 0)) {
        MPostQuitMessage(2);
    }
}

// Mode LOG_NONE opens nothing: no file is created, emptied or written, and every Log
// answers LOG_NOT_OPEN. Modes other than 0 and 1 append, as the settings dialog shows them.
bool MApp::OpenLog(const char* path, unsigned mode) {
    logFile.Close();
    if (mode == LOG_NONE) {
        return true;
    }
    if (!logFile.Create(path, mode == LOG_OVERWRITE ? M_CREATE_ALWAYS : M_OPEN_ALWAYS)) {
        MessageBoxF(NULL, MB_ICONERROR, "Error!",
                    "ログファイル名=%s\nログファイルのオープンに失敗！！\nログは記録されません。",
                    path);
        return false;
    }
    if (mode != LOG_OVERWRITE) {
        logFile.SetPointerToEnd();
    }
    return true;
}

void MApp::CloseLog() {
    MLockGuard hold(logLock);
    logFile.Close();
}

int MApp::Log(const char* format, ...) {
    MLockGuard hold(logLock);

    va_list arguments;
    va_start(arguments, format);
    int length = MVFormat(g_logBuffer, sizeof g_logBuffer, format, arguments);
    va_end(arguments);
    g_logBuffer[sizeof g_logBuffer - 1] = '\0';

    MLocalTime now;
    MGetLocalTime(&now);
    char stamp[64];
    int stampLength = snprintf(stamp, sizeof stamp, "%04u/%02u/%02u %02u:%02u:%02u\t",
                               unsigned{now.year}, unsigned{now.month}, unsigned{now.day},
                               unsigned{now.hour}, unsigned{now.minute}, unsigned{now.second});

    if (!logFile.IsOpen()) {
        return LOG_NOT_OPEN;
    }

    bool cut = false;
    if (length < 0) {
        length = static_cast<int>(strlen(g_logBuffer));  // a formatting error: what it made
    } else if (length > LOG_MESSAGE_MAX) {
        length = LOG_MESSAGE_MAX;
        cut = true;
    }

    // The line goes out in one write, one system call: busy servers log every answer.
    size_t used = 0;
    auto append = [&](const char* text, size_t size) {
        memcpy(g_lineBuffer + used, text, size);
        used += size;
    };
    append(stamp, static_cast<size_t>(stampLength));
    append(moduleName, strlen(moduleName));
    append("\t", 1);
    append(g_logBuffer, static_cast<size_t>(length));
    if (cut) {
        append(CUT_NOTICE, sizeof CUT_NOTICE - 1);
    }
    append("\r\n", 2);
    bool failed = !logFile.Write(g_lineBuffer, used);
    logFile.FlushBuffers();

    if (failed) {
        return LOG_FAILED;
    }
    return cut ? LOG_CUT : LOG_WRITTEN;
}

int MessageBoxF(HWND owner, unsigned type, const char* caption, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    MVFormat(g_messageBoxBuffer, sizeof g_messageBoxBuffer, format, arguments);
    va_end(arguments);
    g_messageBoxBuffer[sizeof g_messageBoxBuffer - 1] = '\0';
    return MMessageBox(owner, g_messageBoxBuffer, caption, type);
}
