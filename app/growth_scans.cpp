// The schedule of the server's folder scans, the scan under the lock, and the foreground
// scan of "fsw scan".
#include "app/growth_scans.h"

#include <chrono>
#include <cstdio>

#include "app/file_path.h"
#include "app/wall_clock.h"
#include "mlib/mbchar.h"
#include "mlib/mfileops.h"
#include "mlib/mprofile.h"
#include "mlib/mvolumes.h"

namespace {

const char SECTION[] = "fsw";
const unsigned DEFAULT_SCAN_MINUTE = 180;  // 03:00
const unsigned DEFAULT_LIMIT_MINUTES = 30;
const unsigned SCHEDULE_LOCK_WAIT_MS = 1000;
const int64_t WAIT_STEP_SECONDS = 60;  // the clock is looked at again at least this often

std::string Trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string Bytes(uint64_t bytes) {
    char text[32];
    double value = static_cast<double>(bytes);
    const char* units[] = {"B", "KB", "MB", "GB", "TB", "PB"};
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < sizeof units / sizeof units[0]) {
        value /= 1024;
        ++unit;
    }
    snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

// The lines of a foreground scan go to the console's error stream, as its log.
class ConsoleLog : public MLogSink {
public:
    int WriteLine(const std::string& message) override {
        ScanConsoleWrite(message + "\n", true);
        return 0;
    }
};

}  // namespace

std::vector<std::string> SplitGrowthPaths(const std::string& value) {
    std::vector<std::string> paths;
    size_t at = 0;
    while (at <= value.size()) {
        size_t comma = value.find(',', at);
        if (comma == std::string::npos) {
            comma = value.size();
        }
        std::string path = Trimmed(value.substr(at, comma - at));
        if (!path.empty()) {
            paths.push_back(path);
        }
        at = comma + 1;
    }
    return paths;
}

bool ParseScanTime(const std::string& value, unsigned* minute) {
    size_t colon = value.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || value.size() != colon + 3) {
        return false;
    }
    unsigned hour = 0, minutes = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        if (i == colon) {
            continue;
        }
        if (value[i] < '0' || value[i] > '9') {
            return false;
        }
        unsigned digit = static_cast<unsigned>(value[i] - '0');
        if (i < colon) {
            hour = hour * 10 + digit;
        } else {
            minutes = minutes * 10 + digit;
        }
    }
    if (hour > 23 || minutes > 59) {
        return false;
    }
    *minute = hour * 60 + minutes;
    return true;
}

int64_t NextScanTime(int64_t now, int64_t utcOffset, unsigned scanMinute) {
    int64_t local = now + utcOffset;
    int64_t day = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    int64_t next = day * 86400 + int64_t{scanMinute} * 60 - utcOffset;
    return next > now ? next : next + 86400;
}

GrowthSettings ReadGrowthSettings(const char* iniPath, MLogSink& log) {
    GrowthSettings settings;
    std::string value;
    MGetPrivateProfileText(SECTION, "GROWTH", "0", &value, iniPath);
    settings.on = Trimmed(value) == "1";
    MGetPrivateProfileText(SECTION, "GROWTHPATHS", "", &value, iniPath);
    settings.paths = SplitGrowthPaths(value);
    MGetPrivateProfileText(SECTION, "GROWTHTIME", "03:00", &value, iniPath);
    settings.scanMinute = DEFAULT_SCAN_MINUTE;
    if (!ParseScanTime(Trimmed(value), &settings.scanMinute)) {
        log.Write("設定ファイル：GROWTHTIMEの値が時刻 (HH:MM) ではないため、既定値03:00を使います。");
        settings.scanMinute = DEFAULT_SCAN_MINUTE;
    }
    MGetPrivateProfileText(SECTION, "GROWTHLIMIT", "30", &value, iniPath);
    uint32_t limit = 0;
    settings.limitMinutes = DEFAULT_LIMIT_MINUTES;
    if (MIniParseNumber(Trimmed(value).c_str(), &limit) && limit > 0) {
        settings.limitMinutes = limit;
    } else {
        log.Write("設定ファイル：GROWTHLIMITの値が1以上の分数ではないため、既定値%u分を使います。",
                  DEFAULT_LIMIT_MINUTES);
    }
    return settings;
}

