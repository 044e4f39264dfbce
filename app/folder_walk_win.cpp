// The folder scan's reading on Windows: a folder handle opened without following reparse
// points, listed a large buffer at a time with GetFileInformationByHandleEx, whose entries
// carry each file's allocation size, so that no file is opened.
#include "app/folder_walk.h"

#include <windows.h>

#include <cstring>

#include "mlib/mcodepage.h"

namespace {

const DWORD BUFFER_SIZE = 256 * 1024;
const UINT PROGRAM_CODE_PAGE = 932;
const int64_t FILETIME_UNIX_START = 116444736000000000LL;  // 1970-01-01 in 100 ns since 1601

// A path the system takes whatever its length: long ones go with the \\?\ prefix.
std::wstring SystemPath(const std::string& path) {
    std::wstring wide = MAnsiToWide(path.c_str(), path.size());
    if (wide.size() >= MAX_PATH - 12 && wide.compare(0, 2, L"\\\\") != 0) {
        wide = L"\\\\?\\" + wide;
    }
    return wide;
}

std::string ProgramText(const wchar_t* text, int length) {
    int size = WideCharToMultiByte(PROGRAM_CODE_PAGE, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(PROGRAM_CODE_PAGE, 0, text, length, &out[0], size, nullptr, nullptr);
    }
    return out;
}

}  // namespace

struct WalkFolder::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::vector<char> buffer;
    std::string name;
};

WalkFolder::WalkFolder() : m_state(new State) {}

WalkFolder::~WalkFolder() {
    if (m_state->handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_state->handle);
    }
    delete m_state;
}

WalkOpenResult WalkFolder::Open(const std::string& path, uint64_t volumeId, uint64_t* ownBytes) {
    *ownBytes = 0;
    if (m_state->handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_state->handle);
    }
    m_state->handle = CreateFileW(SystemPath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (m_state->handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? WALK_GONE
                                                                              : WALK_UNREADABLE;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(m_state->handle, &info)) {
        ::CloseHandle(m_state->handle);
        m_state->handle = INVALID_HANDLE_VALUE;
        return WALK_UNREADABLE;
    }
    bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                  (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    if (!folder || info.dwVolumeSerialNumber != volumeId) {
        ::CloseHandle(m_state->handle);
        m_state->handle = INVALID_HANDLE_VALUE;
        return folder ? WALK_OTHER_VOLUME : WALK_GONE;
    }
    return WALK_OPENED;
}

bool WalkFolder::Read(WalkVisitor* visitor) {
    HANDLE handle = m_state->handle;
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (m_state->buffer.empty()) {
        m_state->buffer.resize(BUFFER_SIZE);
    }
    char* buffer = m_state->buffer.data();
    bool ok = true;
    bool going = true;
    // A handle just opened lists from the first entry.
    while (going) {
        if (!GetFileInformationByHandleEx(handle, FileIdBothDirectoryInfo, buffer, BUFFER_SIZE)) {
            ok = GetLastError() == ERROR_NO_MORE_FILES;
            break;
        }
        for (DWORD at = 0; going;) {
            const FILE_ID_BOTH_DIR_INFO* info =
                reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
            int length = static_cast<int>(info->FileNameLength / sizeof(wchar_t));
            const wchar_t* name = info->FileName;
            bool dots = (length == 1 && name[0] == L'.') ||
                        (length == 2 && name[0] == L'.' && name[1] == L'.');
            if (!dots) {
                m_state->name = ProgramText(name, length);
                bool reparse = (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                WalkEntry entry{m_state->name.c_str(), false, 0, 0, true, 0};
                if ((info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !reparse) {
                    entry.folder = true;
                } else {
                    entry.bytes = static_cast<uint64_t>(info->AllocationSize.QuadPart);
                    entry.fileId = static_cast<uint64_t>(info->FileId.QuadPart);
                    entry.changeTime =
                        (info->LastWriteTime.QuadPart - FILETIME_UNIX_START) / 10000000;
                }
                going = visitor->OnEntry(entry);
            }
            if (info->NextEntryOffset == 0) {
                break;
            }
            at += info->NextEntryOffset;
        }
    }
    ::CloseHandle(handle);
    m_state->handle = INVALID_HANDLE_VALUE;
    return ok;
}

bool WalkVolumeOf(const std::string& path, WalkVolume* volume) {
    std::wstring wide = SystemPath(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return false;
    }
    HANDLE handle = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    ULARGE_INTEGER available, total, free;
    if (!known || !GetDiskFreeSpaceExW(wide.c_str(), &available, &total, &free)) {
        return false;
    }
    volume->id = info.dwVolumeSerialNumber;
    volume->usedBytes = total.QuadPart - free.QuadPart;
    wchar_t root[MAX_PATH + 1];
    std::wstring asked = MAnsiToWide(path.c_str(), path.size());
    if (asked.empty() || asked.back() != L'\\') {
        asked += L'\\';
    }
    volume->isRoot = GetVolumePathNameW(asked.c_str(), root, MAX_PATH + 1) &&
                     lstrcmpiW(root, asked.c_str()) == 0;
    return true;
}

std::string WalkJoin(const std::string& folder, const char* name) {
    std::string path = folder;
    bool separated = false;
    // A trail byte of a Shift-JIS character may be a backslash: found by character.
    for (size_t i = 0; i < path.size();) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        separated = !lead && (c == '\\' || c == '/');
        i += lead && i + 1 < path.size() ? 2 : 1;
    }
    if (!separated) {
        path += '\\';
    }
    path += name;
    return path;
}

bool WalkLowerThreadPriority() {
    return SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN) != 0;
}
