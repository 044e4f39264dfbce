// The console front end of the Linux edition.
#include "monitor/main_window.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "app/kiv.h"
#include "app/wall_clock.h"
#include "monitor/console_text.h"
#include "monitor/growth_text.h"
#include "monitor/messages.h"

MainWin::MainWin()
    : m_created(false),
      m_journal(getenv("JOURNAL_STREAM") != nullptr),
      m_priority(""),
      m_out(stdout),
      m_statusList(StatusListText({}, nullptr)) {}

MainWin::~MainWin() {
    if (m_created) {
        MForgetWindow(this);
    }
}

bool MainWin::Create(const char*, void*, HINSTANCE, HWND) {
    m_created = true;
    ResetShutdown();
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
    if (DispatchShared(message, wParam)) {
        return 0;
    }
    switch (message) {
        case WM_CLOSE:
            DestroyWindow();
            return 0;
        case WM_APP_HANGUP:
            ReloadOnRequest();
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

void MainWin::OnCreate() {
    MCatchSignals(this, MSignalMessages{WM_CLOSE, WM_APP_TERMINATE, WM_APP_HANGUP, WM_APP_CHECK_NOW,
                                        WM_APP_SHOW_STATUS});
    StartRoles();
}

void MainWin::OnDestroy() {
    BeginShutdown();
    StopRoles();
    theApp->LogVersionLine("終了");
}

// SIGTERM is how the system stops a service: the log says so before the usual stop,
// as it does when Windows shuts down.
void MainWin::OnTerminate() {
    theApp->Log("終了要求(SIGTERM)を受けました");
    DestroyWindow();
}

// SIGUSR1, the console's 今すぐチェック: the same guard as the tray command, with a log
// line instead of a box when it refuses.
void MainWin::OnCheckNow() {
    Kiv* app = theApp;
    app->Log("チェック要求(SIGUSR1)を受けました");
    switch (TryStartCheck()) {
        case GUARD_GRANTED:
            break;
        case GUARD_CYCLE_RUNS:
            app->Log("既に問合せ処理中のため、チェックを開始しません");
            break;
        case GUARD_ACTION_RUNS:
            app->Log("他の操作の処理中のため問合せを見送ります");
            break;
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

void MainWin::ShowBalloon(const char* text, const char* title, unsigned) {
    Print(PrefixLines(BalloonLine(text, title), m_priority));
}

// The list comes first in the summary; the balloon line that may follow takes its prefix.
void MainWin::UpdateStatusList(const std::vector<CheckResult>& results) {
    m_priority = "";
    if (m_journal) {
        Kiv* app = theApp;
        CycleSummary summary = SummarizeCycle(results, app->m_history, app->m_forecastDays);
        m_priority = JournalPriority(SummaryLevel(summary), summary.errors);
    }
    // The folders that grew on the disks at caution or worse follow the list.
    m_statusList = PrefixLines(StatusListText(results, &theApp->m_history) +
                                   GrowthListText(results, theApp->m_folderGrowth, CurrentUtcOffset()),
                               m_priority);
    Print(m_statusList);
}

// The list is printed at the end of every cycle anyway.
void MainWin::ShowStatusWindow() {}
