// The volume list: its wire body, the server's answer, and a "*" row's volumes.
#include "net/volume_list.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "mlib/mbchar.h"
#include "mlib/mcodepage.h"
#include "mlib/mlogtext.h"
#include "mlib/mvolumes.h"
#include "net/disk_guard.h"
#include "net/protocol.h"

const char ALL_VOLUMES_PATH[] = "*";

namespace {

bool IsWindowsPath(const std::string& path) {
    char c = path.empty() ? '\0' : path[0];
    return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path.size() >= 2 && path[1] == ':';
}

char Folded(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c == '/' ? '\\' : c;
}

}  // namespace

std::string EncodeVolumeList(const std::vector<VolumeEntry>& entries) {
    std::string body;
    PutBigEndian(&body, entries.size(), 2);
    for (const VolumeEntry& entry : entries) {
        std::string wirePath = MAnsiToWire(entry.path.data(), entry.path.size());
        PutBigEndian(&body, entry.state, 2);
        PutBigEndian(&body, wirePath.size(), 2);
        body += wirePath;
        PutBigEndian(&body, entry.freeBytes, 8);
        PutBigEndian(&body, entry.totalBytes, 8);
    }
    return body;
}

bool DecodeVolumeList(const std::string& body, std::vector<VolumeEntry>* entries) {
    entries->clear();
    if (body.size() < 2 || GetBigEndian(body, 0, 2) > MAX_LISTED_VOLUMES) {
        return false;
    }
    size_t count = GetBigEndian(body, 0, 2);
    size_t at = 2;
    for (size_t i = 0; i < count; i++) {
        if (body.size() < at + 4) {
            return false;
        }
        VolumeEntry entry;
        entry.state = static_cast<uint16_t>(GetBigEndian(body, at, 2));
        size_t length = GetBigEndian(body, at + 2, 2);
        at += 4;
        if (entry.state > VOLUME_LATE || length == 0 || length > MAX_VOLUME_PATH ||
            body.size() < at + length + 16) {
            return false;
        }
        entry.path = MWireToAnsi(body.data() + at, length);
        entry.freeBytes = GetBigEndian(body, at + length, 8);
        entry.totalBytes = GetBigEndian(body, at + length + 8, 8);
        at += length + 16;
        // Sizes that cannot be, like those of a single reply, make the volume unmeasured.
        if (entry.state != VOLUME_MEASURED || entry.totalBytes == 0 ||
            entry.freeBytes > entry.totalBytes) {
            if (entry.state == VOLUME_MEASURED) {
                entry.state = VOLUME_NOT_MEASURED;
            }
            entry.freeBytes = 0;
            entry.totalBytes = 0;
        }
        entries->push_back(entry);
    }
    return at == body.size();
}

bool IsAllVolumesPath(const char* path) {
    return strcmp(path, ALL_VOLUMES_PATH) == 0;
}

bool PathIsOn(const std::string& path, const std::string& mountPoint) {
    bool windows = IsWindowsPath(mountPoint);
    auto separator = [&](char c) { return c == '/' || (windows && c == '\\'); };
    auto lengthAt = [&](size_t i) {
        return windows ? static_cast<size_t>(MbcCharLength(mountPoint.c_str() + i)) : size_t{1};
    };
    // The end without the last separators, found by character: the trail byte of a
    // Shift-JIS character (表, ソ) may be a backslash.
    size_t end = 0;
    for (size_t i = 0; i < mountPoint.size(); i += lengthAt(i)) {
        if (lengthAt(i) > 1 || !separator(mountPoint[i])) {
            end = i + lengthAt(i);
        }
    }
    for (size_t i = 0; i < end;) {
        size_t length = lengthAt(i);
        if (path.size() < i + length) {
            return false;
        }
        bool same = length == 1 && windows ? Folded(path[i]) == Folded(mountPoint[i])
                                           : path.compare(i, length, mountPoint, i, length) == 0;
        if (!same) {
            return false;
        }
        i += length;
    }
    return path.size() == end || separator(path[end]);
}

