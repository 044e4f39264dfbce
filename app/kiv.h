// The one application object: the settings, the check targets, the results of the
// current cycle, the thread counters and the locks that guard them. Every window,
// dialog and thread reaches it through theApp.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/app_log.h"
#include "app/file_path.h"
#include "app/front_end.h"
#include "app/growth_scans.h"
#include "app/history.h"
#include "app/host_entry.h"
#include "mlib/mapp.h"
#include "mlib/mlog_sink.h"
#include "net/check_result.h"
#include "net/cycle_queue.h"
#include "net/error_reasons.h"
#include "net/fsw_socket.h"
#include "net/growth_cache.h"
#include "net/peer_access.h"
#include "net/query_cancel.h"

// The main window is defined with the user interface (monitor/main_window.h): the
// network code that reaches the application object does not see it.
class MainWin;

class Kiv : public MApp, public MLogSink {
public:
    Kiv(HINSTANCE instance, char* commandLine, int showCommand);
    ~Kiv() override;

    int Init() override;
    // The six locks exist exactly while windows and worker threads can run.
    void InitializeLocks();
    void DeleteLocks();
    void StopServer();
    // "ケルム Version 1.2.3 (4) word": the start line (起動) and the end line (終了).
    void LogVersionLine(const char* word);
    std::string VersionLine(const char* word) const;
    // Runs the roles with frontEnd instead of the main window (null: the main window).
    void UseFrontEnd(FrontEnd* frontEnd) { m_frontEnd = frontEnd; }
    // What a front end is started with: the settings and the state of the log as they are.
    FrontEndStart StartOfFrontEnd() const;

    // The log for the parts that take it as a parameter: one line, as Log writes it.
    int WriteLine(const std::string& message) override { return Log("%s", message.c_str()); }
    // Writes a log line, or, while the log is not open yet, keeps it for LogHeldLines; the
    // LogResult of the write (LOG_NOT_OPEN for a line kept).
    int LogOrHold(const std::string& message);
    // Writes the kept lines, once the log is open (after the start line).
    void LogHeldLines();
    // Deletes the temporary files that copies killed while saving left beside the files.
    void RemoveStaleFiles();

    // Settings file.
    void LoadSettings();
    void LoadServerSafety();
    void LoadNotifyCommand();  // NOTIFYCMD and RENOTIFY, kept by the settings dialog
    void SaveSettings();
    // Joins moduleDir and the name of a file that key sets into path (FILE_PATH_SIZE
    // bytes): an empty path, with a log line, when it does not fit.
    void BuildFilePath(char* path, const char* key, const char* name);
    // Host list file.
    void LoadHostList();
    void SaveHostList();

private:
    std::unique_ptr<MainWin> m_mainWinObject;  // made first, destroyed last
    FrontEnd* m_frontEnd = nullptr;

public:
    MainWin& m_mainWin;
    char m_iniPath[261];
    char m_logPath[261];
    char m_listPath[261];
    char m_checkPath[261];                // the history file, formed like m_listPath
    std::atomic<bool> m_serverStop;       // set once by StopServer, never cleared
    std::atomic<bool> m_serverListening;  // the listener has passed listen and still runs
    FswSocket m_listenSocket;
    // The IPv4 socket beside an IPv6-only m_listenSocket, where one socket cannot take
    // both families; closed otherwise.
    FswSocket m_listenSocketIPv4;
    // Raised by the stop; the connections being served watch it (none is registered: a
    // request that has come is still answered).
    QueryCancel m_serverCancel;
    std::atomic<int32_t> m_serverThreadCount;  // changed under m_serverCountLock
    std::atomic<int32_t> m_queryThreadCount;   // changed under m_queryCountLock
    uint16_t m_version[4];                     // major, minor, build, revision
    uint32_t m_server;                         // SERVER: 1 = listening server
    uint32_t m_serverPort;                     // SVPORT, as written: the server takes 1 to 65535
    uint32_t m_client;                         // CLIENT: 1 = periodic check cycles
    uint32_t m_interval;                       // INTVAL: minutes between cycles, at least 1
    char m_listFile[261];                      // LISTFILE
    char m_logFile[261];                       // LOGFILE
    char m_checkFile[261];                     // CHKFILE: the history of check results
    uint32_t m_notify;                         // NOTI: bit 0 balloon, bit 1 status window
    uint32_t m_logMode;                        // LOGMODE
    char m_promFile[261];                      // PROMFILE: the cycle's metrics file, empty: none
    uint32_t m_keepDays;                       // KEEPDAYS: days of history kept, 0 all
    uint32_t m_forecastDays;                   // FORECAST: warn of disks full within, 0 off
    char m_serverAddress[64];                  // SVADDR: the address to listen on; empty: all
    AllowList m_allow;                         // ALLOW: the peers that may query
    std::atomic<uint32_t> m_allowUnc;          // ALLOWUNC: 1 = any path may be measured
    std::atomic<uint32_t> m_web;               // WEB: 1 = the status page on the server's port
    uint32_t m_logMax;                         // LOGMAX: MB after which the log moves on
    GrowthSettings m_growth;                   // GROWTH, GROWTHPATHS, GROWTHTIME, GROWTHLIMIT
    std::string m_notifyCommand;               // NOTIFYCMD: run on changes; empty: none
    uint32_t m_renotify;                       // RENOTIFY: minutes between reminders, 0 none
    // Where locks nest: m_dialogLock, then m_queryCountLock, then m_hostLock or
    // m_resultLock (never both), the log lock innermost; the server's two nest with no
    // other. No box is shown while one is held: its loop would run under it.
    MCriticalSection m_dialogLock;       // the settings dialog's open flag
    MCriticalSection m_hostLock;         // m_hosts
    MCriticalSection m_resultLock;       // m_results
    MCriticalSection m_serverCountLock;  // m_serverThreadCount
    // m_queryThreadCount and the mark of a guarded action (CheckCycle)
    MCriticalSection m_queryCountLock;
    // The listening sockets, between their set-up (again after a failed bind) and the stop.
    MCriticalSection m_acceptLock;
    std::vector<HostEntry> m_hosts;
    std::vector<CheckResult> m_results;
    std::vector<std::string> m_heldLines;  // log lines from before the log was open
    bool m_holdingLines;                   // until LogHeldLines: keep lines the log misses
    CheckHistory m_history;                // user-interface thread only
    QueryCancel m_queryCancel;  // the stop of every query thread; given once, at shutdown
    CycleQueue m_cycleQueue;    // the rows of the running cycle, for its query threads
    ErrorReasonLog m_errorReasons;  // each target's latest error reason, logged on change
    GrowthCache m_folderGrowth;     // each row's latest folder growth, asked by the queries
};

const size_t FILE_PATH_SIZE = 261;  // of m_logPath, m_listPath and m_checkPath

// Creates the application object on the first call; later calls return it.
Kiv* GetApp(HINSTANCE instance, char* commandLine, int showCommand);

extern Kiv* theApp;
