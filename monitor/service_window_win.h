// Windows only. The front end of the Windows service: the main window's shared life with
// nothing to show. A message-only window carries the check timer and the cycle's end
// message; there is no tray icon, balloon, status window or box. What the tray program
// shows goes to the log, and the start, the stop, a failed start and each cycle of summary
// level 2 or more also to the Windows event log, through the host.
#pragma once

#include <string>

#include "app/front_end.h"
#include "app/service_control.h"
#include "mlib/mwin.h"
#include "monitor/main_lifecycle.h"

// Events of the Application log, by what they report.
enum ServiceEvent {
    SERVICE_EVENT_START,
    SERVICE_EVENT_STOP,
    SERVICE_EVENT_START_FAILED,
    SERVICE_EVENT_CYCLE,
    SERVICE_EVENT_MESSAGE,  // a text the tray program would show in a box
};

// Severity of an event, as the event viewer shows it.
enum ServiceEventLevel { EVENT_LEVEL_INFO, EVENT_LEVEL_WARNING, EVENT_LEVEL_ERROR };

// What the service front end needs from the service around it.
class ServiceHost {
public:
    virtual ~ServiceHost() {}
    // The roles run: report RUNNING to the service manager.
    virtual void ReportRunning() = 0;
    // One event, its text as the log has it.
    virtual void WriteEvent(ServiceEvent event, ServiceEventLevel level,
                            const std::string& text) = 0;
    // The reload the control handler asked for is taken: true when it is to run, false
    // when a stop came meanwhile.
    virtual bool TakeReload() = 0;
    // What the installation left to be said in the log at every start (a firewall rule it
    // could not add, with the line that adds it); empty: nothing.
    virtual std::string InstallNote() { return ""; }
};

// How long the start waits for the server to listen before it reports RUNNING anyway,
// while the server goes on trying every 10 s.
const unsigned SERVICE_LISTEN_WAIT_MS = 3000;

class ServiceWin : public MWin, public MainLifecycle, public FrontEnd {
public:
    explicit ServiceWin(ServiceHost& host);

    // Creates the window and starts the roles. A start that fails (log not open, fsw.ini
    // unreadable, settings the server can never listen with) stops what it started, logs
    // why, writes the event, leaves no window and answers false with Failure() set. A port
    // or address that is not to be had yet is no failure: the server tries again.
    bool Open(HINSTANCE instance, MLogSink& log, const FrontEndStart& start) override;
    HWND LoopWindow() override { return hwnd; }
    ServiceFailure Failure() const { return m_failure; }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Registers "FSW_ServiceClass" (when no class is given) and creates the window.
    bool Create(const char* title, WNDCLASSEXA* classInfo, HINSTANCE instance,
                HWND parent) override;

protected:
    HWND OwnWindow() override { return hwnd; }
    void SetTrayTip(const char*) override {}
    void RestoreTrayTip() override {}
    void ShowBalloon(const char*, const char*, unsigned) override {}
    void UpdateStatusList(const std::vector<CheckResult>&) override {}
    void ShowStatusWindow() override {}
    void ReportProblemCycle(const CycleSummary& summary) override;

private:
    ServiceFailure StartFailure();
    void Fail(ServiceFailure failure, const std::string& text);
    void OnDestroy();

    ServiceHost& m_host;
    MLogSink* m_log;  // the application's, from the start on
    FrontEndStart m_start;
    ServiceFailure m_failure;
    bool m_quitOnDestroy;  // the loop runs: the window's end ends it
};

// A text of a box as one line of the log: "caption: text", its line breaks as spaces.
std::string BoxLogLine(const char* caption, const char* text);