std::vector<VolumeEntry> VolumesOfAllRow(const std::vector<VolumeEntry>& listed,
                                         const std::vector<std::string>& explicitPaths) {
    std::vector<bool> named(listed.size(), false);
    for (const std::string& path : explicitPaths) {
        size_t on = listed.size();
        for (size_t i = 0; i < listed.size(); i++) {
            if (PathIsOn(path, listed[i].path) &&
                (on == listed.size() || listed[i].path.size() > listed[on].path.size())) {
                on = i;
            }
        }
        if (on < listed.size()) {
            named[on] = true;
        }
    }
    std::vector<VolumeEntry> watched;
    for (size_t i = 0; i < listed.size(); i++) {
        if (!named[i]) {
            watched.push_back(listed[i]);
        }
    }
    return watched;
}

std::vector<VolumeEntry> UsableVolumes(const std::vector<VolumeEntry>& listed, size_t fieldSize,
                                       std::vector<RefusedVolume>* refused) {
    std::vector<VolumeEntry> usable;
    refused->clear();
    for (const VolumeEntry& volume : listed) {
        const std::string& path = volume.path;
        const char* reason = nullptr;
        if (std::any_of(path.begin(), path.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
            reason = "制御文字を含む";
        } else if (IsAllVolumesPath(path.c_str())) {
            reason = "「*」である";
        } else if (path.size() >= fieldSize) {
            reason = "長すぎる";
        } else if (std::any_of(usable.begin(), usable.end(),
                               [&](const VolumeEntry& other) { return other.path == path; })) {
            reason = "重複している";
        }
        if (reason != nullptr) {
            refused->push_back(RefusedVolume{path, reason});
        } else {
            usable.push_back(volume);
        }
    }
    return usable;
}

namespace {

typedef std::chrono::steady_clock Clock;

// One list being made: shared by the handler that waits for it and the threads that list
// and measure, so that a thread that returns late from a file system still finds it.
struct ListJob {
    std::mutex lock;  // guards everything below
    std::condition_variable changed;
    std::string prefix;
    bool allowRemote = false;
    bool listed = false;               // the system's list has been taken
    bool listFailed = false;           // and the system gave none
    bool givenUp = false;              // the handler has answered: no more measurements start
    std::vector<VolumeEntry> entries;  // VOLUME_LATE until measured
    std::vector<std::string> tooLong;  // left out: paths beyond MAX_VOLUME_PATH wire bytes
    size_t beyondCap = 0;              // left out: volumes beyond MAX_LISTED_VOLUMES
    size_t next = 0;                   // the next entry to measure
    size_t done = 0;                   // entries measured or failed
};

// Measures the job's entries one after another until none is left or the handler gave up.
void MeasureEntries(std::shared_ptr<ListJob> job) {
    std::unique_lock<std::mutex> hold(job->lock);
    while (!job->givenUp && job->next < job->entries.size()) {
        size_t index = job->next++;
        std::string path = job->entries[index].path;
        hold.unlock();
        uint64_t freeBytes = 0;
        uint64_t totalBytes = 0;
        // No connection: an overrun leaves the answer to the handler's own deadline.
        MeasureOutcome outcome = TheDiskGuard().Measure(path, nullptr, &freeBytes, &totalBytes);
        hold.lock();
        VolumeEntry& entry = job->entries[index];
        if (outcome == MEASURE_OK) {
            entry = VolumeEntry{path, VOLUME_MEASURED, freeBytes, totalBytes};
        } else if (outcome == MEASURE_FAILED) {
            entry.state = VOLUME_NOT_MEASURED;
        }
        job->done++;
        job->changed.notify_all();
    }
}

// Takes the system's list, keeps what the request and the caps allow, and measures it
// with the threads that wait for it.
void ListAndMeasure(std::shared_ptr<ListJob> job) {
    std::vector<std::string> paths;
    bool listed = MListVolumes(job->allowRemote, &paths);
    {
        std::lock_guard<std::mutex> hold(job->lock);
        for (const std::string& path : paths) {
            if (!job->prefix.empty() && !PathIsOn(path, job->prefix)) {
                continue;
            }
            if (MAnsiToWire(path.data(), path.size()).size() > MAX_VOLUME_PATH) {
                job->tooLong.push_back(path);
            } else if (job->entries.size() == MAX_LISTED_VOLUMES) {
                job->beyondCap++;
            } else {
                job->entries.push_back(VolumeEntry{path, VOLUME_LATE, 0, 0});
            }
        }
        job->listed = true;
        job->listFailed = !listed;
        job->changed.notify_all();
    }
    MeasureEntries(job);
}

// A helper: waits until the list has been taken (or the handler has answered without
// it), then measures beside the thread that took it.
void WaitAndMeasure(std::shared_ptr<ListJob> job) {
    {
        std::unique_lock<std::mutex> hold(job->lock);
        job->changed.wait(hold, [&] { return job->listed || job->givenUp; });
    }
    MeasureEntries(job);
}

void LogPath(MLogSink& log, const char* format, const std::string& path) {
    log.Write(format, MEscapeForLog(path).c_str());
}

}  // namespace

bool ListOwnVolumes(MLogSink& log, bool allowRemote, const std::atomic<bool>& stop,
                    const std::string& prefix, std::vector<VolumeEntry>* measured) {
    std::shared_ptr<ListJob> job = std::make_shared<ListJob>();
    job->prefix = prefix;
    job->allowRemote = allowRemote;
    // Every thread of the job is started and let go here, before the handler waits: a
    // thread started by another could still be unjoined, half started, when the handler
    // has answered. Each may be left in a file system that hangs; the job outlives them.
    try {
        std::thread(ListAndMeasure, job).detach();
    } catch (const std::system_error&) {
        log.Write("スレッドが開始できません");
        return false;
    }
    for (int n = 1; n < VOLUME_LIST_MEASURERS; n++) {
        try {
            std::thread(WaitAndMeasure, job).detach();
        } catch (const std::system_error&) {
            break;  // the threads that started share the entries
        }
    }
    // The stop is looked for every 50 ms; it leaves the measurements STOP_MEASURE_MS.
    Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(VOLUME_LIST_TIME_LIMIT_MS);
    bool stopSeen = false;
    std::unique_lock<std::mutex> hold(job->lock);
    while (!job->listed || job->done < job->entries.size()) {
        Clock::time_point now = Clock::now();
        if (stop && !stopSeen) {
            stopSeen = true;
            deadline = std::min(deadline, now + std::chrono::milliseconds(STOP_MEASURE_MS));
        }
        if (now >= deadline) {
            break;
        }
        job->changed.wait_until(hold, std::min(deadline, now + std::chrono::milliseconds(50)));
    }
    job->givenUp = true;
    job->changed.notify_all();  // helpers still waiting for a list that has not come end
    bool listed = job->listed && !job->listFailed;
    std::vector<VolumeEntry> entries = job->entries;
    std::vector<std::string> tooLong = job->tooLong;
    size_t beyondCap = job->beyondCap;
    hold.unlock();

    if (!listed) {
        log.Write("ボリューム一覧を取得できませんでした。");
        return false;
    }
    for (const std::string& path : tooLong) {
        LogPath(log, "パスが長すぎるためボリューム一覧から外します。path=%s", path);
    }
    if (beyondCap > 0) {
        log.Write("ボリュームが%u個あるため、先頭の%d個のみを返します",
                  static_cast<unsigned>(entries.size() + beyondCap), MAX_LISTED_VOLUMES);
    }
    for (const VolumeEntry& entry : entries) {
        if (entry.state == VOLUME_LATE) {
            LogPath(log, "ディスク容量の取得が時間内に終わりません。path=%s", entry.path);
        } else if (entry.state == VOLUME_NOT_MEASURED) {
            LogPath(log, "ディスク情報を取得できませんでした。path=%s", entry.path);
        }
    }
    *measured = std::move(entries);
    return true;
}

std::string VolumeListReply(MLogSink& log, bool allowRemote, const std::atomic<bool>& stop,
                            const std::string& wirePrefix) {
    std::vector<VolumeEntry> entries;
    if (!ListOwnVolumes(log, allowRemote, stop, MWireToAnsi(wirePrefix.data(), wirePrefix.size()),
                        &entries)) {
        return ReplyHeaderBytes(STATUS_DISK_ERROR, 0);
    }
    unsigned unmeasured = 0;
    for (const VolumeEntry& entry : entries) {
        unmeasured += entry.state != VOLUME_MEASURED ? 1 : 0;
    }
    log.Write("ボリューム一覧 %u個 (測定できなかったもの %u個)",
              static_cast<unsigned>(entries.size()), unmeasured);
    std::string body = EncodeVolumeList(entries);
    return ReplyHeaderBytes(STATUS_OK, static_cast<uint32_t>(body.size())) + body;
}
