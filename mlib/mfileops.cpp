// Whole-file replacement and whole-file reading, the same on every platform.
#include "mlib/mfileops.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "mlib/mbchar.h"

namespace {

std::atomic<int64_t> g_writeLimit{-1};

}  // namespace

void MSetNewFileWriteLimit(int64_t limit) {
    g_writeLimit = limit;
}

MFileLock::Result MFileLock::Lock(const char* path, unsigned milliseconds) {
    Unlock();
    Result opened = Open(path);
    if (opened != HELD) {
        return opened;
    }
    for (unsigned waited = 0;; waited += 10) {
        if (TryLock()) {
            return HELD;
        }
        if (waited >= milliseconds) {
            Unlock();
            return BUSY;
        }
        MSleep(10);
    }
}

MLineReader::MLineReader(MFileReader* file, size_t bufferSize)
    : m_file(file),
      m_buffer(bufferSize),
      m_begin(0),
      m_end(0),
      m_midLine(false),
      m_atEnd(false),
      m_failed(false) {}

bool MLineReader::Next(Piece* piece) {
    for (;;) {
        char* base = m_buffer.data();
        if (m_begin < m_end) {
            const void* feed = memchr(base + m_begin, '\n', m_end - m_begin);
            size_t stop = feed != nullptr
                              ? static_cast<size_t>(static_cast<const char*>(feed) - base) + 1
                              : m_end;
            // A line with its feed; the last bytes of the file; a buffer full of one line.
            if (feed != nullptr || m_atEnd || (m_begin == 0 && m_end == m_buffer.size())) {
                *piece = Piece{base + m_begin, stop - m_begin, !m_midLine, feed != nullptr};
                m_midLine = feed == nullptr && !m_atEnd;
                m_begin = stop;
                return true;
            }
        } else if (m_atEnd || m_failed) {
            return false;
        }
        memmove(base, base + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
        long got = m_file->Read(base + m_end, m_buffer.size() - m_end);
        if (got < 0) {
            m_failed = true;
            return false;
        }
        m_atEnd = got == 0;
        m_end += static_cast<size_t>(got);
    }
}

bool MNewFile::FitWriteLimit(size_t* size) const {
    int64_t limit = g_writeLimit;
    if (limit < 0 || m_written + *size <= static_cast<uint64_t>(limit)) {
        return true;
    }
    *size = m_written < static_cast<uint64_t>(limit) ? static_cast<size_t>(limit - m_written) : 0;
    return false;
}

MReplaceResult MReplaceFile(const char* path, const void* data, size_t size, MLinkRule rule) {
    MNewFile file;
    if (!file.Create(path, rule)) {
        return file.Refused() ? M_REPLACE_REFUSED : M_REPLACE_OPEN_FAILED;
    }
    if (!file.Write(data, size) || !file.FlushBuffers() || !file.MoveOver()) {
        file.Delete();
        return M_REPLACE_WRITE_FAILED;
    }
    return M_REPLACE_DONE;
}

MReadResult MReadFile(const char* path, size_t limit, std::string* bytes) {
    bytes->clear();
    MFileReader file;
    MReadResult opened = file.Open(path);
    if (opened != M_READ_DONE) {
        return opened;
    }
    // One byte beyond the limit tells a file that is longer from one that just fits.
    char chunk[65536];
    for (;;) {
        size_t want = limit + 1 - bytes->size();
        long got = file.Read(chunk, want < sizeof chunk ? want : sizeof chunk);
        if (got < 0) {
            return M_READ_FAILED;
        }
        if (got == 0) {
            return M_READ_DONE;
        }
        bytes->append(chunk, static_cast<size_t>(got));
        if (bytes->size() > limit) {
            bytes->resize(limit);
            return M_READ_TOO_LARGE;
        }
    }
}

bool MReadWholeFile(const char* path, std::string* bytes, bool* missing) {
    MReadResult result = MReadFile(path, M_READ_WHOLE_LIMIT, bytes);
    *missing = result == M_READ_MISSING;
    return result == M_READ_DONE;
}

namespace {

const char NEW_FILE_PREFIX[] = ".fsw-";
const char NEW_FILE_SUFFIX[] = ".tmp";

// Reads decimal digits at *p; false when there are none or they overflow.
bool ReadDigits(const char** p, unsigned long* value) {
    const char* start = *p;
    unsigned long long number = 0;
    for (; **p >= '0' && **p <= '9'; (*p)++) {
        number = number * 10 + static_cast<unsigned>(**p - '0');
        if (number > 0xFFFFFFFFu) {
            return false;
        }
    }
    *value = static_cast<unsigned long>(number);
    return *p != start;
}

}  // namespace

std::string MNewFileName(unsigned long pid, unsigned n) {
    char name[64];
    snprintf(name, sizeof name, "%s%lu-%u%s", NEW_FILE_PREFIX, pid, n, NEW_FILE_SUFFIX);
    return name;
}

bool MParseNewFileName(const std::string& name, unsigned long* pid) {
    const char* p = name.c_str();
    size_t prefix = strlen(NEW_FILE_PREFIX);
    if (name.compare(0, prefix, NEW_FILE_PREFIX) != 0) {
        return false;
    }
    p += prefix;
    unsigned long n;
    if (!ReadDigits(&p, pid) || *p++ != '-' || !ReadDigits(&p, &n)) {
        return false;
    }
    return strcmp(p, NEW_FILE_SUFFIX) == 0;
}

std::string MJoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == M_PATH_SEPARATOR || folder.back() == '/')) {
        return folder + name;  // a root already ends with its separator
    }
    return folder + M_PATH_SEPARATOR + name;
}

std::vector<std::string> MRemoveStaleNewFiles(const char* target, MLinkRule rule) {
    std::string folder = MNewFileFolder(target, rule);
    std::vector<std::string> removed;
    for (const std::string& name : MFolderNames(folder)) {
        unsigned long pid;
        if (!MParseNewFileName(name, &pid) || MProcessRuns(pid)) {
            continue;
        }
        std::string path = MJoinPath(folder, name);
        if (MDeleteFile(path)) {
            removed.push_back(path);
        }
    }
    return removed;
}

std::string MFolderOf(const char* path) {
    const char* last = nullptr;
    for (const char* p = path; *p != '\0'; p += MbcCharLength(p)) {
        if (*p == '\\' || *p == '/') {
            last = p;
        }
    }
    if (last == nullptr) {
        return ".";
    }
    if (last == path) {
        return std::string(path, 1);  // the root
    }
    if (last - path == 2 && path[1] == ':') {
        return std::string(path, 3);  // the root of a drive, C:\ ("C:" is its current folder)
    }
    return std::string(path, static_cast<size_t>(last - path));
}
