// Windows side of the platform seam.
#include "mlib/msys.h"

#include "mlib/mcodepage.h"

#include <commctrl.h>
#include <process.h>
#include <cstdio>
#include <cstring>
#include <string>

void MCriticalSection::Initialize() {
    InitializeCriticalSection(&m_lock);
}
void MCriticalSection::Delete() {
    DeleteCriticalSection(&m_lock);
}
void MCriticalSection::Enter() {
    EnterCriticalSection(&m_lock);
}
void MCriticalSection::Leave() {
    LeaveCriticalSection(&m_lock);
}

MFile::MFile() : m_file(INVALID_HANDLE_VALUE) {}

MFile::~MFile() {
    Close();
}

bool MFile::Create(const char* path, MCreateDisposition disposition) {
    Close();
    DWORD creation = disposition == M_CREATE_ALWAYS ? CREATE_ALWAYS : OPEN_ALWAYS;
    m_file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, creation,
                         FILE_ATTRIBUTE_NORMAL, NULL);
    return m_file != INVALID_HANDLE_VALUE;
}

bool MFile::SetPointerToEnd() {
    return SetFilePointer(m_file, 0, NULL, FILE_END) != INVALID_SET_FILE_POINTER ||
           GetLastError() == NO_ERROR;
}

bool MFile::Write(const void* data, size_t size) {
    DWORD written = 0;
    if (!WriteFile(m_file, data, static_cast<DWORD>(size), &written, NULL)) {
        return false;
    }
    return written == size;
}

bool MFile::FlushBuffers() {
    return FlushFileBuffers(m_file) != 0;
}

bool MFile::GetSize(uint64_t* size) const {
    LARGE_INTEGER value;
    if (m_file == INVALID_HANDLE_VALUE || !GetFileSizeEx(m_file, &value)) {
        return false;
    }
    *size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

void MFile::Close() {
    if (m_file != INVALID_HANDLE_VALUE) {
        CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }
}

bool MFile::IsOpen() const {
    return m_file != INVALID_HANDLE_VALUE;
}

bool MMoveFileReplacing(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

void MGetLocalTime(MLocalTime* time) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    time->year = now.wYear;
    time->month = now.wMonth;
    time->day = now.wDay;
    time->hour = now.wHour;
    time->minute = now.wMinute;
    time->second = now.wSecond;
}

void MSleep(unsigned milliseconds) {
    Sleep(milliseconds);
}

unsigned long MGetLastError() {
    return GetLastError();
}

bool MBeginThread(void (*procedure)(void*), void* argument) {
    return _beginthread(procedure, 0, argument) != static_cast<uintptr_t>(-1);
}

std::string MSystemModulePath(HINSTANCE instance) {
    std::string path(32768, '\0');
    DWORD length = GetModuleFileNameA(instance, &path[0], static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    return path;
}

// Shown from UTF-16, so that the Shift-JIS texts read right on a system of another code
// page too.
int MSystemMessageBox(HWND owner, const char* text, const char* caption, unsigned type) {
    std::wstring wideText = text != NULL ? MAnsiToWide(text, strlen(text)) : std::wstring();
    std::wstring wideCaption =
        caption != NULL ? MAnsiToWide(caption, strlen(caption)) : std::wstring();
    return MessageBoxW(owner, wideText.c_str(), caption != NULL ? wideCaption.c_str() : NULL, type);
}

bool MPostMessage(HWND window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return PostMessageA(window, message, static_cast<WPARAM>(wParam),
                        static_cast<LPARAM>(lParam)) != 0;
}

// A null window would make SetTimer invent an id of its own: refused instead.
bool MSetTimer(HWND window, uintptr_t id, unsigned milliseconds) {
    return window != NULL && SetTimer(window, id, milliseconds, NULL) != 0;
}

bool MKillTimer(HWND window, uintptr_t id) {
    return KillTimer(window, id) != 0;
}

void MPostQuitMessage(int exitCode) {
    PostQuitMessage(exitCode);
}

MSingleInstance::MSingleInstance() : m_marker(NULL) {}

MSingleInstance::~MSingleInstance() {
    Close();
}

// A mutex that cannot be made (one of that name that this user may not open, for one)
// leaves unknown whether another copy runs; that never counts as "no other copy".
MInstanceResult MSingleInstance::Create(const char* name, std::string* problem) {
    Close();
    m_marker = CreateMutexA(NULL, TRUE, name);
    DWORD error = GetLastError();
    if (m_marker == NULL) {
        char text[160];
        snprintf(text, sizeof text, "ミューテックスを作成できません。(Name=%s, Error=%lu)", name,
                 static_cast<unsigned long>(error));
        *problem = text;
        return M_INSTANCE_UNCHECKED;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        Close();
        return M_INSTANCE_RUNNING;
    }
    return M_INSTANCE_CREATED;
}

// A file another copy holds cannot be opened: a sharing violation, or access denied while it
// is there (it may be another user's, or being deleted as its holder ends).
MInstanceResult MSingleInstance::CreateForFolder(const char* folder, std::string* problem) {
    Close();
    std::string path = std::string(folder) + "\\fsw.lock";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, NULL);
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
        m_marker = file;
        return M_INSTANCE_CREATED;
    }
    if (error == ERROR_SHARING_VIOLATION ||
        (error == ERROR_ACCESS_DENIED &&
         GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)) {
        return M_INSTANCE_RUNNING;
    }
    char text[80];
    snprintf(text, sizeof text, "ロックファイルを作成できません。(Error=%lu, File=",
             static_cast<unsigned long>(error));
    *problem = text + path + ")";
    return M_INSTANCE_UNCHECKED;
}

void MSingleInstance::Close() {
    if (m_marker != NULL) {
        CloseHandle(m_marker);
        m_marker = NULL;
    }
}

// The C run-time of the Windows builds knows %I64u itself.
int MVFormat(char* buffer, size_t size, const char* format, va_list arguments) {
    return vsnprintf(buffer, size, format, arguments);
}

bool MInitCommonControls() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = 0x1FFF;  // every class from list views up to page scrollers
    return InitCommonControlsEx(&controls) != 0;
}

int MStartupNetwork() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 0), &data);
}

int MCleanupNetwork() {
    return WSACleanup();
}

int MCloseSocket(MSocket socket) {
    return closesocket(socket);
}
