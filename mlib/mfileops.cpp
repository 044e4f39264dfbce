// Whole-file replacement and whole-file reading, the same on every platform.
#include "mlib/mfileops.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "mlib/mbchar.h"

namespace {

std::atomic<int64_t> g_writeLimit{-1};

}  // namespace

void MSetNewFileWriteLimit(int64_t limit) {
    g_writeLimit = limit;
}

bool MNewFile::FitWriteLimit(size_t* size) const {
    int64_t limit = g_writeLimit;
    if (limit < 0 || m_written + *size <= static_cast<uint64_t>(limit)) {
        return true;
    }
    *size = m_written < static_cast<uint64_t>(limit) ? static_cast<size_t>(limit - m_written) : 0;
    return false;
}

MReplaceResult MReplaceFile(const char* path, const void* data, size_t size) {
    MNewFile file;
    if (!file.Create(path)) {
        return M_REPLACE_OPEN_FAILED;
    }
    if (!file.Write(data, size) || !file.FlushBuffers() || !file.MoveOver()) {
        file.Delete();
        return M_REPLACE_WRITE_FAILED;
    }
    return M_REPLACE_DONE;
}

bool MReadWholeFile(const char* path, std::string* bytes, bool* missing) {
    bytes->clear();
    *missing = false;
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        *missing = errno == ENOENT;
        return false;
    }
    char chunk[65536];
    bool ok = true;
    for (;;) {
        size_t got = fread(chunk, 1, sizeof chunk, file);
        bytes->append(chunk, got);
        if (got < sizeof chunk) {
            ok = ferror(file) == 0;
            break;
        }
    }
    fclose(file);
    return ok;
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
