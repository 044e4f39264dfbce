// The application base class: construction, the log and the exception reporting.
#include "mlib/mapp.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "mlib/mbchar.h"
#include "mlib/mexception.h"

namespace {

// The message box buffer, used from the user-interface thread only. It ends in a NUL at
// its last byte after use.
char g_messageBoxBuffer[4096];

const char CUT_NOTICE[] = "...(長すぎるため切り捨てられました)";

// The whole line: time stamp, module name, message, notice and line end.
const size_t LOG_LINE_MAX = 64 + 261 + 1 + LOG_MESSAGE_MAX + sizeof CUT_NOTICE + 2;

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

// The last separator of a module path, found at character boundaries; the first byte is
// not examined. Null when there is none.
const char* LastSeparator(const char* path) {
    const char* separator = NULL;
    for (const char* p = path; *p != '\0'; p += MbcCharLength(p)) {
        if (*p == M_PATH_SEPARATOR && p != path) {
            separator = p;
        }
    }
    return separator;
}

}  // namespace

std::string MModuleFolder(HINSTANCE instance) {
    char path[520];
    if (MGetModuleFileName(instance, path, sizeof path) == 0) {
        return std::string();
    }
    path[sizeof path - 1] = '\0';
    const char* separator = LastSeparator(path);
    return separator != NULL ? std::string(path, static_cast<size_t>(separator - path))
                             : std::string();
}

MApp::MApp(HINSTANCE instance, char* commandLine, int showCommand)
    : logLimit(0),
      logSize(0),
      instance(instance),
      commandLine(commandLine),
      showCommand(showCommand),
      m_previousApp(g_currentApp),
      m_inLoop(false),
      m_loopWindow(NULL),
      m_windowFailed(false),
      m_closeRequested(false) {
    g_currentApp = this;
    logFilePath[0] = '\0';
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
    const char* separator = LastSeparator(path);
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
// The file is swapped under the log's lock, since other threads may be logging; the box
// comes after the lock is let go, as no box is shown under a lock.
bool MApp::OpenLog(const char* path, unsigned mode) {
    bool opened = true;
    {
        MLockGuard hold(logLock);
        logFile.Close();
        logSize = 0;
        if (mode == LOG_NONE) {
            return true;
        }
        CopyBounded(logFilePath, path, sizeof logFilePath);
        opened = logFile.Create(path, mode == LOG_OVERWRITE ? M_CREATE_ALWAYS : M_OPEN_ALWAYS);
        if (opened && mode != LOG_OVERWRITE) {
            logFile.SetPointerToEnd();
            logFile.GetSize(&logSize);
        }
    }
    if (!opened) {
        MessageBoxF(NULL, MB_ICONERROR, "Error!",
                    "ログファイル名=%s\nログファイルのオープンに失敗！！\nログは記録されません。",
                    path);
    }
    return opened;
}

void MApp::SetLogLimit(uint64_t bytes) {
    MLockGuard hold(logLock);
    logLimit = bytes;
}

void MApp::CloseLog() {
    MLockGuard hold(logLock);
    logFile.Close();
}

// The message is formatted before the lock is taken, so that threads logging at once
// wait for each other's write only; the time stamp is taken under the lock, so that the
// lines keep their order.
int MApp::Log(const char* format, ...) {
    {
        MLockGuard hold(logLock);
        // Nothing to format when nothing is written: a server with its log off pays nothing.
        if (!logFile.IsOpen()) {
            return LOG_NOT_OPEN;
        }
    }

    char message[LOG_MESSAGE_MAX + 1];
    va_list arguments;
    va_start(arguments, format);
    int length = MVFormat(message, sizeof message, format, arguments);
    va_end(arguments);
    message[sizeof message - 1] = '\0';

    bool cut = false;
    if (length < 0) {
        length = static_cast<int>(strlen(message));  // a formatting error: what it made
    } else if (length > LOG_MESSAGE_MAX) {
        length = LOG_MESSAGE_MAX;
        cut = true;
    }

    char line[LOG_LINE_MAX];
    MLockGuard hold(logLock);
    if (!logFile.IsOpen()) {
        return LOG_NOT_OPEN;  // closed meanwhile
    }
    size_t used = FormatLogLine(line, message, static_cast<size_t>(length), cut);
    if (logLimit > 0 && logSize > 0 && logSize + used > logLimit) {
        StartNewLogFile();
        if (!logFile.IsOpen()) {
            return LOG_NOT_OPEN;
        }
        used = FormatLogLine(line, message, static_cast<size_t>(length), cut);
    }
    return WriteLogLine(line, used) ? (cut ? LOG_CUT : LOG_WRITTEN) : LOG_FAILED;
}

// The whole line into line: time stamp, module name, message, the notice when cut, line
// end. It goes out in one write, one system call: busy servers log every answer.
size_t MApp::FormatLogLine(char* line, const char* message, size_t length, bool cut) {
    MLocalTime now;
    MGetLocalTime(&now);
    int stampLength = snprintf(line, 64, "%04u/%02u/%02u %02u:%02u:%02u\t", unsigned{now.year},
                               unsigned{now.month}, unsigned{now.day}, unsigned{now.hour},
                               unsigned{now.minute}, unsigned{now.second});
    size_t used = static_cast<size_t>(stampLength);
    auto append = [&](const char* text, size_t size) {
        memcpy(line + used, text, size);
        used += size;
    };
    append(moduleName, strlen(moduleName));
    append("\t", 1);
    append(message, length);
    if (cut) {
        append(CUT_NOTICE, sizeof CUT_NOTICE - 1);
    }
    append("\r\n", 2);
    return used;
}

bool MApp::WriteLogLine(const char* line, size_t used) {
    bool written = logFile.Write(line, used);
    logFile.FlushBuffers();
    logSize += used;
    return written;
}

// The old file becomes the log's name with ".1", replacing an earlier one; the new file
// starts with the line that says where the old lines went. If the old file cannot be
// moved (another program holds it), the same file starts over.
void MApp::StartNewLogFile() {
    logFile.Close();
    logSize = 0;
    std::string kept = std::string(logFilePath) + ".1";
    bool moved = MMoveFileReplacing(logFilePath, kept.c_str());
    if (!logFile.Create(logFilePath, M_CREATE_ALWAYS)) {
        return;
    }
    char message[600];
    unsigned megabytes = static_cast<unsigned>(logLimit >> 20);
    int length = moved ? snprintf(message, sizeof message,
                                  "ログが上限(%u MB)を超えたため、以前の内容を %s に移しました",
                                  megabytes, kept.c_str())
                       : snprintf(message, sizeof message,
                                  "ログが上限(%u MB)を超えたため、最初から書き直します", megabytes);
    if (length < 0 || static_cast<size_t>(length) >= sizeof message) {
        length = static_cast<int>(strlen(message));
    }
    char line[LOG_LINE_MAX];
    WriteLogLine(line, FormatLogLine(line, message, static_cast<size_t>(length), false));
}

int MessageBoxF(HWND owner, unsigned type, const char* caption, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    MVFormat(g_messageBoxBuffer, sizeof g_messageBoxBuffer, format, arguments);
    va_end(arguments);
    g_messageBoxBuffer[sizeof g_messageBoxBuffer - 1] = '\0';
    return MMessageBox(owner, g_messageBoxBuffer, caption, type);
}
