// The kept scans' files and the growth reports made of them.
#include "app/scan_store.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/growth_compare.h"
#include "app/wall_clock.h"
#include "mlib/mfileops.h"
#include "net/volume_list.h"

const char SCAN_LOCK_NAME[] = "fswscan.lock";

namespace {

const char MAGIC[] = "FSWSCAN 1";
const char PREFIX[] = "fswscan-";
const size_t MAX_FILE_FOLDERS = 10 * SCAN_MAX_FOLDERS;
const size_t MAX_FILE_FILES = 10 * SCAN_RECENT_FILES;
const size_t MAX_FILE_BYTES = 64u << 20;

uint64_t Fnv1a(const char* data, size_t size) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

// Paths go last on their lines, with control bytes and '%' as %XX.
std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || c == '%') {
            char code[4];
            snprintf(code, sizeof code, "%%%02X", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Unescaped(const std::string& text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out->push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size() || HexDigit(text[i + 1]) < 0 || HexDigit(text[i + 2]) < 0) {
            return false;
        }
        out->push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
        i += 2;
    }
    return !out->empty();
}

// A line's fields split at single spaces; the last takes the rest of the line.
std::vector<std::string> Fields(const std::string& line, size_t count) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (fields.size() + 1 < count) {
        size_t space = line.find(' ', at);
        if (space == std::string::npos) {
            break;
        }
        fields.push_back(line.substr(at, space - at));
        at = space + 1;
    }
    fields.push_back(line.substr(at));
    return fields;
}

bool Number(const std::string& text, uint64_t* value) {
    if (text.empty() || text.size() > 20) {
        return false;
    }
    uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        uint64_t next = n * 10 + static_cast<uint64_t>(c - '0');
        if (next / 10 != n) {
            return false;
        }
        n = next;
    }
    *value = n;
    return true;
}

bool Signed(const std::string& text, int64_t* value) {
    uint64_t n;
    bool negative = !text.empty() && text[0] == '-';
    if (!Number(negative ? text.substr(1) : text, &n) || n > uint64_t{INT64_MAX}) {
        return false;
    }
    *value = negative ? -static_cast<int64_t>(n) : static_cast<int64_t>(n);
    return true;
}

std::string Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Line(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

typedef unsigned long long ull;
typedef long long sll;

// The header's keys in their order.
const char* const HEADER_KEYS[] = {"root", "start", "end", "partial", "volroot",
                                   "used", "other", "files", "folders", "unreadable"};

}  // namespace

std::string EncodeScan(const FolderScan& scan) {
    std::string out = std::string(MAGIC) + "\n";
    out += "root " + Escaped(scan.root) + "\n";
    out += Line("start %lld\nend %lld\npartial %d\nvolroot %d\n", static_cast<sll>(scan.startTime),
                static_cast<sll>(scan.endTime), scan.partial ? 1 : 0, scan.volumeRoot ? 1 : 0);
    out += Line("used %llu\nother %llu\nfiles %llu\nfolders %llu\nunreadable %llu\n",
                static_cast<ull>(scan.usedBytes), static_cast<ull>(scan.otherBytes),
                static_cast<ull>(scan.fileCount), static_cast<ull>(scan.folderCount),
                static_cast<ull>(scan.unreadableCount));
    for (const ScanFolder& folder : scan.folders) {
        out += Line("D %llu %u %d ", static_cast<ull>(folder.bytes), folder.depth,
                    folder.complete ? 1 : 0) +
               Escaped(folder.path) + "\n";
    }
    for (const ScanFile& file : scan.files) {
        out += Line("F %llu %lld ", static_cast<ull>(file.bytes), static_cast<sll>(file.changeTime)) +
               Escaped(file.path) + "\n";
    }
    out += Line("END %llu %llu %016llx\n", static_cast<ull>(scan.folders.size()),
                static_cast<ull>(scan.files.size()), static_cast<ull>(Fnv1a(out.data(), out.size())));
    return out;
}

