// Windows side of whole-file replacement and of reading regular files.
#include "mlib/mfileops.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<unsigned> g_counter{0};

// A path in the form that the wide file functions take beyond MAX_PATH: made absolute and
// prefixed with \\?\ (\\?\UNC\ for a share). The new file's name may make its path longer
// than any path that the program reads, so every path that loads also saves.
std::wstring LongPath(const std::string& path) {
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, NULL, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
    DWORD size = GetFullPathNameW(wide.c_str(), 0, NULL, NULL);
    if (size == 0) {
        return std::wstring();
    }
    std::wstring full(size, L'\0');
    DWORD used = GetFullPathNameW(wide.c_str(), size, &full[0], NULL);
    if (used == 0 || used >= size) {
        return std::wstring();
    }
    full.resize(used);
    if (full.compare(0, 4, L"\\\\?\\") == 0) {
        return full;
    }
    if (full.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

std::string Narrow(const wchar_t* text) {
    int length = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    if (length <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], length, NULL, NULL);
    narrow.resize(static_cast<size_t>(length) - 1);
    return narrow;
}

// Whether path names a device (NUL, CON, COM1), a pipe or anything else that is not a disk
// file. A link (reparse point) is looked at itself: the rename replaces it, not what it
// points to. A folder, or a name that cannot be opened at all, is left to the write, which
// then fails (or creates the file).
bool NotRegular(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        file = CreateFileW(
            LongPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool other = GetFileType(file) != FILE_TYPE_DISK;
    CloseHandle(file);
    return other;
}

}  // namespace

MNewFile::MNewFile()
    : m_file(INVALID_HANDLE_VALUE), m_written(0), m_error(0), m_refused(false), m_foreign(false) {}

MNewFile::~MNewFile() {
    Delete();
}

bool MNewFile::Create(const char* target, MLinkRule rule) {
    Delete();
    m_target = target;
    m_written = 0;
    DWORD attributes = GetFileAttributesA(m_target.c_str());
    m_refused = NotRegular(m_target) || (attributes != INVALID_FILE_ATTRIBUTES &&
                                         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    if (m_refused) {
        m_error = ERROR_ACCESS_DENIED;
        return false;
    }
    std::string folder = MNewFileFolder(target, rule);
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string path = MJoinPath(folder, MNewFileName(MCurrentProcessId(), g_counter++));
        m_file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, NULL);
        if (m_file != INVALID_HANDLE_VALUE) {
            m_path = path;
            return true;
        }
        m_error = ::GetLastError();
        if (m_error != ERROR_FILE_EXISTS && m_error != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

bool MNewFile::Write(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    bool full = !FitWriteLimit(&size);
    while (size > 0) {
        DWORD part = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(m_file, bytes, part, &written, NULL)) {
            m_error = ::GetLastError();
            return false;
        }
        m_written += written;
        bytes += written;
        size -= written;
    }
    if (full) {
        m_error = ERROR_DISK_FULL;
        return false;
    }
    return true;
}

bool MNewFile::FlushBuffers() {
    if (!::FlushFileBuffers(m_file)) {
        m_error = ::GetLastError();
        return false;
    }
    return true;
}

// A scanner, backup or indexer that holds the old file without delete sharing makes the
// move fail for a moment: it is tried again for about a second before it counts as failed.
bool MNewFile::MoveOver() {
    if (!Close()) {
        return false;
    }
    const int TRIES = 10;
    const DWORD PAUSE_MS = 100;
    for (int tried = 1;; tried++) {
        if (::MoveFileExW(LongPath(m_path).c_str(), LongPath(m_target).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            break;
        }
        m_error = ::GetLastError();
        if (tried == TRIES ||
            (m_error != ERROR_SHARING_VIOLATION && m_error != ERROR_ACCESS_DENIED)) {
            return false;
        }
        ::Sleep(PAUSE_MS);
    }
    m_path.clear();
    return true;
}

void MNewFile::Delete() {
    Close();
    if (!m_path.empty()) {
        MDeleteFile(m_path);  // a leftover is harmless; nothing more can be done
        m_path.clear();
    }
}

bool MNewFile::Close() {
    bool closed = true;
    if (m_file != INVALID_HANDLE_VALUE) {
        closed = CloseHandle(m_file) != 0;
        if (!closed) {
            m_error = ::GetLastError();
        }
        m_file = INVALID_HANDLE_VALUE;
    }
    return closed;
}

MFileReader::MFileReader() : m_file(INVALID_HANDLE_VALUE) {}

MFileReader::~MFileReader() {
    Close();
}

// FILE_FLAG_BACKUP_SEMANTICS lets a folder open too, so that it is told apart from a file
// that cannot be opened; devices (NUL, CON, COM1, pipes) are not disk files. Neither is
// read from. FILE_SHARE_DELETE lets another writer rename a new file over one being read.
MReadResult MFileReader::Open(const char* path) {
    Close();
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? M_READ_MISSING
                                                                              : M_READ_OPEN_FAILED;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        return M_READ_NOT_REGULAR;
    }
    m_file = file;
    return M_READ_DONE;
}

long MFileReader::Read(void* buffer, size_t size) {
    DWORD part = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!::ReadFile(m_file, buffer, part, &got, NULL)) {
        return -1;
    }
    return static_cast<long>(got);
}

void MFileReader::Close() {
    if (m_file != INVALID_HANDLE_VALUE) {
        CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }
}

unsigned long MCurrentProcessId() {
    return GetCurrentProcessId();
}

// A process that is gone cannot be opened (ERROR_INVALID_PARAMETER); one kept open by a
// handle elsewhere has ended all the same.
bool MProcessRuns(unsigned long pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == NULL) {
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    }
    DWORD code = 0;
    bool runs = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    CloseHandle(process);
    return runs;
}

