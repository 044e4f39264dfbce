// Commands by CreateProcess without a window, in a job object so that the bound and the stop
// end the children with the command: the Windows calls MRunCommand runs them over. The
// pipes are never waited on: the input is written as far as the pipe takes it and the
// output read as far as it is there, so that neither a command that leaves its input
// unread nor a child that keeps the pipes once the command has ended can hold the caller.
#include "mlib/mchild.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// The output pipe's room, asked for large so that a command that prints much seldom
// waits for the next look at the pipe.
const DWORD OUTPUT_PIPE_SIZE = 1 << 20;
// The most read at one look, and written at one write (less than the pipe's room, so that
// a write that must fit whole still fits once the command has read enough).
const DWORD READ_MAX = 65536;
const DWORD WRITE_MAX = 4096;
// No event tells of output in an anonymous pipe: it is looked at again after this many
// milliseconds, or at once when the command ends.
const DWORD LOOK_AGAIN_MS = 5;

// Text of the ANSI code page in UTF-16.
std::wstring Wide(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    int size =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    }
    return wide;
}

// The program's environment with the variables added, as a block of UTF-16 entries: the
// variables come in the ANSI code page, and the system gives the command its ANSI view.
std::wstring EnvironmentBlock(const MEnvironment& variables) {
    std::vector<std::wstring> current;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0';
         entry += wcslen(entry) + 1) {
        current.push_back(entry);
    }
    if (strings != nullptr) {
        FreeEnvironmentStringsW(strings);
    }
    std::vector<std::pair<std::wstring, std::wstring>> wide;
    for (const auto& variable : variables) {
        wide.emplace_back(Wide(variable.first), Wide(variable.second));
    }
    std::wstring block;
    for (const std::wstring& entry : MMergeEnvironment(current, wide, true)) {
        block += entry;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

std::string SystemText(DWORD error) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) {
        length--;
    }
    return std::string(text, length) + " (" + std::to_string(error) + ")";
}

// The full path of a folder without a last separator (a character, not a trail byte), to
// compare folders by, without case.
std::string FullFolder(const std::string& path) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    std::string folder = length > 0 && length < sizeof full ? full : path;
    while (folder.size() > 3) {
        const char* last = CharPrevA(folder.c_str(), folder.c_str() + folder.size());
        if (last != folder.c_str() + folder.size() - 1 || (*last != '\\' && *last != '/')) {
            break;
        }
        folder.pop_back();
    }
    return folder;
}

// The program of a bare name (no folder in it) at the start of the command line, looked
// up in the system folder, the Windows folder and PATH's absolute folders, and never in
// this program's folder or the current one, where CreateProcess would look first: a file
// put there must not run in the place of a system command. Empty, with *found true, for a
// name with a folder, which CreateProcess takes as written.
std::string FindProgram(const std::string& commandLine, bool* found) {
    *found = true;
    size_t start = commandLine.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return std::string();
    }
    size_t end = commandLine[start] == '"' ? commandLine.find('"', start + 1)
                                           : commandLine.find_first_of(" \t", start);
    if (commandLine[start] == '"') {
        start++;
    }
    std::string name = commandLine.substr(start, end == std::string::npos ? end : end - start);
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos) {
        return std::string();
    }
    char own[MAX_PATH];
    DWORD ownLength = GetModuleFileNameA(nullptr, own, sizeof own);
    std::string ownFolder = ownLength > 0 && ownLength < sizeof own
                                ? FullFolder(std::string(own, ownLength) + "\\..")
                                : std::string();
    char folder[MAX_PATH];
    std::string folders;
    if (GetSystemDirectoryA(folder, sizeof folder) > 0) {
        folders += std::string(folder) + ";";
    }
    if (GetWindowsDirectoryA(folder, sizeof folder) > 0) {
        folders += std::string(folder) + ";";
    }
    DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    std::string path(size, '\0');
    path.resize(size > 0 ? GetEnvironmentVariableA("PATH", &path[0], size) : 0);
    for (size_t at = 0; at <= path.size();) {
        size_t next = path.find(';', at);
        std::string entry = path.substr(at, next == std::string::npos ? next : next - at);
        at = next == std::string::npos ? path.size() + 1 : next + 1;
        entry.erase(std::remove(entry.begin(), entry.end(), '"'), entry.end());
        bool absolute =
            (entry.size() >= 3 && entry[1] == ':' && (entry[2] == '\\' || entry[2] == '/')) ||
            entry.compare(0, 2, "\\\\") == 0;
        if (absolute && lstrcmpiA(FullFolder(entry).c_str(), ownFolder.c_str()) != 0) {
            folders += entry + ";";
        }
    }
    char program[MAX_PATH];
    DWORD length =
        SearchPathA(folders.c_str(), name.c_str(), ".exe", sizeof program, program, nullptr);
    *found = length > 0 && length < sizeof program;
    return *found ? std::string(program, length) : std::string();
}

