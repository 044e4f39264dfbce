// Windows parts of the application base class: the version resource, the message loop
// and the system's error texts.
#include "mlib/mapp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// version.dll is no known system DLL: the loader would look for it beside the program
// first, where anyone who may write that folder could plant one. It is loaded from the
// system folder by hand instead of being imported.
typedef DWORD(WINAPI* VersionInfoSizeCall)(const char*, DWORD*);
typedef BOOL(WINAPI* VersionInfoCall)(const char*, DWORD, DWORD, void*);
typedef BOOL(WINAPI* VersionQueryCall)(const void*, const char*, void**, UINT*);

const DWORD SEARCH_SYSTEM32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

}  // namespace

HMODULE MLoadSystemLibrary(const char* name) {
    HMODULE module = LoadLibraryExA(name, NULL, SEARCH_SYSTEM32);
    if (module == NULL && GetLastError() == ERROR_INVALID_PARAMETER) {
        // A system without the flag: the full path of the system folder does the same.
        char path[MAX_PATH];
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length > 0 && length + strlen(name) + 2 < MAX_PATH) {
            lstrcatA(path, "\\");
            lstrcatA(path, name);
            module = LoadLibraryA(path);
        }
    }
    return module;
}

void MLimitDllSearch() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    typedef BOOL(WINAPI * DirectoriesCall)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDirectories = reinterpret_cast<DirectoriesCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDirectories != NULL) {
        setDirectories(SEARCH_SYSTEM32);
    }
}

void MApp::GetVersionNumbers(uint16_t* first, uint16_t* second, uint16_t* third, uint16_t* fourth) {
    uint16_t numbers[4] = {0, 0, 0, 0};
    char path[261];
    GetModuleFileNameA(instance, path, sizeof path);
    path[sizeof path - 1] = '\0';
    HMODULE version = MLoadSystemLibrary("version.dll");
    auto infoSize = reinterpret_cast<VersionInfoSizeCall>(reinterpret_cast<void (*)()>(
        version != NULL ? GetProcAddress(version, "GetFileVersionInfoSizeA") : NULL));
    auto info = reinterpret_cast<VersionInfoCall>(reinterpret_cast<void (*)()>(
        version != NULL ? GetProcAddress(version, "GetFileVersionInfoA") : NULL));
    auto query = reinterpret_cast<VersionQueryCall>(reinterpret_cast<void (*)()>(
        version != NULL ? GetProcAddress(version, "VerQueryValueA") : NULL));
    DWORD unused = 0;
    DWORD size = infoSize != NULL && info != NULL && query != NULL ? infoSize(path, &unused) : 0;
    char* block = size != 0 ? static_cast<char*>(malloc(size + 1)) : NULL;
    if (block != NULL && info(path, 0, size, block)) {
        VS_FIXEDFILEINFO* fixed = NULL;
        UINT fixedLength = 0;
        if (query(block, "\\", reinterpret_cast<void**>(&fixed), &fixedLength) && fixed != NULL) {
            numbers[0] = HIWORD(fixed->dwFileVersionMS);
            numbers[1] = LOWORD(fixed->dwFileVersionMS);
            numbers[2] = HIWORD(fixed->dwFileVersionLS);
            numbers[3] = LOWORD(fixed->dwFileVersionLS);
        }
    }
    free(block);
    if (version != NULL) {
        FreeLibrary(version);
    }
    if (first != NULL)
        *first = numbers[0];
    if (second != NULL)
        *second = numbers[1];
    if (third != NULL)
        *third = numbers[2];
    if (fourth != NULL)
        *fourth = numbers[3];
}

int MApp::MessageLoop(HWND window) {
    EnterLoop(window);
    MSG message;
    message.wParam = 0;
    for (;;) {
        BOOL got = GetMessageA(&message, NULL, 0, 0);
        if (got == 0) {
            break;
        }
        if (got == -1) {
            MessageBoxF(NULL, MB_ICONERROR, "GetMessage", "Message Loop Error!!");
            break;
        }
        if (!IsDialogMessageA(window != NULL ? window : message.hwnd, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    LeaveLoop();
    return static_cast<int>(message.wParam);
}

namespace {

// The system's text for an error code, allocated by FormatMessageA (free with LocalFree);
// null when the system has none.
char* FormatSystemText(unsigned long errorCode) {
    char* text = NULL;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        NULL, errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text),
        0, NULL);
    return text;
}

// What is shown when the system has no text for a code.
void UnknownErrorText(char* out, size_t size, unsigned long errorCode) {
    snprintf(out, size, "エラーコード %lu", errorCode);
}

}  // namespace

int ShowErrorBox(unsigned long errorCode) {
    char* text = FormatSystemText(errorCode);
    char unknown[64];
    if (text == NULL) {
        UnknownErrorText(unknown, sizeof unknown, errorCode);
    }
    int result = MMessageBox(NULL, text != NULL ? text : unknown, "Error!", MB_ICONERROR);
    if (text != NULL) {
        LocalFree(text);
    }
    return result;
}

int GetErrorText(char* out, unsigned long errorCode, int outLength) {
    char* text = FormatSystemText(errorCode);
    char unknown[64];
    if (text == NULL) {
        UnknownErrorText(unknown, sizeof unknown, errorCode);
    }
    const char* source = text != NULL ? text : unknown;
    int length;
    if (out != NULL) {
        if (outLength > 0) {
            lstrcpynA(out, source, outLength);
            length = lstrlenA(out);
        } else {
            length = 0;
        }
    } else {
        length = lstrlenA(source);
    }
    if (text != NULL) {
        LocalFree(text);
    }
    return length;
}
