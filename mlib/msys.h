// The platform seam: every operating-system service the program uses, declared once
// here and implemented for Windows (msys_win.cpp) and for POSIX (msys_posix.cpp).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include "mlib/msys_win.h"
#else
#include "mlib/msys_posix.h"
#endif

// Recursive lock, a critical section: the thread that holds it may enter it again.
class MCriticalSection {
public:
    void Initialize();
    void Delete();
    void Enter();
    void Leave();

private:
    MNativeLock m_lock;
};

// Holds a critical section for the life of one scope.
class MLockGuard {
public:
    explicit MLockGuard(MCriticalSection& lock) : m_lock(lock) { m_lock.Enter(); }
    ~MLockGuard() { m_lock.Leave(); }
    MLockGuard(const MLockGuard&) = delete;
    MLockGuard& operator=(const MLockGuard&) = delete;

private:
    MCriticalSection& m_lock;
};

// How MFile::Create treats an existing file.
enum MCreateDisposition {
    M_CREATE_ALWAYS,  // create, or empty an existing file
    M_OPEN_ALWAYS     // open, or create a missing file; content kept
};

// A file opened for writing that other processes may read but not write or delete;
// unbuffered, so every Write reaches the system at once. Used for the log.
class MFile {
public:
    MFile();
    ~MFile();
    MFile(const MFile&) = delete;
    MFile& operator=(const MFile&) = delete;

    bool Create(const char* path, MCreateDisposition disposition);
    bool SetPointerToEnd();
    bool Write(const void* data, size_t size);  // true only when every byte was written
    bool FlushBuffers();
    bool GetSize(uint64_t* size) const;
    void Close();
    bool IsOpen() const;

private:
    MNativeFile m_file;
};

// Renames a file, replacing a file of the new name (MoveFileExA with
// MOVEFILE_REPLACE_EXISTING; rename). False when it cannot be moved.
bool MMoveFileReplacing(const char* from, const char* to);

// Local wall-clock time, as GetLocalTime gives it.
struct MLocalTime {
    uint16_t year;
    uint16_t month;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
};
void MGetLocalTime(MLocalTime* time);

void MSleep(unsigned milliseconds);

// The calling thread's last system error (GetLastError, errno).
unsigned long MGetLastError();

// printf-style formatting into a buffer of size bytes with vsnprintf semantics (the
// result is the length the whole text needs). Besides %s, %d and %u it takes %I64u, an
// unsigned 64-bit number, on every platform.
int MVFormat(char* buffer, size_t size, const char* format, va_list arguments);

// Starts a worker thread that nobody waits for, with the default stack size.
bool MBeginThread(void (*procedure)(void*), void* argument);

// Path of the program's own file (GetModuleFileNameA); the length copied, 0 on failure.
size_t MGetModuleFileName(HINSTANCE instance, char* buffer, size_t size);
// Puts the program's files in dir instead of the executable's folder (--dir): the module
// file name then reads dir, a separator and the executable's name.
void MSetModuleDirectory(const char* dir);
// The path the system gives for the program's own file; empty when it gives none.
std::string MSystemModulePath(HINSTANCE instance);

// Initialises all classes of the common controls (InitCommonControlsEx); true elsewhere.
bool MInitCommonControls();

// Shows a message box and returns the button chosen. Tests replace the box by a hook.
typedef int (*MMessageBoxHook)(HWND owner, const char* text, const char* caption, unsigned type);
int MMessageBox(HWND owner, const char* text, const char* caption, unsigned type);
MMessageBoxHook MSetMessageBoxHook(MMessageBoxHook hook);  // returns the previous hook
// The box itself (Linux: a line on standard error), without the hook.
int MSystemMessageBox(HWND owner, const char* text, const char* caption, unsigned type);

// Posts a message to a window's queue (PostMessageA); callable from any thread.
bool MPostMessage(HWND window, unsigned message, uintptr_t wParam, intptr_t lParam);
// A window's timer: WM_TIMER with the id every period (SetTimer); setting an id again
// replaces its timer. From the window's own thread only.
bool MSetTimer(HWND window, uintptr_t id, unsigned milliseconds);
bool MKillTimer(HWND window, uintptr_t id);
// Asks the thread's message loop to end with the exit code (PostQuitMessage).
void MPostQuitMessage(int exitCode);

// What creating the single-instance marker found.
enum MInstanceResult {
    M_INSTANCE_CREATED,        // this copy holds the marker
    M_INSTANCE_RUNNING,        // another copy holds it
    M_INSTANCE_UNCHECKED,      // it cannot be made or trusted: whether another copy runs is unknown
    M_INSTANCE_FOLDER_IN_USE,  // another copy, of any user, runs on the same data folder
};

// Marks the one running copy of the program per user logon.
class MSingleInstance {
public:
    MSingleInstance();
    ~MSingleInstance();
    MSingleInstance(const MSingleInstance&) = delete;
    MSingleInstance& operator=(const MSingleInstance&) = delete;

    // Creates the marker named name. For M_INSTANCE_UNCHECKED, *problem says what was
    // found, naming the marker; the marker is then not held.
    MInstanceResult Create(const char* name, std::string* problem);
    // Marks instead the one running copy on the data folder, whoever runs it: in the Linux
    // edition a lock on the folder itself (any copy that can read its settings can take
    // it, in any mount namespace), on Windows the file fsw.lock in it, held open without
    // sharing and gone with its holder. M_INSTANCE_RUNNING when another copy holds it.
    MInstanceResult CreateForFolder(const char* folder, std::string* problem);
    void Close();

private:
    MNativeInstanceMarker m_marker;
};

// Starts and cleans up the network layer (WSAStartup with version 2.0, WSACleanup).
// Startup answers 0 on success; cleanup answers -1 on failure.
int MStartupNetwork();
int MCleanupNetwork();

// Closes a socket (closesocket).
int MCloseSocket(MSocket socket);