std::vector<std::string> GrowthRoots(const GrowthSettings& settings) {
    if (!settings.paths.empty()) {
        return settings.paths;
    }
    std::vector<std::string> volumes;
    MListVolumes(false, &volumes);
    return volumes;
}

ScanJobResult ScanAndKeep(ScanStore& store, const ScanOptions& options, unsigned lockWaitMs,
                          MLogSink& log, FolderScan* scan) {
    MFileLock lock;
    MFileLock::Result held = lock.Lock(store.LockPath().c_str(), lockWaitMs);
    if (held == MFileLock::BUSY) {
        return SCAN_JOB_BUSY;
    }
    if (held != MFileLock::HELD) {
        log.Write("フォルダの走査のロックファイルを使えません。(File=%s)", store.LockPath().c_str());
        return SCAN_JOB_FAILED;
    }
    if (!RunFolderScan(options, log, scan)) {
        return SCAN_JOB_FAILED;
    }
    return store.Save(*scan, UnixNow(), CurrentUtcOffset()) ? SCAN_JOB_SAVED : SCAN_JOB_FAILED;
}

GrowthScheduler::GrowthScheduler(ScanStore& store, MLogSink& log) : m_store(store), m_log(log) {}

GrowthScheduler::~GrowthScheduler() {
    Stop();
}

void GrowthScheduler::Start(const GrowthSettings& settings, unsigned firstDelaySeconds) {
    Stop();
    m_settings = settings;
    m_firstDelay = firstDelaySeconds;
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
}

void GrowthScheduler::Stop() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool GrowthScheduler::WaitUntil(int64_t unixTime) {
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        if (m_stop) {
            return false;
        }
        int64_t left = unixTime - UnixNow();
        if (left <= 0) {
            return true;
        }
        m_wake.wait_for(hold, std::chrono::seconds(left < WAIT_STEP_SECONDS ? left : WAIT_STEP_SECONDS));
    }
}

void GrowthScheduler::ScanAll(bool onlyMissing) {
    for (const std::string& root : GrowthRoots(m_settings)) {
        if (m_stop) {
            return;
        }
        if (onlyMissing && m_store.HasScan(root)) {
            continue;
        }
        ScanOptions options;
        options.root = root;
        options.now = UnixNow();
        options.timeLimit = std::chrono::minutes(m_settings.limitMinutes);
        options.stop = &m_stop;
        // One thread: the server's scan has its time bound to finish in and should take
        // as little as it can of the machine meanwhile.
        options.threads = 1;
        m_log.Write("フォルダの走査を始めます。(%s)", root.c_str());
        FolderScan scan;
        switch (ScanAndKeep(m_store, options, SCHEDULE_LOCK_WAIT_MS, m_log, &scan)) {
            case SCAN_JOB_SAVED:
                m_log.Write("フォルダの走査を終えました。(%s) フォルダ%llu個、ファイル%llu個%s", root.c_str(),
                            static_cast<unsigned long long>(scan.folderCount),
                            static_cast<unsigned long long>(scan.fileCount),
                            scan.partial ? "、途中まで" : "");
                break;
            case SCAN_JOB_BUSY:
                m_log.Write("別のフォルダの走査が実行中のため、走査しません。(%s)", root.c_str());
                break;
            case SCAN_JOB_FAILED:
                break;
        }
    }
}

void GrowthScheduler::Run() {
    if (!WaitUntil(UnixNow() + m_firstDelay)) {
        return;
    }
    ScanAll(true);
    while (WaitUntil(NextScanTime(UnixNow(), CurrentUtcOffset(), m_settings.scanMinute))) {
        ScanAll(false);
    }
}

