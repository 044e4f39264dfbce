// Windows side of whole-file replacement.
#include "mlib/mfileops.h"

MNewFile::MNewFile() : m_file(INVALID_HANDLE_VALUE), m_written(0), m_error(0) {}

MNewFile::~MNewFile() {
    Delete();
}

bool MNewFile::Create(const char* target) {
    Delete();
    m_target = target;
    m_written = 0;
    char name[MAX_PATH];
    if (GetTempFileNameA(MFolderOf(target).c_str(), "fsw", 0, name) == 0) {
        m_error = ::GetLastError();
        return false;
    }
    m_path = name;
    m_file = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (m_file == INVALID_HANDLE_VALUE) {
        m_error = ::GetLastError();
        DeleteFileA(name);
        m_path.clear();
        return false;
    }
    return true;
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

bool MNewFile::MoveOver() {
    if (!Close()) {
        return false;
    }
    if (!::MoveFileExA(m_path.c_str(), m_target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        m_error = ::GetLastError();
        return false;
    }
    m_path.clear();
    return true;
}

void MNewFile::Delete() {
    Close();
    if (!m_path.empty()) {
        DeleteFileA(m_path.c_str());  // a leftover is harmless; nothing more can be done
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
