// Windows side of the platform seam: the native types behind the portable classes.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

typedef CRITICAL_SECTION MNativeLock;
typedef HANDLE MNativeFile;
typedef HANDLE MNativeInstanceMarker;
typedef HANDLE MNativeThread;

// The folder separator of paths that the program forms.
const char M_PATH_SEPARATOR = '\\';

// Thread procedures run by MThread use the calling convention of _beginthreadex.
#define M_THREAD_CALL __stdcall

typedef SOCKET MSocket;
const MSocket M_INVALID_SOCKET = INVALID_SOCKET;

// First thing in every entry point: no system box for a drive without a medium, and DLLs
// only from the system folder (the program's own folder may hold planted ones).
void MLimitDllSearch();
// A system DLL loaded from the system folder only; NULL with the system's error.
HMODULE MLoadSystemLibrary(const char* name);
