// POSIX side of the platform seam: the native types behind the portable classes, and
// the few Win32 names that shared code uses for windows and message boxes. In the
// console edition a "window" is an object that messages are posted to.
#pragma once

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <pthread.h>
#include <cstdint>

typedef pthread_mutex_t MNativeLock;
typedef int MNativeFile;
typedef int MNativeInstanceMarker;
typedef struct MPosixThread* MNativeThread;

const char M_PATH_SEPARATOR = '/';

#define M_THREAD_CALL

// Receives the messages posted to a console "window" (see MRunMessageLoop).
class MMessageTarget {
public:
    virtual ~MMessageTarget() {}
    virtual intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
};

typedef MMessageTarget* HWND;
typedef void* HINSTANCE;

// Message box types and answers, with their Win32 values.
enum : unsigned {
    MB_OK = 0x00,
    MB_YESNO = 0x04,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Window messages with their Win32 values.
enum : unsigned {
    WM_DESTROY = 0x0002,
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_TIMER = 0x0113,
    WM_APP = 0x8000,
};

// The console edition's message loop: timers, posted messages and the quit request
// (MSetTimer, MKillTimer, MPostMessage and MPostQuitMessage of msys.h). Runs until
// MPostQuitMessage; returns its exit code.
int MRunMessageLoop();
// Drops every pending message and timer of a window that goes away.
void MForgetWindow(HWND window);

// Blocks SIGINT, SIGTERM, SIGHUP, SIGUSR1 and SIGUSR2 in the calling thread and in every
// thread it starts later; call it first thing in main, before any other thread exists.
bool MBlockSignals();
// Starts the one thread that takes those signals. Without it the program could be
// stopped by SIGKILL only, so a false answer should end the program.
bool MStartSignalThread();
// What the signal thread posts to the window for each signal; 0 leaves a signal unused.
struct MSignalMessages {
    unsigned interrupt;  // SIGINT
    unsigned terminate;  // SIGTERM
    unsigned hangup;     // SIGHUP
    unsigned user1;      // SIGUSR1
    unsigned user2;      // SIGUSR2
};
// From now on the signals post their messages to the window; a null window stops the
// delivery. A signal that came while no window was set is posted once a window is set
// (a stop first), so nothing asked for during the start is lost. A signal whose
// message still waits in the queue posts none, and a pending SIGINT or SIGTERM is taken
// before any other signal, so that no storm of signals delays a stop.
void MCatchSignals(HWND window, const MSignalMessages& messages);


typedef int MSocket;
const MSocket M_INVALID_SOCKET = -1;

// Show commands, with their Win32 values.
enum : int { SW_HIDE = 0, SW_SHOW = 5 };