bool DecodeScan(const std::string& bytes, FolderScan* scan, std::string* why) {
    *scan = FolderScan();
    size_t magic = strlen(MAGIC);
    if (bytes.compare(0, magic, MAGIC) != 0 || bytes.size() <= magic || bytes[magic] != '\n') {
        *why = "走査の記録ではありません";
        return false;
    }
    // The last line: the counts and the check sum of everything before it.
    size_t endAt = bytes.rfind("\nEND ");
    if (bytes.back() != '\n' || endAt == std::string::npos) {
        *why = "途中で切れています";
        return false;
    }
    std::vector<std::string> end =
        Fields(bytes.substr(endAt + 5, bytes.size() - endAt - 6), 3);
    uint64_t folderCount, fileCount;
    if (end.size() != 3 || !Number(end[0], &folderCount) || !Number(end[1], &fileCount) ||
        Line("%016llx", static_cast<ull>(Fnv1a(bytes.data(), endAt + 1))) != end[2]) {
        *why = "中身が壊れています";
        return false;
    }
    *why = "中身が正しくありません";
    if (folderCount == 0 || folderCount > MAX_FILE_FOLDERS || fileCount > MAX_FILE_FILES) {
        return false;
    }
    std::vector<std::string> lines;
    for (size_t at = magic + 1; at < endAt + 1;) {
        size_t next = bytes.find('\n', at);
        lines.push_back(bytes.substr(at, next - at));
        at = next + 1;
    }
    const size_t header = sizeof HEADER_KEYS / sizeof HEADER_KEYS[0];
    if (lines.size() != header + folderCount + fileCount) {
        return false;
    }
    uint64_t numbers[header] = {};
    for (size_t i = 0; i < header; ++i) {
        std::vector<std::string> field = Fields(lines[i], 2);
        if (field.size() != 2 || field[0] != HEADER_KEYS[i]) {
            return false;
        }
        int64_t value = 0;
        bool ok = i == 0 ? Unescaped(field[1], &scan->root)
                         : (i <= 2 ? Signed(field[1], &value) : Number(field[1], &numbers[i]));
        if (!ok) {
            return false;
        }
        numbers[i] = i <= 2 ? static_cast<uint64_t>(value) : numbers[i];
    }
    scan->startTime = static_cast<int64_t>(numbers[1]);
    scan->endTime = static_cast<int64_t>(numbers[2]);
    if (numbers[3] > 1 || numbers[4] > 1) {
        return false;
    }
    scan->partial = numbers[3] == 1;
    scan->volumeRoot = numbers[4] == 1;
    scan->usedBytes = numbers[5];
    scan->otherBytes = numbers[6];
    scan->fileCount = numbers[7];
    scan->folderCount = numbers[8];
    scan->unreadableCount = numbers[9];
    for (size_t i = header; i < lines.size(); ++i) {
        bool folder = i < header + folderCount;
        std::vector<std::string> field = Fields(lines[i], 5);
        uint64_t size, second, third = 0;
        int64_t time = 0;
        if (field.size() < 4 || field[0] != (folder ? "D" : "F") || !Number(field[1], &size)) {
            return false;
        }
        if (folder) {
            ScanFolder entry;
            if (field.size() != 5 || !Number(field[2], &second) || second > 100000 ||
                !Number(field[3], &third) || third > 1 || !Unescaped(field[4], &entry.path)) {
                return false;
            }
            entry.bytes = size;
            entry.depth = static_cast<uint32_t>(second);
            entry.complete = third == 1;
            scan->folders.push_back(entry);
        } else {
            field = Fields(lines[i], 4);
            ScanFile entry;
            if (field.size() != 4 || !Signed(field[2], &time) || !Unescaped(field[3], &entry.path)) {
                return false;
            }
            entry.bytes = size;
            entry.changeTime = time;
            scan->files.push_back(entry);
        }
    }
    if (scan->folders[0].path != scan->root || scan->folders[0].depth != 0) {
        return false;
    }
    why->clear();
    return true;
}

std::string ScanRootKey(const std::string& root) {
    return Line("%016llx", static_cast<ull>(Fnv1a(root.data(), root.size())));
}