std::string ScanProgressLine(const ScanProgress& progress, int columns) {
    char head[96];
    snprintf(head, sizeof head, "フォルダ %llu  ファイル %llu  ",
             static_cast<unsigned long long>(progress.folders),
             static_cast<unsigned long long>(progress.files));
    std::string text = std::string(head) + progress.current;
    std::string line;
    int used = 0;
    for (const char* p = text.c_str(); *p != '\0';) {
        int length = MbcCharLength(p);
        int width = length == 1 ? 1 : 2;
        if (static_cast<unsigned char>(*p) < 0x20) {
            length = 1;  // a control byte in a name would move the cursor: shown as '?'
            if (used + 1 > columns - 1) break;
            line += '?';
            ++used;
            ++p;
            continue;
        }
        if (used + width > columns - 1) {
            break;
        }
        line.append(p, length);
        used += width;
        p += length;
    }
    // Padded, so that it covers the longer line before it.
    return line + std::string(used < columns - 1 ? columns - 1 - used : 0, ' ');
}

std::string ScanSummary(const FolderScan& scan, const std::string& savedIn) {
    char text[512];
    snprintf(text, sizeof text,
             "%s: %s\n  フォルダ %llu  ファイル %llu  読めないフォルダ %llu  %lld 秒\n"
             "  使用中 %s のうち、フォルダ %s、%s %s\n  記録: %s\n",
             scan.partial ? "走査は途中で止まりました" : "走査しました", scan.root.c_str(),
             static_cast<unsigned long long>(scan.folderCount),
             static_cast<unsigned long long>(scan.fileCount),
             static_cast<unsigned long long>(scan.unreadableCount),
             static_cast<long long>(scan.endTime - scan.startTime), Bytes(scan.usedBytes).c_str(),
             Bytes(scan.folders.empty() ? 0 : scan.folders[0].bytes).c_str(), SCAN_OTHER_NAME,
             Bytes(scan.otherBytes).c_str(), savedIn.c_str());
    return text;
}

std::string GrowthDataFolder(const char* checkPath, const std::string& programFolder) {
    return checkPath[0] != '\0' ? MFolderOf(checkPath) : programFolder;
}

int RunForegroundScan(const std::string& programFolder, const std::string& path) {
    ConsoleLog log;
    std::string iniPath = MJoinPath(programFolder, "fsw.ini");
    GrowthSettings settings = ReadGrowthSettings(iniPath.c_str(), log);
    std::string checkFile;
    MGetPrivateProfileText(SECTION, "CHKFILE", "lastchk.txt", &checkFile, iniPath.c_str());
    char checkPath[261];
    if (!BuildPath(checkPath, sizeof checkPath, programFolder.c_str(), checkFile.c_str())) {
        checkPath[0] = '\0';
    }
    std::string dataDir = GrowthDataFolder(checkPath, programFolder);
    ScanStore store(dataDir, log);
    std::vector<std::string> roots;
    if (path.empty()) {
        roots = GrowthRoots(settings);
    } else {
        roots.push_back(path);
    }
    int columns = ScanConsoleColumns();
    int code = 0;
    for (const std::string& root : roots) {
        ScanOptions options;
        options.root = root;
        options.now = UnixNow();
        options.timeLimit = std::chrono::minutes(settings.limitMinutes);
        options.background = false;
        if (columns > 0) {
            options.progress = [columns](const ScanProgress& progress) {
                ScanConsoleWrite("\r" + ScanProgressLine(progress, columns), false);
            };
        }
        FolderScan scan;
        ScanJobResult result = ScanAndKeep(store, options, 0, log, &scan);
        if (columns > 0) {
            ScanConsoleWrite("\r" + std::string(columns - 1, ' ') + "\r", false);
        }
        if (result == SCAN_JOB_BUSY) {
            ScanConsoleWrite("別のフォルダの走査が実行中です。終わってからもう一度実行してください。\n", true);
            return 1;
        }
        if (result == SCAN_JOB_FAILED) {
            code = 2;
            continue;
        }
        ScanConsoleWrite(
            ScanSummary(scan, MJoinPath(dataDir, ScanFileName(scan.root, scan.endTime, scan.partial))),
            false);
    }
    return code;
}
