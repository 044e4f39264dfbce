// Windows parts of the application base class: the version resource, the message loop
// and the system's error texts.
#include "mlib/mapp.h"

#include <cstdio>
#include <cstdlib>

void MApp::GetVersionNumbers(uint16_t* first, uint16_t* second, uint16_t* third, uint16_t* fourth) {
    uint16_t numbers[4] = {0, 0, 0, 0};
    char path[261];
    GetModuleFileNameA(instance, path, sizeof path);
    path[sizeof path - 1] = '\0';
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &unused);
    char* block = size != 0 ? static_cast<char*>(malloc(size + 1)) : NULL;
    if (block != NULL && GetFileVersionInfoA(path, 0, size, block)) {
        VS_FIXEDFILEINFO* info = NULL;
        UINT infoLength = 0;
        if (VerQueryValueA(block, "\\", reinterpret_cast<void**>(&info), &infoLength) &&
            info != NULL) {
            numbers[0] = HIWORD(info->dwFileVersionMS);
            numbers[1] = LOWORD(info->dwFileVersionMS);
            numbers[2] = HIWORD(info->dwFileVersionLS);
            numbers[3] = LOWORD(info->dwFileVersionLS);
        }
    }
    free(block);
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
