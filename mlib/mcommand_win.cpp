// Commands by CreateProcess without a window, in a job object so that the bound and the stop
// end the children with the command. The input is written and the output read by two
// threads of their own, so that a command that neither reads nor ends cannot hold the
// caller; a child that keeps the pipes once the command has ended has their waits
// cancelled, so that it holds no thread either.
#include "mlib/mcommand.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace {

const size_t FIRST_LINE_MAX = 1000;
// Once the first line is had, one buffer of output is read per this many milliseconds at
// most (400 kB/s): a command that prints without end then mostly waits on a full pipe.
const DWORD DROP_PAUSE_MS = 10;

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
// How long the pipes are waited for once the command has ended: a child of it may keep
// them open.
const DWORD PIPE_LINGER_MS = 1000;

// The program's environment with the variables added, names given replacing their own
// (names compare without case, as Windows does). The block is made in UTF-16 from the
// values in the ANSI code page, and the system gives the command its ANSI view of them.
std::wstring EnvironmentBlock(const MEnvironment& variables) {
    std::vector<std::wstring> names;
    for (const auto& variable : variables) {
        names.push_back(Wide(variable.first) + L"=");
    }
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0';
         entry += wcslen(entry) + 1) {
        bool replaced = false;
        for (const std::wstring& name : names) {
            replaced = replaced || _wcsnicmp(entry, name.c_str(), name.size()) == 0;
        }
        if (!replaced) {
            block.append(entry);
            block.push_back(L'\0');
        }
    }
    if (strings != nullptr) {
        FreeEnvironmentStringsW(strings);
    }
    for (const auto& variable : variables) {
        block += Wide(variable.first + "=" + variable.second);
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

// One pipe end served by a thread; shared with it, so that a thread still blocked when the
// caller returns uses nothing freed.
struct PipeWork {
    HANDLE pipe = nullptr;
    std::atomic<bool> cancelled{false};  // no further read or write is to start
    std::string input;
    std::mutex lock;
    std::string line;
    bool lineDone = false;
};

DWORD WINAPI WriteInput(void* raw) {
    std::shared_ptr<PipeWork> work(*static_cast<std::shared_ptr<PipeWork>*>(raw));
    delete static_cast<std::shared_ptr<PipeWork>*>(raw);
    size_t written = 0;
    while (written < work->input.size() && !work->cancelled) {
        DWORD put = 0;
        DWORD size = static_cast<DWORD>(work->input.size() - written);
        if (!WriteFile(work->pipe, work->input.data() + written, size, &put, nullptr)) {
            break;  // the command closed its input: the rest is dropped
        }
        written += put;
    }
    CloseHandle(work->pipe);
    return 0;
}

DWORD WINAPI ReadOutput(void* raw) {
    std::shared_ptr<PipeWork> work(*static_cast<std::shared_ptr<PipeWork>*>(raw));
    delete static_cast<std::shared_ptr<PipeWork>*>(raw);
    char buffer[4096];
    DWORD got = 0;
    bool lineDone = false;
    while (!work->cancelled && ReadFile(work->pipe, buffer, sizeof buffer, &got, nullptr) &&
           got > 0) {
        if (lineDone) {
            Sleep(DROP_PAUSE_MS);  // the rest is dropped at a bounded rate
            continue;
        }
        std::lock_guard<std::mutex> hold(work->lock);
        for (DWORD i = 0; i < got && !work->lineDone; i++) {
            if (buffer[i] == '\n' || work->line.size() >= FIRST_LINE_MAX) {
                work->lineDone = true;
            } else if (buffer[i] != '\r') {
                work->line.push_back(buffer[i]);
            }
        }
        lineDone = work->lineDone;
    }
    CloseHandle(work->pipe);
    return 0;
}

// Starts a thread on a pipe end; false (the handle closed) when it cannot start.
HANDLE StartPipeThread(LPTHREAD_START_ROUTINE procedure, const std::shared_ptr<PipeWork>& work) {
    auto* argument = new std::shared_ptr<PipeWork>(work);
    HANDLE thread = CreateThread(nullptr, 0, procedure, argument, 0, nullptr);
    if (thread == nullptr) {
        delete argument;
        CloseHandle(work->pipe);
    }
    return thread;
}

// Waits a moment for a pipe thread, then cancels the read or write it is blocked in (a
// child of the command still holds the other end) until it ends.
void FinishPipeThread(HANDLE thread, PipeWork* work) {
    if (thread == nullptr) {
        return;
    }
    if (WaitForSingleObject(thread, PIPE_LINGER_MS) == WAIT_TIMEOUT) {
        work->cancelled = true;
        for (int round = 0; round < 50; round++) {
            CancelSynchronousIo(thread);
            if (WaitForSingleObject(thread, 100) != WAIT_TIMEOUT) {
                break;
            }
        }
    }
    CloseHandle(thread);
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

// Starts the command suspended, with only its two pipe ends inherited: the program's
// sockets are inheritable, and a listening one held by a command would keep the port
// taken after the program has ended. Where the list of handles cannot be made, every
// inheritable handle goes with it.
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

MCommandResult MRunCommand(const std::string& commandLine, const MEnvironment& variables,
                           const std::string& input, unsigned timeoutMs,
                           const std::atomic<bool>* stop) {
    MCommandResult result;
    bool found = true;
    std::string program = FindProgram(commandLine, &found);
    if (!found) {
        result.error = SystemText(ERROR_FILE_NOT_FOUND);
        return result;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr;
    HANDLE inWrite = nullptr;
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) {
        result.error = SystemText(GetLastError());
        return result;
    }
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) {
        result.error = SystemText(GetLastError());
        CloseHandle(inRead);
        CloseHandle(inWrite);
        return result;
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
        result.error = SystemText(startError);
        CloseHandle(inWrite);
        CloseHandle(outRead);
        return result;
    }
    // Without a job (one the program runs in may forbid it) only the command is ended at
    // the bound.
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job != nullptr && !AssignProcessToJobObject(job, process.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);

    auto writer = std::make_shared<PipeWork>();
    writer->pipe = inWrite;
    writer->input = input;
    auto reader = std::make_shared<PipeWork>();
    reader->pipe = outRead;
    HANDLE threads[2] = {StartPipeThread(WriteInput, writer), StartPipeThread(ReadOutput, reader)};

    // In steps of 50 ms, so that the stop is noticed.
    DWORD begun = GetTickCount();
    DWORD waited = WAIT_TIMEOUT;
    bool stopped = false;
    while (waited == WAIT_TIMEOUT && !stopped && GetTickCount() - begun < timeoutMs) {
        DWORD left = timeoutMs - (GetTickCount() - begun);
        waited = WaitForSingleObject(process.hProcess, left < 50 ? left : 50);
        stopped = stop != nullptr && *stop;
    }
    if (waited == WAIT_TIMEOUT) {
        if (job != nullptr) {
            TerminateJobObject(job, 1);
        } else {
            TerminateProcess(process.hProcess, 1);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        result.state = stopped ? M_COMMAND_STOPPED : M_COMMAND_TIMED_OUT;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.state = M_COMMAND_EXITED;
        result.exitCode = static_cast<int>(code);
    }
    FinishPipeThread(threads[0], writer.get());
    FinishPipeThread(threads[1], reader.get());
    {
        std::lock_guard<std::mutex> hold(reader->lock);
        result.firstLine = reader->line;
    }
    if (job != nullptr) {
        CloseHandle(job);
    }
    CloseHandle(process.hProcess);
    return result;
}

std::string MGetHostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) {
        return std::string();
    }
    return std::string(name, size);
}
