// When and what the server scans for its kept folder sizes (GROWTH, GROWTHPATHS,
// GROWTHTIME, GROWTHLIMIT), the scan taken under the one lock, and the thread that takes
// one a day and one soon after the start where none is kept yet.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/folder_scan.h"
#include "app/scan_store.h"
#include "mlib/mlog_sink.h"

struct GrowthSettings {
    bool on = false;                 // GROWTH=1, for the server role
    std::vector<std::string> paths;  // GROWTHPATHS; empty: every volume of the volume list
    unsigned scanMinute = 180;       // GROWTHTIME, "HH:MM" local; minutes after midnight
    unsigned limitMinutes = 30;      // GROWTHLIMIT: a scan's time bound; 0: the default
};

// The keys of [fsw] in the settings file at iniPath; a value that cannot be used gets a
// log line and the default.
GrowthSettings ReadGrowthSettings(const char* iniPath, MLogSink& log);
// Where the scans are kept: the folder of the history file (CHKFILE), which the server
// may write (the Linux package's /var/lib/fsw, the Windows data folder).
std::string GrowthDataFolder(const char* checkPath, const std::string& programFolder);
// GROWTHPATHS: comma-separated, blanks around each path dropped, empty ones left out.
std::vector<std::string> SplitGrowthPaths(const std::string& value);
// "H:MM" or "HH:MM", 00:00 to 23:59.
bool ParseScanTime(const std::string& value, unsigned* minute);
// The first Unix second after now at which the local clock reads scanMinute.
int64_t NextScanTime(int64_t now, int64_t utcOffset, unsigned scanMinute);
// The folders scanned: GROWTHPATHS, or the machine's local volumes.
std::vector<std::string> GrowthRoots(const GrowthSettings& settings);

enum ScanJobResult {
    SCAN_JOB_SAVED,
    SCAN_JOB_BUSY,    // another scan holds the lock
    SCAN_JOB_FAILED,  // the root could not be scanned, or its file not saved
};
// Scans options.root under the store's lock (waiting at most lockWaitMs) and keeps it.
ScanJobResult ScanAndKeep(ScanStore& store, const ScanOptions& options, unsigned lockWaitMs,
                          MLogSink& log, FolderScan* scan);

// The server's scans: one soon after the start for each folder without a kept scan, then
// one of each a day at GROWTHTIME.
class GrowthScheduler {
public:
    GrowthScheduler(ScanStore& store, MLogSink& log);
    ~GrowthScheduler();  // stops
    void Start(const GrowthSettings& settings, unsigned firstDelaySeconds);
    // Ends a running scan within a second and waits for the thread.
    void Stop();

private:
    void Run();
    bool WaitUntil(int64_t unixTime);  // false at the stop
    void ScanAll(bool onlyMissing);

    ScanStore& m_store;
    MLogSink& m_log;
    GrowthSettings m_settings;
    unsigned m_firstDelay = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::atomic<bool> m_stop{false};
};

// The progress line of a foreground scan: folders and files so far and the folder being
// read, cut to columns - 1 (a character of two columns counted as such) so that it never wraps,
// and padded with blanks to that width.
std::string ScanProgressLine(const ScanProgress& progress, int columns);
// The summary printed at its end.
std::string ScanSummary(const FolderScan& scan, const std::string& savedIn);

// "fsw scan" / "fsw.exe --scan": programFolder holds fsw.ini, whose CHKFILE says where the
// scans are kept; path empty: the folders the server scans. Writes to the console through the platform functions below.
// The exit code: 0 saved, 1 another scan was running, 2 failed.
int RunForegroundScan(const std::string& programFolder, const std::string& path);

// The console of a foreground scan (scan_console_posix.cpp / scan_console_win.cpp).
int ScanConsoleColumns();  // 0: not a terminal, no progress line
void ScanConsoleWrite(const std::string& text, bool error);