// Starts the command suspended, with only its two pipe ends inherited. The program's
// sockets are made non-inheritable (mlib/msocket_win.cpp), but any handle that is
// inheritable (the pipe ends of a command another thread starts at that moment, one a
// library made) would otherwise go with the command and stay open as long as it runs.
// Where the list of handles cannot be made, every inheritable handle goes with it.
BOOL CreateCommandProcess(const std::string& program, std::string* line, std::wstring* environment,
                          const STARTUPINFOA& startup, PROCESS_INFORMATION* process) {
    const char* application = program.empty() ? nullptr : program.c_str();
    const DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT;
    HANDLE inherited[2] = {startup.hStdInput, startup.hStdOutput};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> buffer(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        STARTUPINFOA plain = startup;
        return CreateProcessA(application, &(*line)[0], nullptr, nullptr, TRUE, flags,
                              &(*environment)[0], nullptr, &plain, process);
    }
    BOOL started = FALSE;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                  sizeof inherited, nullptr, nullptr)) {
        STARTUPINFOEXA extended;
        memset(&extended, 0, sizeof extended);
        extended.StartupInfo = startup;
        extended.StartupInfo.cb = sizeof extended;
        extended.lpAttributeList = list;
        started = CreateProcessA(application, &(*line)[0], nullptr, nullptr, TRUE,
                                 flags | EXTENDED_STARTUPINFO_PRESENT, &(*environment)[0], nullptr,
                                 &extended.StartupInfo, process);
    } else {
        STARTUPINFOA plain = startup;
        started = CreateProcessA(application, &(*line)[0], nullptr, nullptr, TRUE, flags,
                                 &(*environment)[0], nullptr, &plain, process);
    }
    DWORD error = GetLastError();
    DeleteProcThreadAttributeList(list);
    SetLastError(error);
    return started;
}

}  // namespace

struct MChild {
    HANDLE process = nullptr;
    HANDLE job = nullptr;      // null where none could be made: only the command is ended
    HANDLE toChild = nullptr;  // in the pipe's non-blocking mode
    HANDLE fromChild = nullptr;
    std::string input;
    size_t written = 0;
};

