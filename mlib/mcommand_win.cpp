// Commands by CreateProcess without a window, in a job object so that the bound ends the
// children with the command. The input is written and the output read by two threads of
// their own, so that a command that neither reads nor ends cannot hold the caller.
#include "mlib/mcommand.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <vector>

namespace {

const size_t FIRST_LINE_MAX = 1000;

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
    std::string input;
    std::mutex lock;
    std::string line;
    bool lineDone = false;
};

DWORD WINAPI WriteInput(void* raw) {
    std::shared_ptr<PipeWork> work(*static_cast<std::shared_ptr<PipeWork>*>(raw));
    delete static_cast<std::shared_ptr<PipeWork>*>(raw);
    size_t written = 0;
    while (written < work->input.size()) {
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
    while (ReadFile(work->pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        std::lock_guard<std::mutex> hold(work->lock);
        for (DWORD i = 0; i < got && !work->lineDone; i++) {
            if (buffer[i] == '\n' || work->line.size() >= FIRST_LINE_MAX) {
                work->lineDone = true;
            } else if (buffer[i] != '\r') {
                work->line.push_back(buffer[i]);
            }
        }
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

// Starts the command suspended, with only its two pipe ends inherited: the program's
// sockets are inheritable, and a listening one held by a command would keep the port
// taken after the program has ended. Where the list of handles cannot be made, every
// inheritable handle goes with it.
BOOL CreateCommandProcess(std::string* line, std::wstring* environment, const STARTUPINFOA& startup,
                          PROCESS_INFORMATION* process) {
    const DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT;
    HANDLE inherited[2] = {startup.hStdInput, startup.hStdOutput};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> buffer(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        STARTUPINFOA plain = startup;
        return CreateProcessA(nullptr, &(*line)[0], nullptr, nullptr, TRUE, flags,
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
        started = CreateProcessA(nullptr, &(*line)[0], nullptr, nullptr, TRUE,
                                 flags | EXTENDED_STARTUPINFO_PRESENT, &(*environment)[0], nullptr,
                                 &extended.StartupInfo, process);
    } else {
        STARTUPINFOA plain = startup;
        started = CreateProcessA(nullptr, &(*line)[0], nullptr, nullptr, TRUE, flags,
                                 &(*environment)[0], nullptr, &plain, process);
    }
    DWORD error = GetLastError();
    DeleteProcThreadAttributeList(list);
    SetLastError(error);
    return started;
}

}  // namespace

MCommandResult MRunCommand(const std::string& commandLine, const MEnvironment& variables,
                           const std::string& input, unsigned timeoutMs) {
    MCommandResult result;
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
    BOOL started = CreateCommandProcess(&line, &environment, startup, &process);
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

    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_TIMEOUT) {
        if (job != nullptr) {
            TerminateJobObject(job, 1);
        } else {
            TerminateProcess(process.hProcess, 1);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        result.state = M_COMMAND_TIMED_OUT;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.state = M_COMMAND_EXITED;
        result.exitCode = static_cast<int>(code);
    }
    for (HANDLE thread : threads) {
        if (thread != nullptr) {
            WaitForSingleObject(thread, PIPE_LINGER_MS);
            CloseHandle(thread);
        }
    }
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
