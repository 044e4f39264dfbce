// The folder scan of the server's kept folder sizes: how much of a volume's space each
// folder takes, to a depth of 3 and deeper where a folder holds at least 1 % of the volume's
// used space, and the largest files changed within the last seven days.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mlib/mlog_sink.h"

// The line that stands for what the scan could not attribute to a folder (folders it could
// not read, the file system's own structures): with it the figures add up to the volume's
// used space. Only a scan of a volume's root has it.
extern const char SCAN_OTHER_NAME[];  // "その他 (読めない領域など)"

const uint32_t SCAN_ALL_FOLDERS_DEPTH = 3;     // every folder down to this depth below the root
const uint32_t SCAN_DEEP_SHARE_PERCENT = 1;  // deeper: those with 1 % of the used space
const uint32_t SCAN_MAX_FOLDERS = 20000;       // the largest kept, per scan
const size_t SCAN_RECENT_FILES = 20;
const int64_t SCAN_RECENT_SECONDS = 7 * 86400;

struct ScanFolder {
    std::string path;
    uint64_t bytes = 0;  // the space the folder's files and folders take on the disk
    uint32_t depth = 0;  // below the scan's root (0)
    bool complete = true;  // read whole: false when the scan stopped inside it (a folder
                           // that cannot be read is no gap: its space is in the other line)
};

struct ScanFile {
    std::string path;
    uint64_t bytes = 0;
    int64_t changeTime = 0;  // Unix seconds
};

struct FolderScan {
    std::string root;
    int64_t startTime = 0;  // Unix seconds
    int64_t endTime = 0;
    bool partial = false;     // stopped at its time bound or the program's stop
    uint64_t usedBytes = 0;   // the volume's used space at the start
    uint64_t otherBytes = 0;  // the used space no folder accounts for (a root's scan only)
    bool volumeRoot = false;  // the root is the volume's: otherBytes is meaningful
    uint64_t fileCount = 0;
    uint64_t folderCount = 0;
    uint64_t unreadableCount = 0;  // folders that could not be read
    std::vector<ScanFolder> folders;  // by path; the root first
    std::vector<ScanFile> files;      // the largest recent ones, largest first
};

// The share of the used space from which a folder below SCAN_ALL_FOLDERS_DEPTH is kept.
uint64_t DeepFolderThreshold(uint64_t usedBytes);

struct ScanProgress {
    uint64_t folders = 0;
    uint64_t files = 0;
    std::string current;  // a folder being read
};

struct ScanOptions {
    std::string root;
    int64_t now = 0;  // Unix seconds, for the recent files and the scan's times
    std::chrono::steady_clock::duration timeLimit = std::chrono::minutes(30);
    const std::atomic<bool>* stop = nullptr;  // the program's stop: ends the scan within 1 s
    bool background = true;                   // the scanning threads at background priority
    int threads = 4;
    uint32_t maxFolders = SCAN_MAX_FOLDERS;
    // Called every quarter of a second from the calling thread while the scan runs.
    std::function<void(const ScanProgress&)> progress;
};

// Scans options.root into *scan. A scan that stopped early is kept, marked partial.
// False (with a log line) only when the root cannot be scanned at all.
bool RunFolderScan(const ScanOptions& options, MLogSink& log, FolderScan* scan);

// Orders the kept folders by size (larger first, the shallower of equal ones first) and
// keeps the first max: each kept folder's parent holds at least as much, so the kept
// folders stay a tree from the root.
void KeepLargestFolders(std::vector<ScanFolder>* folders, size_t max);
