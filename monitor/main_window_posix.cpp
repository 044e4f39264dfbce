// The console front end of the Linux edition.
#include "monitor/main_window.h"

#include <string>
#include <vector>

#include "app/kiv.h"
#include "monitor/messages.h"
#include "monitor/status_text.h"
#include "net/server.h"

namespace {

// How long the first cycle waits for the program's own server to listen.
const unsigned SERVER_READY_WAIT_MS = 1000;

void LogVersionLine(Kiv* app, const char* word) {
    app->Log("%s Version %u.%u.%u (%u) %s", APP_TITLE, unsigned{app->m_version[0]},
             unsigned{app->m_version[1]}, unsigned{app->m_version[2]}, unsigned{app->m_version[3]},
             word);
}

// A text as one line for a terminal or the journal: the balloon's CR LF becomes a space,
// and so does every control character (C0, DEL and the C1 range of UTF-8), so that no
// text from the host list breaks a line or sends a terminal a control sequence.
std::string Printable(const char* text) {
    std::string line;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; p++) {
        if ((p[0] == '\r' && p[1] == '\n') || (p[0] == 0xC2 && p[1] >= 0x80 && p[1] <= 0x9F)) {
            line += ' ';
            p++;
        } else if (p[0] < 0x20 || p[0] == 0x7F) {
            line += ' ';
        } else {
            line += static_cast<char>(p[0]);
        }
    }
    return line;
}

// The column titles, then one line per listed result: the cells separated by tabs, the
// forecast from the history last.
std::string StatusListText(const std::vector<CheckResult>& results) {
    std::string text;
    for (int column = 0; column < STATUS_COLUMN_COUNT; column++) {
        text += column > 0 ? "\t" : "";
        text += STATUS_COLUMN_TITLES[column];
    }
    text += '\n';
    for (const CheckResult& result : results) {
        if (!IsListed(result)) {
            continue;
        }
        StatusRowTexts row;
        MakeStatusRowTexts(result, theApp->m_history.ForecastOf(result), &row);
        const char* cells[STATUS_COLUMN_COUNT] = {row.status,      row.time,      row.host,
                                                  row.path,        row.threshold, row.freeSpace,
                                                  row.description, row.forecast};
        for (int column = 0; column < STATUS_COLUMN_COUNT; column++) {
            text += column > 0 ? "\t" : "";
            text += Printable(cells[column]);
        }
        text += '\n';
    }
    return text;
}

}  // namespace

MainWin::MainWin()
    : m_created(false), m_serverRunning(false), m_out(stdout), m_statusList(StatusListText({})) {}

MainWin::~MainWin() {
    if (m_created) {
        MForgetWindow(this);
    }
}

bool MainWin::Create(const char*, void*, HINSTANCE, HWND) {
    m_created = true;
    OnCreate();
    return true;
}

HWND MainWin::GetHandle() {
    return m_created ? this : nullptr;
}

bool MainWin::Show(int) {
    return true;
}

bool MainWin::Update() {
    return true;
}

void MainWin::SetOutput(FILE* out) {
    m_out = out;
}

intptr_t MainWin::HandleMessage(unsigned message, uintptr_t wParam, intptr_t) {
    switch (message) {
        case WM_CLOSE:
            DestroyWindow();
            return 0;
        case WM_TIMER:
            if (theApp->m_client == 1) {
                StartCheck(wParam);
            }
            return 0;
        case WM_APP_CYCLE_DONE:
            OnCycleDone();
            return 0;
        case WM_APP_HANGUP:
            OnHangup();
            return 0;
        case WM_APP_TERMINATE:
            OnTerminate();
            return 0;
        case WM_APP_CHECK_NOW:
            OnCheckNow();
            return 0;
        case WM_APP_SHOW_STATUS:
            OnShowStatus();
            return 0;
        default:
            return 0;
    }
}

void MainWin::DestroyWindow() {
    if (!m_created) {
        return;
    }
    OnDestroy();
    MCatchSignals(nullptr, MSignalMessages{});
    MForgetWindow(this);
    m_created = false;
    MPostQuitMessage(0);
}

