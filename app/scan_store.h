// The server's kept folder scans: each scan a file of its own in the data folder, written
// by the safe replacement, the older ones let go of by day, and the growth report that the
// server answers folder-growth requests with.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/folder_scan.h"
#include "mlib/mlog_sink.h"
#include "net/growth_source.h"

// A scan as its file holds it, and back. DecodeScan refuses (false, *why a short text for
// the log) what is not one whole scan file: another file's content, a file cut short, a
// changed byte (a check sum over every line ends the file), a number out of range.
std::string EncodeScan(const FolderScan& scan);
bool DecodeScan(const std::string& bytes, FolderScan* scan, std::string* why);

// "fswscan-<root's key>-<end time, UTC YYYYMMDDhhmmss>.txt", "-p.txt" for a partial scan;
// the key is 16 hex digits of a hash of the root's path. False for a name of any other form.
std::string ScanFileName(const std::string& root, int64_t endTime, bool partial);
bool ParseScanFileName(const std::string& name, std::string* key, int64_t* endTime,
                       bool* partial);
std::string ScanRootKey(const std::string& root);

// Which of one root's scans to keep: the last few of today, and for each of the eight most
// recent earlier days with a scan, its last scan (and its last whole one, if that was
// partial). today and the days are local day numbers (days since 1970 of local time).
const size_t SCANS_KEPT_TODAY = 4;
const size_t SCAN_DAYS_KEPT = 8;
struct KeptScan {
    int64_t day;
    int64_t endTime;
    bool partial;
};
std::vector<bool> ScansToKeep(const std::vector<KeptScan>& scans, int64_t today);

// The lock file under which one scan at a time is taken and saved.
extern const char SCAN_LOCK_NAME[];  // "fswscan.lock"

class ScanStore : public GrowthSource {
public:
    // folder: the data folder. utcOffset: local time minus Unix time, for the days kept.
    ScanStore(const std::string& folder, MLogSink& log);

    // Writes the scan as a file of its own, then lets go of the scans no longer kept.
    bool Save(const FolderScan& scan, int64_t now, int64_t utcOffset);
    // Whether any scan of root is kept.
    bool HasScan(const std::string& root);
    std::string LockPath() const;

    bool ReportFor(const std::string& path, GrowthReport* report) override;

private:
    struct Kept {
        std::string name;
        std::string key;
        int64_t endTime;
        bool partial;
    };
    std::vector<Kept> ListScans();
    void Refresh();  // under m_lock: the reports follow the files
    bool Load(const std::string& name, FolderScan* scan);

    std::string m_folder;
    MLogSink& m_log;
    std::mutex m_lock;
    std::vector<std::string> m_names;   // the scan files the reports were made of
    std::set<std::string> m_refused;    // logged once each
    std::map<std::string, GrowthReport> m_reports;  // by root
};
