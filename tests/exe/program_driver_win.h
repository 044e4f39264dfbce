// Windows only. Drives the real 64-bit fsw.exe from a test program under Wine: a copy
// started in a folder of its own (so its files land there), its windows found by class
// and title, its status list read across the process boundary.
#pragma once

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "version.h"

#include <commctrl.h>  // after windows.h, which test_support.h brings

// The build's Unix path of fsw.exe as Wine's drive Z: sees it.
inline std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

// One run of a copy of fsw.exe placed in its own folder, with the arguments given.
class Program {
public:
    explicit Program(const std::string& dir, const std::string& arguments = "") {
        std::string exe = dir + "\\fsw.exe";
        if (!FileExists(exe)) {
            CopyFileA(WindowsPath(FSW_EXE_PATH).c_str(), exe.c_str(), FALSE);
        }
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
        m_started = CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL,
                                   dir.c_str(), &startup, &m_process) != 0;
    }
    ~Program() {
        if (m_started) {
            if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(m_process.hProcess, 99);
                WaitForSingleObject(m_process.hProcess, 5000);
            }
            CloseHandle(m_process.hThread);
            CloseHandle(m_process.hProcess);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return m_started; }
    // The exit code, or -1 when the program did not end in time.
    long Wait(DWORD milliseconds) {
        if (WaitForSingleObject(m_process.hProcess, milliseconds) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(m_process.hProcess, &code);
        return static_cast<long>(code);
    }
    // A top-level window of this process with the given class and title (either may be null).
    HWND FindOwnWindow(const char* className, const char* title) const {
        HWND window = NULL;
        while ((window = FindWindowExA(NULL, window, className, title)) != NULL) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == m_process.dwProcessId)
                return window;
        }
        return NULL;
    }
    // A visible top-level window of this process with the given class (a box: "#32770").
    HWND FindVisibleOwnWindow(const char* className) const {
        HWND window = NULL;
        while ((window = FindWindowExA(NULL, window, className, NULL)) != NULL) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == m_process.dwProcessId && IsWindowVisible(window))
                return window;
        }
        return NULL;
    }
    // Waits at most 20 s for the main window.
    HWND WaitForMainWindow() const {
        HWND window = NULL;
        WaitUntil([&] { return (window = FindOwnWindow("FSW_WindowClass", "ケルム")) != NULL; },
                  20000);
        return window;
    }

private:
    PROCESS_INFORMATION m_process{};
    bool m_started = false;
};

// The message of a log line: the text after the time stamp and the module.
inline std::string Message(const std::string& line) {
    size_t secondTab = line.find('\t', line.find('\t') + 1);
    return secondTab == std::string::npos ? "" : line.substr(secondTab + 1);
}

inline std::vector<std::string> LogMessagesOf(const std::string& logPath) {
    std::vector<std::string> messages;
    for (const std::string& line : SplitLines(ReadFileBytes(logPath))) {
        messages.push_back(Message(line));
    }
    return messages;
}

// The start or end line: "ケルム Version 1.0.0 (1) " and the word.
inline std::string VersionLine(const char* word) {
    return std::string("ケルム Version ") + std::to_string(FSW_VERSION_MAJOR) + "." +
           std::to_string(FSW_VERSION_MINOR) + "." + std::to_string(FSW_VERSION_BUILD) + " (" +
           std::to_string(FSW_VERSION_REVISION) + ") " + word;
}

// The texts of a window's children: a message box shows its text in a static control.
inline std::string ChildTexts(HWND window) {
    std::string texts;
    HWND child = NULL;
    while ((child = FindWindowExA(window, child, NULL, NULL)) != NULL) {
        char text[512] = "";
        GetWindowTextA(child, text, sizeof text);
        texts += text;
        texts += "|";
    }
    return texts;
}

// The cells of a list view that belongs to another process, row by row, in the ANSI
// code page: each request is built in that process's memory.
inline std::vector<std::vector<std::string>> ReadListView(HWND list, int columns) {
    std::vector<std::vector<std::string>> rows;
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == NULL) {
        return rows;
    }
    const int textLength = 512;
    char* remote = static_cast<char*>(VirtualAllocEx(
        process, NULL, sizeof(LVITEMW) + textLength * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    if (remote != NULL) {
        int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; row++) {
            std::vector<std::string> cells;
            for (int column = 0; column < columns; column++) {
                LVITEMW item;
                ZeroMemory(&item, sizeof item);
                item.iSubItem = column;
                item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
                item.cchTextMax = textLength;
                wchar_t text[textLength] = L"";
                WriteProcessMemory(process, remote, &item, sizeof item, NULL);
                SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
                ReadProcessMemory(process, remote + sizeof(LVITEMW), text, sizeof text, NULL);
                text[textLength - 1] = L'\0';
                char ansi[textLength * 2] = "";
                WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, NULL, NULL);
                cells.push_back(ansi);
            }
            rows.push_back(cells);
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return rows;
}
