// The main window's life that both editions share.
#include "monitor/main_lifecycle.h"

#include "app/growth_scans.h"
#include "app/kiv.h"
#include "monitor/messages.h"
#include "net/query_client.h"
#include "net/server.h"

namespace {

// How long the first cycle waits for the program's own server to listen.
const unsigned SERVER_READY_WAIT_MS = 1000;

const uint64_t LONGEST_TIMER_PERIOD = 0x7FFFFFFF;  // USER_TIMER_MAXIMUM

// How soon after the start a folder without a kept scan is scanned (GROWTH=1).
const unsigned GROWTH_FIRST_SCAN_DELAY_S = 60;

}  // namespace

unsigned CheckTimerPeriod(uint32_t minutes) {
    uint64_t period = uint64_t{minutes} * 60000u;
    return static_cast<unsigned>(period > LONGEST_TIMER_PERIOD ? LONGEST_TIMER_PERIOD : period);
}

MainLifecycle::MainLifecycle()
    : m_serverRunning(false),
      m_shuttingDown(false),
      m_reloadPending(false),
      m_timerSet(false),
      m_timerInterval(0) {}

// The first cycle may well query the program's own server: it is given a moment to
// listen first.
void MainLifecycle::StartRoles() {
    Kiv* app = theApp;
    if (app->m_server == 1) {
        // The kept folder scans (GROWTH=1): made where the server is made and handed to it;
        // null tells the server that GROWTH is off.
        GrowthSource* growth = nullptr;
        if (app->m_growth.on) {
            m_scanStore.reset(new ScanStore(GrowthDataFolder(app->m_checkPath, app->moduleDir), *app));
            m_growthScheduler.reset(new GrowthScheduler(*m_scanStore, *app));
            m_growthScheduler->Start(app->m_growth, GROWTH_FIRST_SCAN_DELAY_S);
            growth = m_scanStore.get();
        }
        m_serverRunning = StartServerThread(&m_serverThread, growth);
    }
    SetCheckTimer();
    if (app->m_client == 1) {
        if (m_serverRunning) {
            WaitForServerListening(m_serverThread, SERVER_READY_WAIT_MS);
        }
        StartCheck(TIMER_CHECK);
    }
}

bool MainLifecycle::SetCheckTimer() {
    Kiv* app = theApp;
    m_timerSet = true;
    m_timerInterval = app->m_interval;
    if (!MSetTimer(OwnWindow(), TIMER_CHECK, CheckTimerPeriod(app->m_interval))) {
        char text[256];
        GetErrorText(text, MGetLastError(), sizeof text);
        app->Log("タイマ設定エラー : %s", text);
        MessageBoxF(OwnWindow(), MB_ICONERROR, "エラー", "タイマ設定に失敗！");
        return false;
    }
    return true;
}

// m_queryCountLock is held from the moment no query runs until the files are read, so
// that no cycle starts in between; it is let go while waiting, so that the query threads
// can count down. m_hostLock is taken inside it, as the lock order wants. The timer is
// set after both are released: its failure is a box.
void MainLifecycle::ReloadWhenIdle() {
    Kiv* app = theApp;
    app->m_queryCountLock.Enter();
    while (app->m_queryThreadCount != 0) {
        app->m_queryCountLock.Leave();
        MSleep(100);
        app->m_queryCountLock.Enter();
    }
    {
        // Let go of at the end of the scope, also when reading throws.
        struct LeaveAtEnd {
            MCriticalSection& lock;
            ~LeaveAtEnd() { lock.Leave(); }
        } countHeld{app->m_queryCountLock};
        MLockGuard hold(app->m_hostLock);
        app->LoadSettings();
        app->LoadHostList();
    }
    m_notifier.SetCommand(app->m_notifyCommand);

    // The timer follows what the files now say, also when an INTVAL that OK set could
    // not be saved and the old one came back.
    if (m_timerSet && !m_shuttingDown && app->m_interval != m_timerInterval) {
        app->Log("タイマを再設定します %u分 → %u分", m_timerInterval, app->m_interval);
        SetCheckTimer();
    }
}

void MainLifecycle::OnCheckTimer(uintptr_t timerId) {
    if (theApp->m_client == 1) {
        StartCheck(timerId);
    }
}

void MainLifecycle::ReloadOnRequest() {
    theApp->Log("設定ファイルとホスト一覧を読み込み直します");
    if (theApp->m_queryThreadCount != 0) {
        m_reloadPending = true;
        return;
    }
    ReloadWhenIdle();
}

void MainLifecycle::FinishCycle() {
    OnCycleDone();
    if (m_reloadPending && theApp->m_queryThreadCount == 0) {
        m_reloadPending = false;
        ReloadWhenIdle();
    }
}

bool MainLifecycle::DispatchShared(unsigned message, uintptr_t wParam) {
    switch (message) {
        case WM_TIMER:
            OnCheckTimer(wParam);
            return true;
        case WM_APP_CYCLE_DONE:
            FinishCycle();
            return true;
        default:
            return false;
    }
}

void MainLifecycle::BeginShutdown() {
    m_shuttingDown = true;
    MKillTimer(OwnWindow(), TIMER_CHECK);
}

void MainLifecycle::StopRoles() {
    m_notifier.Stop();
    if (m_growthScheduler) {
        m_growthScheduler->Stop();  // a running scan ends within a second
    }
    if (m_serverRunning) {
        theApp->StopServer();
        if (m_serverThread.HasHandle()) {
            m_serverThread.Wait();
            m_serverThread.CloseHandle();
        }
        m_serverRunning = false;
    }
    m_growthScheduler.reset();
    m_scanStore.reset();  // no handler is left to ask it
    WaitForQueryThreads();
    // Lines that waited for another writer's lock get a last, bounded chance.
    theApp->m_history.Flush(HISTORY_FINAL_WAIT_MS);
}

// No query thread may outlive the application object. A cycle started by hand runs
// with CLIENT at 0 too, and a reload may have turned CLIENT off under a running cycle:
// the threads are waited for whenever any runs. The last one lowers the count under
// m_queryCountLock and lets go of it after; taking the lock once afterwards makes sure
// it has, before the locks are deleted.
void MainLifecycle::WaitForQueryThreads() {
    Kiv* app = theApp;
    bool logged = app->m_client == 1 || app->m_queryThreadCount > 0;
    if (logged) {
        app->Log("クライアントの全スレッド終了待ち");
    }
    // Running queries end at once as errors rather than wait for their peers; their lines
    // come between the two waiting lines.
    CancelRunningQueries();
    while (app->m_queryThreadCount > 0) {
        MSleep(100);
    }
    app->m_queryCountLock.Enter();  // the last thread has let go of it too
    app->m_queryCountLock.Leave();
    if (logged) {
        app->Log("クライアントの全スレッド終了");
    }
}
