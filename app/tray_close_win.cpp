// Windows only. Asking the running tray copies to end.
#include "app/tray_close_win.h"

#include <vector>

#include "monitor/main_window_win.h"
#include "monitor/messages.h"

namespace {

// A tray copy's shutdown stops its server and waits for a check under way.
const DWORD CLOSE_WAIT_MS = 20000;
const DWORD CLOSE_POLL_MS = 100;

}  // namespace

int CloseTrayCopies(const EntryCommand& command) {
    // Each main window gets the close its menu's exit posts; its process is what holds
    // the program file, so the wait is for the process where it can be opened.
    std::vector<HWND> windows;
    std::vector<HANDLE> processes;
    for (HWND window = FindWindowExA(NULL, NULL, MAIN_WINDOW_CLASS, NULL); window != NULL;
         window = FindWindowExA(NULL, window, MAIN_WINDOW_CLASS, NULL)) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        if (PostMessageA(window, WM_CLOSE, 0, 0)) {
            windows.push_back(window);
            if (process != NULL) {
                processes.push_back(process);
                process = NULL;
            }
        }
        if (process != NULL) {
            CloseHandle(process);
        }
    }
    if (windows.empty()) {
        return COMMAND_NOTHING_TO_DO;
    }
    DWORD start = GetTickCount();
    bool running = true;
    while (running && GetTickCount() - start < CLOSE_WAIT_MS) {
        Sleep(CLOSE_POLL_MS);
        running = false;
        for (HWND window : windows) {
            running = running || IsWindow(window);
        }
        for (HANDLE process : processes) {
            running = running || WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        }
    }
    for (HANDLE process : processes) {
        CloseHandle(process);
    }
    if (!running) {
        return COMMAND_DONE;
    }
    if (!command.quiet) {
        MMessageBox(NULL, "タスクトレイのケルムが終了しません。", APP_TITLE, MB_ICONERROR);
    }
    return COMMAND_FAILED;
}