std::string MNewFileFolder(const char* target, MLinkRule) {
    return MFolderOf(target);
}

std::vector<std::string> MFolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(LongPath(MJoinPath(folder, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.push_back(Narrow(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool MDeleteFile(const std::string& path) {
    return DeleteFileW(LongPath(path).c_str()) != 0;
}

namespace {

bool WriteAll(HANDLE file, const char* bytes, size_t size) {
    while (size > 0) {
        DWORD part = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, bytes, part, &written, NULL)) {
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

}  // namespace

// FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end. A device or a
// pipe opens without waiting and is refused by its type before a byte is written.
MAppendResult MAppendFile(const char* path, const void* data, size_t size, const char* lineEnd) {
    if (NotRegular(path)) {
        return M_APPEND_REFUSED;
    }
    HANDLE file =
        CreateFileA(path, GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return M_APPEND_OPEN_FAILED;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        return M_APPEND_REFUSED;
    }
    bool written = true;
    LARGE_INTEGER back;
    back.QuadPart = -1;
    char last = '\n';
    DWORD got = 0;
    if (SetFilePointerEx(file, back, NULL, FILE_END) && ReadFile(file, &last, 1, &got, NULL) &&
        got == 1 && last != '\n') {
        written = WriteAll(file, lineEnd, strlen(lineEnd));
    }
    written = written && WriteAll(file, static_cast<const char*>(data), size);
    written = CloseHandle(file) != 0 && written;
    return written ? M_APPEND_DONE : M_APPEND_WRITE_FAILED;
}

MFileLock::MFileLock() : m_file(INVALID_HANDLE_VALUE) {}

MFileLock::~MFileLock() {
    Unlock();
}

MFileLock::Result MFileLock::Open(const char* path) {
    if (NotRegular(path)) {
        return UNAVAILABLE;
    }
    m_file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    return m_file != INVALID_HANDLE_VALUE ? HELD : UNAVAILABLE;
}

bool MFileLock::TryLock() {
    OVERLAPPED at = {};
    return LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) !=
           0;
}

void MFileLock::Unlock() {
    if (m_file != INVALID_HANDLE_VALUE) {
        CloseHandle(m_file);  // lets go of the lock
        m_file = INVALID_HANDLE_VALUE;
    }
}