std::string ScanFileName(const std::string& root, int64_t endTime, bool partial) {
    int64_t year;
    unsigned month, day;
    int64_t days = endTime >= 0 ? endTime / 86400 : (endTime - 86399) / 86400;
    int64_t second = endTime - days * 86400;
    CivilFromDays(days, &year, &month, &day);
    return std::string(PREFIX) + ScanRootKey(root) +
           Line("-%04lld%02u%02u%02u%02u%02u", static_cast<sll>(year), month, day,
                static_cast<unsigned>(second / 3600), static_cast<unsigned>(second / 60 % 60),
                static_cast<unsigned>(second % 60)) +
           (partial ? "-p.txt" : ".txt");
}

bool ParseScanFileName(const std::string& name, std::string* key, int64_t* endTime,
                       bool* partial) {
    const size_t prefix = strlen(PREFIX);
    const size_t base = prefix + 16 + 1 + 14;
    if (name.compare(0, prefix, PREFIX) != 0 || name.size() < base + 4 || name[prefix + 16] != '-') {
        return false;
    }
    std::string tail = name.substr(base);
    if (tail != ".txt" && tail != "-p.txt") {
        return false;
    }
    for (size_t i = prefix; i < base; ++i) {
        char c = name[i];
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        if (i != prefix + 16 && !(i > prefix + 16 ? (c >= '0' && c <= '9') : hex)) {
            return false;
        }
    }
    auto part = [&](size_t at, size_t length) {
        return static_cast<unsigned>(std::stoul(name.substr(prefix + 17 + at, length)));
    };
    unsigned month = part(4, 2), day = part(6, 2), hour = part(8, 2), minute = part(10, 2),
             second = part(12, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    *key = name.substr(prefix, 16);
    *endTime = DaysFromCivil(part(0, 4), month, day) * 86400 + hour * 3600 + minute * 60 + second;
    *partial = tail == "-p.txt";
    return true;
}

std::vector<bool> ScansToKeep(const std::vector<KeptScan>& scans, int64_t today) {
    std::vector<size_t> order(scans.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return scans[a].endTime > scans[b].endTime; });
    std::vector<bool> keep(scans.size(), false);
    size_t keptToday = 0;
    size_t days = 0;
    int64_t day = INT64_MIN;  // the earlier day being kept
    bool wholeKept = false;
    for (size_t i : order) {
        const KeptScan& scan = scans[i];
        if (scan.day >= today) {
            keep[i] = keptToday++ < SCANS_KEPT_TODAY;
            continue;
        }
        if (scan.day != day) {
            day = scan.day;
            wholeKept = false;
            if (++days > SCAN_DAYS_KEPT) {
                break;
            }
            keep[i] = true;
            wholeKept = !scan.partial;
        } else if (!wholeKept && !scan.partial) {
            keep[i] = true;
            wholeKept = true;
        }
    }
    return keep;
}

ScanStore::ScanStore(const std::string& folder, MLogSink& log) : m_folder(folder), m_log(log) {}

std::string ScanStore::LockPath() const {
    return MJoinPath(m_folder, SCAN_LOCK_NAME);
}

std::vector<ScanStore::Kept> ScanStore::ListScans() {
    std::vector<Kept> kept;
    for (const std::string& name : MFolderNames(m_folder)) {
        Kept scan;
        if (ParseScanFileName(name, &scan.key, &scan.endTime, &scan.partial)) {
            scan.name = name;
            kept.push_back(scan);
        }
    }
    std::sort(kept.begin(), kept.end(),
              [](const Kept& a, const Kept& b) { return a.name < b.name; });
    return kept;
}

bool ScanStore::Save(const FolderScan& scan, int64_t now, int64_t utcOffset) {
    std::string name = ScanFileName(scan.root, scan.endTime, scan.partial);
    std::string path = MJoinPath(m_folder, name);
    std::string bytes = EncodeScan(scan);
    if (MReplaceFile(path.c_str(), bytes.data(), bytes.size(), M_LINK_REPLACE_NAME) !=
        M_REPLACE_DONE) {
        m_log.Write("フォルダの走査の記録を保存できません。(File=%s)", path.c_str());
        return false;
    }
    std::string key = ScanRootKey(scan.root);
    std::vector<Kept> kept;
    std::vector<KeptScan> days;
    for (const Kept& other : ListScans()) {
        if (other.key == key) {
            kept.push_back(other);
            int64_t local = other.endTime + utcOffset;
            days.push_back(KeptScan{local >= 0 ? local / 86400 : (local - 86399) / 86400,
                                    other.endTime, other.partial});
        }
    }
    int64_t local = now + utcOffset;
    std::vector<bool> keep = ScansToKeep(days, local >= 0 ? local / 86400 : (local - 86399) / 86400);
    for (size_t i = 0; i < kept.size(); ++i) {
        if (!keep[i] && kept[i].name != name) {
            MDeleteFile(MJoinPath(m_folder, kept[i].name));
        }
    }
    return true;
}