// The program's own server is given a moment to listen before the first cycle, which
// may well query it.
void MainWin::OnCreate() {
    Kiv* app = theApp;
    MCatchSignals(this, MSignalMessages{WM_CLOSE, WM_APP_TERMINATE, WM_APP_HANGUP, WM_APP_CHECK_NOW,
                                        WM_APP_SHOW_STATUS});
    if (app->m_server == 1) {
        m_serverRunning = StartServerThread(&m_serverThread);
    }
    SetCheckTimer();
    if (app->m_client == 1) {
        if (m_serverRunning) {
            WaitForServerListening(m_serverThread, SERVER_READY_WAIT_MS);
        }
        StartCheck(TIMER_CHECK);
    }
}

// The period in 64 bits, held to the longest a Windows timer takes (24.8 days): a
// 32-bit product of a hand-edited INTVAL would wrap into a short period.
bool MainWin::SetCheckTimer() {
    Kiv* app = theApp;
    const uint64_t longest = 0x7FFFFFFF;
    uint64_t period = uint64_t{app->m_interval} * 60000u;
    if (!MSetTimer(this, TIMER_CHECK, static_cast<unsigned>(period < longest ? period : longest))) {
        char text[256];
        GetErrorText(text, MGetLastError(), sizeof text);
        app->Log("タイマ設定エラー : %s", text);
        MessageBoxF(this, MB_ICONERROR, "エラー", "タイマ設定に失敗！");
        return false;
    }
    return true;
}

// Query threads are waited for whenever any still runs, not only with the client role
// on: a cycle may run after a reload turned the role off, and no thread may outlive
// the application object.
void MainWin::OnDestroy() {
    Kiv* app = theApp;
    MKillTimer(this, TIMER_CHECK);
    if (m_serverRunning) {
        app->StopServer();
        m_serverThread.Wait();
        m_serverThread.CloseHandle();
        m_serverRunning = false;
    }
    if (app->m_client == 1 || app->m_queryThreadCount > 0) {
        app->Log("クライアントの全スレッド終了待ち");
        while (app->m_queryThreadCount > 0) {
            MSleep(100);
        }
        MLockGuard hold(app->m_queryCountLock);  // the last thread has let go of it too
        app->Log("クライアントの全スレッド終了");
    }
    LogVersionLine(app, "終了");
}

// As closing the settings dialog does: once no query runs, the settings and the host
// list are read again. A new interval resets the check timer.
void MainWin::OnHangup() {
    Kiv* app = theApp;
    app->Log("設定ファイルとホスト一覧を読み込み直します");
    for (;;) {
        app->m_queryCountLock.Enter();
        if (app->m_queryThreadCount == 0) {
            break;
        }
        app->m_queryCountLock.Leave();
        MSleep(100);
    }
    uint32_t oldInterval = app->m_interval;
    {
        MLockGuard hold(app->m_hostLock);
        app->LoadSettings();
        app->LoadHostList();
    }
    app->m_queryCountLock.Leave();
    if (app->m_interval != oldInterval) {
        app->Log("タイマを再設定します %u分 → %u分", oldInterval, app->m_interval);
        SetCheckTimer();
    }
}

// SIGTERM is how the system stops a service: the log says so before the usual stop,
// as it does when Windows shuts down.
void MainWin::OnTerminate() {
    theApp->Log("終了要求(SIGTERM)を受けました");
    DestroyWindow();
}

// SIGUSR1, the console's 今すぐチェック: the same guard as the tray command, with a log
// line instead of a box when a cycle already runs.
void MainWin::OnCheckNow() {
    Kiv* app = theApp;
    app->Log("チェック要求(SIGUSR1)を受けました");
    if (!TryStartCheck()) {
        app->Log("既に問合せ処理中のため、チェックを開始しません");
    }
}

// SIGUSR2, the console's 監視状態: the list of the latest finished cycle once more.
void MainWin::OnShowStatus() {
    Print(m_statusList);
}

void MainWin::Print(const std::string& text) {
    fputs(text.c_str(), m_out);
    fflush(m_out);
}

// A console has no tooltip; the status list and balloon lines say it all.
void MainWin::SetTrayTip(const char*) {}

void MainWin::RestoreTrayTip() {}

// "title: text" on one line.
void MainWin::ShowBalloon(const char* text, const char* title, unsigned) {
    Print(Printable(title) + ": " + Printable(text) + "\n");
}

// Called with m_resultLock held, so m_results is the finished cycle's.
void MainWin::UpdateStatusList() {
    m_statusList = StatusListText(theApp->m_results);
    Print(m_statusList);
}

// The list is printed at the end of every cycle anyway.
void MainWin::ShowStatusWindow() {}