namespace {

void CloseIfOpen(HANDLE* handle) {
    if (*handle != nullptr) {
        CloseHandle(*handle);
        *handle = nullptr;
    }
}

// Writes what of the input the pipe takes now; ends the input once it is written or the
// command has closed its end (the rest is then dropped). True when something was written.
bool WriteInput(MChild* child) {
    if (child->toChild == nullptr) {
        return false;
    }
    DWORD size =
        static_cast<DWORD>(std::min<size_t>(child->input.size() - child->written, WRITE_MAX));
    DWORD put = 0;
    BOOL written =
        WriteFile(child->toChild, child->input.data() + child->written, size, &put, nullptr);
    child->written += put;
    if (!written || child->written == child->input.size()) {
        CloseIfOpen(&child->toChild);
    }
    return put > 0;
}

// Appends what output is there, without waiting; ends the output once every writer has
// closed it. True when something was read.
bool ReadOutput(MChild* child, std::string* output) {
    DWORD there = 0;
    if (child->fromChild == nullptr ||
        !PeekNamedPipe(child->fromChild, nullptr, 0, nullptr, &there, nullptr)) {
        CloseIfOpen(&child->fromChild);
        return false;
    }
    DWORD size = std::min(there, READ_MAX);
    DWORD got = 0;
    size_t had = output->size();
    output->resize(had + size);
    if (size > 0 && !ReadFile(child->fromChild, &(*output)[had], size, &got, nullptr)) {
        got = 0;
    }
    output->resize(had + got);
    return got > 0;
}

}  // namespace

MChild* MStartChild(const std::string& commandLine, const MEnvironment& variables,
                    const std::string& input, std::string* error) {
    bool found = true;
    std::string program = FindProgram(commandLine, &found);
    if (!found) {
        *error = SystemText(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr;
    HANDLE inWrite = nullptr;
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) {
        *error = SystemText(GetLastError());
        return nullptr;
    }
    DWORD noWait = PIPE_NOWAIT;  // for this end only: the command reads as it always does
    if (!SetNamedPipeHandleState(inWrite, &noWait, nullptr, nullptr) ||
        !CreatePipe(&outRead, &outWrite, &inherit, OUTPUT_PIPE_SIZE)) {
        *error = SystemText(GetLastError());
        CloseHandle(inRead);
        CloseHandle(inWrite);
        return nullptr;
    }
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    std::wstring environment = EnvironmentBlock(variables);
    std::string line = commandLine;  // CreateProcessA may write into it
    BOOL started = CreateCommandProcess(program, &line, &environment, startup, &process);
    DWORD startError = GetLastError();
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (!started) {
        *error = SystemText(startError);
        CloseHandle(inWrite);
        CloseHandle(outRead);
        return nullptr;
    }
    MChild* child = new MChild;
    child->process = process.hProcess;
    child->toChild = inWrite;
    child->fromChild = outRead;
    child->input = input;
    if (input.empty()) {
        CloseIfOpen(&child->toChild);
    }
    // Without a job (one the program runs in may forbid it) only the command is ended at
    // the bound.
    child->job = CreateJobObjectA(nullptr, nullptr);
    if (child->job != nullptr && !AssignProcessToJobObject(child->job, process.hProcess)) {
        CloseIfOpen(&child->job);
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return child;
}

void MExchangeWithChild(MChild* child, unsigned waitMs, std::string* output) {
    DWORD begun = GetTickCount();
    for (;;) {
        bool moved = WriteInput(child);
        moved = ReadOutput(child, output) || moved;
        DWORD waited = GetTickCount() - begun;
        if (moved || waited >= waitMs ||
            WaitForSingleObject(child->process, std::min<DWORD>(waitMs - waited, LOOK_AGAIN_MS)) !=
                WAIT_TIMEOUT) {
            return;
        }
    }
}

bool MReapChild(MChild* child, int* exitCode) {
    if (WaitForSingleObject(child->process, 0) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(child->process, &code);
    *exitCode = static_cast<int>(code);
    return true;
}

void MEndChildTree(MChild* child) {
    if (child->job != nullptr) {
        TerminateJobObject(child->job, 1);
    } else {
        TerminateProcess(child->process, 1);
    }
    WaitForSingleObject(child->process, INFINITE);
}

void MFreeChild(MChild* child) {
    CloseIfOpen(&child->toChild);
    CloseIfOpen(&child->fromChild);
    CloseIfOpen(&child->job);
    CloseIfOpen(&child->process);
    delete child;
}

std::string MGetHostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) {
        return std::string();
    }
    return std::string(name, size);
}
