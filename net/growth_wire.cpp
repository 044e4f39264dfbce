// The folder-growth reply: its caps, its body and the server's answer.
#include "net/growth_wire.h"

#include <algorithm>

#include "mlib/mcodepage.h"
#include "mlib/mlogtext.h"
#include "net/protocol.h"
#include "net/volume_list.h"

namespace {

size_t WireLength(const std::string& path) {
    return MAnsiToWire(path.data(), path.size()).size();
}

// A name that is no path (neither rooted nor of a drive): a line of the source's own, as
// that of the space no folder explains, which it has given for the asked path.
bool IsLabel(const std::string& name) {
    bool drive = name.size() >= 2 && name[1] == ':' &&
                 ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
    return !name.empty() && name[0] != '/' && name[0] != '\\' && !drive;
}

bool Fits(const std::string& entryPath, const std::string& under) {
    size_t length = WireLength(entryPath);
    return length > 0 && length <= MAX_GROWTH_PATH &&
           (PathIsOn(entryPath, under) || IsLabel(entryPath));
}

void PutPath(std::string* body, const std::string& path) {
    std::string wirePath = MAnsiToWire(path.data(), path.size());
    PutBigEndian(body, wirePath.size(), 2);
    *body += wirePath;
}

void PutScan(std::string* body, const GrowthScanInfo& scan) {
    PutBigEndian(body, static_cast<uint64_t>(scan.time), 8);
    PutBigEndian(body, scan.partial ? 1 : 0, 1);
}

// Reads what a path needs and the fixed bytes after it are there, and the path; false when
// its length is out of bounds or bytes are missing.
bool GetPath(const std::string& body, size_t* at, size_t fixedAfter, std::string* path) {
    if (body.size() < *at + 2) {
        return false;
    }
    size_t length = GetBigEndian(body, *at, 2);
    *at += 2;
    if (length == 0 || length > MAX_GROWTH_PATH || body.size() < *at + length + fixedAfter) {
        return false;
    }
    *path = MWireToAnsi(body.data() + *at, length);
    *at += length;
    return true;
}

bool GetScan(const std::string& body, size_t* at, GrowthScanInfo* scan) {
    if (body.size() < *at + GROWTH_SCAN_SIZE || static_cast<unsigned char>(body[*at + 8]) > 1) {
        return false;
    }
    scan->time = static_cast<int64_t>(GetBigEndian(body, *at, 8));
    scan->partial = body[*at + 8] == 1;
    *at += GROWTH_SCAN_SIZE;
    return true;
}

bool GetCount(const std::string& body, size_t* at, int cap, size_t* count) {
    if (body.size() < *at + 2 || GetBigEndian(body, *at, 2) > static_cast<uint64_t>(cap)) {
        return false;
    }
    *count = GetBigEndian(body, *at, 2);
    *at += 2;
    return true;
}

}  // namespace

GrowthReport GrowthReportUnder(const GrowthReport& report, const std::string& path) {
    GrowthReport under;
    under.latest = report.latest;
    under.dayBefore = report.dayBefore;
    under.weekBefore = report.weekBefore;
    for (const GrowthFolder& folder : report.folders) {
        if (Fits(folder.path, path)) {
            under.folders.push_back(folder);
        }
    }
    for (const GrowthFile& file : report.files) {
        if (Fits(file.path, path)) {
            under.files.push_back(file);
        }
    }
    std::stable_sort(under.folders.begin(), under.folders.end(),
                     [](const GrowthFolder& a, const GrowthFolder& b) {
                         return a.growthWeek > b.growthWeek;
                     });
    std::stable_sort(under.files.begin(), under.files.end(),
                     [](const GrowthFile& a, const GrowthFile& b) {
                         return a.sizeBytes > b.sizeBytes;
                     });
    if (under.folders.size() > MAX_GROWTH_FOLDERS) {
        under.folders.resize(MAX_GROWTH_FOLDERS);
    }
    if (under.files.size() > MAX_GROWTH_FILES) {
        under.files.resize(MAX_GROWTH_FILES);
    }
    return under;
}

std::string EncodeGrowthReport(const GrowthReport& report) {
    std::string body;
    PutScan(&body, report.latest);
    PutScan(&body, report.dayBefore);
    PutScan(&body, report.weekBefore);
    PutBigEndian(&body, report.folders.size(), 2);
    for (const GrowthFolder& folder : report.folders) {
        PutPath(&body, folder.path);
        PutBigEndian(&body, folder.sizeBytes, 8);
        PutBigEndian(&body, static_cast<uint64_t>(folder.growthDay), 8);
        PutBigEndian(&body, static_cast<uint64_t>(folder.growthWeek), 8);
    }
    PutBigEndian(&body, report.files.size(), 2);
    for (const GrowthFile& file : report.files) {
        PutPath(&body, file.path);
        PutBigEndian(&body, file.sizeBytes, 8);
        PutBigEndian(&body, static_cast<uint64_t>(file.changeTime), 8);
    }
    return body;
}

bool DecodeGrowthReport(const std::string& body, GrowthReport* report) {
    *report = GrowthReport();
    size_t at = 0;
    size_t count = 0;
    if (!GetScan(body, &at, &report->latest) || !GetScan(body, &at, &report->dayBefore) ||
        !GetScan(body, &at, &report->weekBefore) ||
        !GetCount(body, &at, MAX_GROWTH_FOLDERS, &count)) {
        return false;
    }
    for (size_t i = 0; i < count; i++) {
        GrowthFolder folder;
        if (!GetPath(body, &at, 24, &folder.path)) {
            return false;
        }
        folder.sizeBytes = GetBigEndian(body, at, 8);
        folder.growthDay = static_cast<int64_t>(GetBigEndian(body, at + 8, 8));
        folder.growthWeek = static_cast<int64_t>(GetBigEndian(body, at + 16, 8));
        at += 24;
        report->folders.push_back(folder);
    }
    if (!GetCount(body, &at, MAX_GROWTH_FILES, &count)) {
        return false;
    }
    for (size_t i = 0; i < count; i++) {
        GrowthFile file;
        if (!GetPath(body, &at, 16, &file.path)) {
            return false;
        }
        file.sizeBytes = GetBigEndian(body, at, 8);
        file.changeTime = static_cast<int64_t>(GetBigEndian(body, at + 8, 8));
        at += 16;
        report->files.push_back(file);
    }
    return at == body.size();
}

std::string GrowthReplyBytes(GrowthSource& source, MLogSink& log, const std::string& wirePath) {
    std::string path = MWireToAnsi(wirePath.data(), wirePath.size());
    GrowthReport report;
    if (!source.ReportFor(path, &report)) {
        log.Write("フォルダの記録がないため増加を返せません。path=%s", MEscapeForLog(path).c_str());
        return ReplyHeaderBytes(STATUS_DISK_ERROR, 0);
    }
    GrowthReport under = GrowthReportUnder(report, path);
    log.Write("[%s] 増えたフォルダ %u個、最近の大きなファイル %u個を返します",
              MEscapeForLog(path).c_str(), static_cast<unsigned>(under.folders.size()),
              static_cast<unsigned>(under.files.size()));
    std::string body = EncodeGrowthReport(under);
    return ReplyHeaderBytes(STATUS_OK, static_cast<uint32_t>(body.size())) + body;
}