bool ScanStore::HasScan(const std::string& root) {
    std::string key = ScanRootKey(root);
    for (const Kept& kept : ListScans()) {
        if (kept.key == key) {
            return true;
        }
    }
    return false;
}

bool ScanStore::Load(const std::string& name, FolderScan* scan) {
    std::string path = MJoinPath(m_folder, name);
    std::string bytes;
    std::string why;
    MReadResult read = MReadFile(path.c_str(), MAX_FILE_BYTES, &bytes);
    if (read == M_READ_DONE && DecodeScan(bytes, scan, &why)) {
        return true;
    }
    if (read != M_READ_DONE) {
        why = read == M_READ_TOO_LARGE ? "大きすぎます" : "読めません";
    }
    if (m_refused.insert(name).second) {
        m_log.Write("フォルダの走査の記録を使いません: %s。(File=%s)", why.c_str(), path.c_str());
    }
    return false;
}

void ScanStore::Refresh() {
    std::vector<Kept> kept = ListScans();
    std::vector<std::string> names;
    for (const Kept& scan : kept) {
        names.push_back(scan.name);
    }
    if (names == m_names) {
        return;
    }
    m_names = names;
    m_reports.clear();
    std::map<std::string, std::vector<Kept>> byKey;
    for (const Kept& scan : kept) {
        byKey[scan.key].push_back(scan);
    }
    for (auto& group : byKey) {
        std::vector<Kept>& candidates = group.second;
        // A file that cannot be used is left out and the choice made again.
        for (;;) {
            std::vector<ScanTime> times;
            for (const Kept& scan : candidates) {
                times.push_back(ScanTime{scan.endTime, scan.partial});
            }
            ComparedScans chosen = ChooseComparedScans(times);
            if (chosen.latest < 0) {
                break;
            }
            FolderScan scans[3];
            int indexes[3] = {chosen.latest, chosen.dayBefore, chosen.weekBefore};
            int failed = -1;
            for (int i = 0; i < 3 && failed < 0; ++i) {
                if (indexes[i] >= 0 && !Load(candidates[indexes[i]].name, &scans[i])) {
                    failed = indexes[i];
                }
            }
            if (failed >= 0) {
                candidates.erase(candidates.begin() + failed);
                continue;
            }
            m_reports[scans[0].root] =
                CompareScans(scans[0], indexes[1] >= 0 ? &scans[1] : nullptr,
                             indexes[2] >= 0 ? &scans[2] : nullptr);
            break;
        }
    }
}

bool ScanStore::ReportFor(const std::string& path, GrowthReport* report) {
    std::lock_guard<std::mutex> hold(m_lock);
    Refresh();
    // The scan whose root holds path (the deepest), else one whose root lies under path.
    const std::string* root = nullptr;
    const GrowthReport* whole = nullptr;
    for (const auto& kept : m_reports) {
        bool holds = PathIsOn(path, kept.first);
        bool under = PathIsOn(kept.first, path);
        if (!holds && !under) {
            continue;
        }
        bool rootHolds = root != nullptr && PathIsOn(path, *root);
        if (root == nullptr || (holds && (!rootHolds || kept.first.size() > root->size()))) {
            root = &kept.first;
            whole = &kept.second;
        }
    }
    if (whole == nullptr) {
        return false;
    }
    *report = *whole;
    report->folders.clear();
    report->files.clear();
    for (const GrowthFolder& folder : whole->folders) {
        if (folder.path == SCAN_OTHER_NAME ? PathIsOn(*root, path) : PathIsOn(folder.path, path)) {
            report->folders.push_back(folder);
        }
    }
    for (const GrowthFile& file : whole->files) {
        if (PathIsOn(file.path, path)) {
            report->files.push_back(file);
        }
    }
    return true;
}
