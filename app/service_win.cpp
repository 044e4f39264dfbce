// fsw as a Windows service.
#include "app/service_win.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_log.h"
#include "app/entry.h"
#include "app/firewall_win.h"
#include "app/folder_rights_win.h"
#include "app/front_end.h"
#include "app/service_control.h"
#include "fsw_events.h"
#include "mlib/mapp.h"
#include "monitor/messages.h"
#include "monitor/service_window_win.h"

#include <shellapi.h>  // after windows.h

const char SERVICE_NAME[] = "fsw";
const char SERVICE_DISPLAY_NAME[] = "ケルム ディスク監視";
const char EVENT_SOURCE_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\fsw";

static_assert(SVC_STOPPED == SERVICE_STOPPED && SVC_START_PENDING == SERVICE_START_PENDING &&
                  SVC_STOP_PENDING == SERVICE_STOP_PENDING && SVC_RUNNING == SERVICE_RUNNING,
              "service states");
static_assert(SVC_CONTROL_STOP == SERVICE_CONTROL_STOP &&
                  SVC_CONTROL_INTERROGATE == SERVICE_CONTROL_INTERROGATE &&
                  SVC_CONTROL_SHUTDOWN == SERVICE_CONTROL_SHUTDOWN &&
                  SVC_CONTROL_PARAMCHANGE == SERVICE_CONTROL_PARAMCHANGE,
              "service controls");
static_assert(SVC_ACCEPT_STOP == SERVICE_ACCEPT_STOP &&
                  SVC_ACCEPT_SHUTDOWN == SERVICE_ACCEPT_SHUTDOWN &&
                  SVC_ACCEPT_PARAMCHANGE == SERVICE_ACCEPT_PARAMCHANGE,
              "accepted controls");
static_assert(SVC_ERROR_CALL_NOT_IMPLEMENTED == ERROR_CALL_NOT_IMPLEMENTED &&
                  SVC_ERROR_CANNOT_ACCEPT_CTRL == ERROR_SERVICE_CANNOT_ACCEPT_CTRL &&
                  SVC_ERROR_SPECIFIC == ERROR_SERVICE_SPECIFIC_ERROR,
              "control answers");

namespace {

const char SERVICE_DESCRIPTION[] =
    "ネットワーク上のディスクの空き容量を監視し、他のケルムからの問合せに答えます。";
// The account: local volumes, shares as the computer's account. Rights are granted to the
// service's own SID (NT SERVICE\fsw), which the account shares with no other service.
const char SERVICE_ACCOUNT[] = "NT AUTHORITY\\NetworkService";
// The only privilege the service keeps: passing through folders it may not list.
// Impersonation and the rest of the account's privileges are gone from its token.
const char SERVICE_PRIVILEGES[] = "SeChangeNotifyPrivilege\0";
const DWORD RESTART_DELAY_MS = 60000;
const DWORD FAILURE_RESET_SECONDS = 86400;
// How long the removal waits for a running service to stop: the server's own bound of a
// hung measurement, and a margin.
const DWORD UNINSTALL_STOP_WAIT_MS = 10000;

// The text on the standard output, where the caller gave one (a redirection, an installer)
// or else on the console the command was started from.
void WriteOutput(const std::string& text) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((output == NULL || output == INVALID_HANDLE_VALUE) &&
        AttachConsole(ATTACH_PARENT_PROCESS)) {
        output = GetStdHandle(STD_OUTPUT_HANDLE);
    }
    if (output == NULL || output == INVALID_HANDLE_VALUE) {
        return;
    }
    std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, NULL);
}

// The outcome of a command: its text on the output, its box unless quiet, and its exit
// code.
int Outcome(const EntryCommand& command, int code, const std::string& text) {
    WriteOutput(text);
    if (!command.quiet) {
        unsigned icon = code == COMMAND_DONE            ? MB_ICONINFORMATION
                        : code == COMMAND_NOTHING_TO_DO ? MB_ICONWARNING
                                                        : MB_ICONERROR;
        MMessageBox(NULL, text.c_str(), APP_TITLE, icon);
    }
    return code;
}

std::string SystemText(DWORD error) {
    char text[512];
    GetErrorText(text, error, sizeof text);
    std::string result = text;
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) {
        result.pop_back();
    }
    return result;
}

// Closes a service manager handle at the end of a scope.
struct ScHandle {
    SC_HANDLE handle;
    ~ScHandle() {
        if (handle != NULL) {
            CloseServiceHandle(handle);
        }
    }
};

std::string ProgramPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

// The full path of an existing folder, or empty.
std::string ExistingFolder(const std::string& dir) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(dir.c_str(), sizeof full, full, NULL);
    if (length == 0 || length >= sizeof full) {
        return "";
    }
    DWORD attributes = GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return "";
    }
    return full;
}

std::string FolderOf(const std::string& path) {
    size_t separator = std::string::npos;
    for (const char* p = path.c_str(); *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\') {
            separator = static_cast<size_t>(p - path.c_str());
        }
    }
    return separator == std::string::npos ? path : path.substr(0, separator);
}

// The event source: the program's own message table, and the three event types.
DWORD AddEventSource(const std::string& exePath) {
    HKEY key = NULL;
    DWORD error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY, 0, NULL, 0, KEY_SET_VALUE,
                                  NULL, &key, NULL);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    error = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(exePath.c_str()),
                           static_cast<DWORD>(exePath.size() + 1));
    if (error == ERROR_SUCCESS) {
        error = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&types), sizeof types);
    }
    RegCloseKey(key);
    return error;
}

// ERROR_SUCCESS also when there was none.
DWORD DeleteEventSource(bool* removed) {
    DWORD error = RegDeleteKeyA(HKEY_LOCAL_MACHINE, EVENT_SOURCE_KEY);
    *removed = error == ERROR_SUCCESS;
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

// A setting the service manager does not know (an emulation, an old system) is said in
// the outcome rather than taking the install back; any other refusal fails it.
bool UnknownToTheSystem(DWORD error) {
    return error == ERROR_INVALID_LEVEL || error == ERROR_INVALID_PARAMETER ||
           error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// Description, its own SID, its privileges and restart after a failure, also after a
// stop with an error code; the system's error, or ERROR_SUCCESS. The names of the
// settings the system does not know go to *unknown.
DWORD ConfigureService(SC_HANDLE service, std::string* unknown) {
    SERVICE_DESCRIPTIONA description;
    description.lpDescription = const_cast<char*>(SERVICE_DESCRIPTION);
    SERVICE_SID_INFO sidInfo;
    sidInfo.dwServiceSidType = SERVICE_SID_TYPE_UNRESTRICTED;
    SERVICE_REQUIRED_PRIVILEGES_INFOA privileges;
    privileges.pmszRequiredPrivileges = const_cast<char*>(SERVICE_PRIVILEGES);
    SC_ACTION restart[3];
    for (SC_ACTION& action : restart) {
        action.Type = SC_ACTION_RESTART;
        action.Delay = RESTART_DELAY_MS;
    }
    SERVICE_FAILURE_ACTIONSA actions;
    ZeroMemory(&actions, sizeof actions);
    actions.dwResetPeriod = FAILURE_RESET_SECONDS;
    actions.cActions = 3;
    actions.lpsaActions = restart;
    SERVICE_FAILURE_ACTIONS_FLAG onErrorStop;
    onErrorStop.fFailureActionsOnNonCrashFailures = TRUE;
    struct Setting {
        DWORD level;
        void* value;
        const char* name;  // empty: the system must take it
    };
    const Setting settings[] = {
        {SERVICE_CONFIG_DESCRIPTION, &description, ""},
        {SERVICE_CONFIG_FAILURE_ACTIONS, &actions, ""},
        {SERVICE_CONFIG_SERVICE_SID_INFO, &sidInfo, "サービスSID"},
        {SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges, "必要な特権"},
        {SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrorStop, "エラー終了時の再起動"},
    };
    for (const Setting& setting : settings) {
        if (ChangeServiceConfig2A(service, setting.level, setting.value)) {
            continue;
        }
        DWORD error = GetLastError();
        if (setting.name[0] == '\0' || !UnknownToTheSystem(error)) {
            return error;
        }
        *unknown += std::string(unknown->empty() ? "" : ", ") + setting.name;
    }
    return ERROR_SUCCESS;
}

// The refusal's text when the folder lets an account other than the trusted ones plant a
// file the service would load or read, or take the folder over; empty when it does not.
std::string UnsafeFolderText(const std::string& folder, bool dataFolder,
                             const std::string& serviceSid, bool trustInstallingUser) {
    ObjectRights rights;
    DWORD error = ReadObjectRights(folder, &rights);
    if (error != ERROR_SUCCESS) {
        return "フォルダの権限を読み取れないため、サービスをインストールしません: " + folder +
               " (" + SystemText(error) + ")";
    }
    std::vector<std::string> writers = UntrustedWriters(
        rights, ServiceFolderTrustees(serviceSid, trustInstallingUser ? CurrentUserSid() : ""));
    if (writers.empty()) {
        return "";
    }
    std::string accounts;
    for (const std::string& sid : writers) {
        accounts += (accounts.empty() ? "" : ", ") + sid;
    }
    return "管理者以外も書き込めるフォルダのため、サービスをインストールしません: " + folder +
           "\n(書き込めるアカウント: " + accounts +
           ")\n管理者のコマンドプロンプトで次を実行してから、もう一度インストールしてください:\n" +
           IcaclsFixLine(folder, true, dataFolder ? serviceSid : "", writers);
}

// The folder as a full path, created with the protected entries when it is not there yet
// (and given them when protect says so: the installer's own data folder, which it has just
// made under a parent that lets users create files);
// empty with the text of the failure otherwise.
std::string DataFolder(const std::string& dir, const std::string& serviceSid, bool protect,
                       std::string* problem) {
    std::string existing = ExistingFolder(dir);
    if (!existing.empty() && protect) {
        DWORD error = ProtectFolder(existing, serviceSid);
        if (error != ERROR_SUCCESS) {
            *problem = "フォルダの権限を設定できません: " + dir + " (" + SystemText(error) + ")";
            return "";
        }
    }
    if (!existing.empty()) {
        return existing;
    }
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(dir.c_str(), sizeof full, full, NULL);
    DWORD error = length == 0 || length >= sizeof full ? ERROR_BAD_PATHNAME
                                                       : CreateProtectedFolder(full, serviceSid);
    if (error != ERROR_SUCCESS) {
        *problem = "フォルダを作成できません: " + dir + " (" + SystemText(error) + ")";
        return "";
    }
    return full;
}

// A warning in the event log under the source just registered.
void WarnInEventLog(const std::string& text) {
    HANDLE events = RegisterEventSourceA(NULL, SERVICE_NAME);
    if (events != NULL) {
        const char* strings[1] = {text.c_str()};
        ReportEventA(events, EVENTLOG_WARNING_TYPE, 0, FSW_EVENT_MESSAGE, NULL, 1, 0, strings,
                     NULL);
        DeregisterEventSource(events);
    }
}

// The service's own key, which the service manager deletes with the service: what the
// installation could not do is kept there for the service's log, which the installation
// cannot write (the log is opened, and may be started anew, by the service).
const std::string SERVICE_PARAMETERS_KEY =
    std::string("SYSTEM\\CurrentControlSet\\Services\\") + SERVICE_NAME + "\\Parameters";
const char INSTALL_NOTE_VALUE[] = "InstallNote";

void KeepInstallNote(const std::string& text) {
    LONG error =
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, SERVICE_PARAMETERS_KEY.c_str(), INSTALL_NOTE_VALUE,
                        REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    if (error != ERROR_SUCCESS) {
        WarnInEventLog("サービスの設定に記録できません: " + SystemText(static_cast<DWORD>(error)));
    }
}

}  // namespace

// A half-made installation is taken back: the service is there with its event source
// and its restart, or not at all. A firewall that does not take the rule is no failure:
// the service then answers this machine only, and the text says how to add the rule.
int InstallService(const EntryCommand& command) {
    std::string exe = ProgramPath();
    if (exe.empty()) {
        return Outcome(command, COMMAND_FAILED, "プログラムのパスを取得できません");
    }
    std::string serviceSid = ServiceSidOf(SERVICE_NAME);
    std::string problem;
    std::string dir = command.dir.empty()
                          ? ExistingFolder(FolderOf(exe))
                          : DataFolder(command.dir, serviceSid, command.protectDir, &problem);
    if (dir.empty()) {
        return Outcome(command, COMMAND_FAILED,
                       problem.empty() ? "フォルダがありません: " + FolderOf(exe) : problem);
    }
    bool trustUser = command.trustInstallingUser;
    std::string unsafe = UnsafeFolderText(FolderOf(exe), false, serviceSid, trustUser);
    if (unsafe.empty() && lstrcmpiA(dir.c_str(), FolderOf(exe).c_str()) != 0) {
        unsafe = UnsafeFolderText(dir, true, serviceSid, trustUser);
    }
    if (!unsafe.empty()) {
        return Outcome(command, COMMAND_FAILED, unsafe);
    }
    ScHandle manager{OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE)};
    if (manager.handle == NULL) {
        return Outcome(command, COMMAND_FAILED,
                       "サービスマネージャを開けません: " + SystemText(GetLastError()));
    }
    std::string commandLine = ServiceCommandLine(exe, dir);
    ScHandle service{CreateServiceA(manager.handle, SERVICE_NAME, SERVICE_DISPLAY_NAME,
                                    SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                    SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(),
                                    NULL, NULL, NULL, SERVICE_ACCOUNT, "")};
    if (service.handle == NULL) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_EXISTS) {
            return Outcome(command, COMMAND_NOTHING_TO_DO,
                           "サービス fsw は既にインストールされています");
        }
        return Outcome(command, COMMAND_FAILED, "サービスを登録できません: " + SystemText(error));
    }
    std::string unknown;
    DWORD error = ConfigureService(service.handle, &unknown);
    std::string failed = "サービスの設定に失敗したため、登録を取り消しました: ";
    if (error == ERROR_SUCCESS) {
        error = AddEventSource(exe);
        failed = "イベントソースを登録できないため、サービスの登録を取り消しました: ";
    }
    if (error != ERROR_SUCCESS) {
        DeleteService(service.handle);
        return Outcome(command, COMMAND_FAILED, failed + SystemText(error));
    }
    std::string done = "サービス fsw をインストールしました。(フォルダ: " + dir +
                       ")\n\"net start fsw\" で開始します";
    if (!unknown.empty()) {
        std::string text = "この環境ではサービスの次の設定ができませんでした: " + unknown;
        WarnInEventLog(text);
        done += "\n\n" + text;
    }
    SystemFirewall firewall;
    std::string blocked = AllowProgramThroughFirewall(firewall, exe);
    if (!blocked.empty()) {
        WarnInEventLog(blocked);
        KeepInstallNote(blocked);
        done += "\n\n" + blocked;
    }
    return Outcome(command, COMMAND_DONE, done);
}

std::vector<std::string> ArgumentsOf(const wchar_t* commandLine) {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(commandLine, &count);
    if (wide == NULL) {
        return args;
    }
    for (int i = 1; i < count; i++) {
        int size = WideCharToMultiByte(CP_ACP, 0, wide[i], -1, NULL, 0, NULL, NULL);
        std::string arg(size > 1 ? size : 1, '\0');
        if (size > 1) {
            WideCharToMultiByte(CP_ACP, 0, wide[i], -1, &arg[0], size, NULL, NULL);
        }
        arg.resize(arg.size() - 1);
        args.push_back(arg);
    }
    LocalFree(wide);
    return args;
}

namespace {

// An existing folder's full path without a last separator (a character, not a trail
// byte), to compare folders by; empty when there is none.
std::string ComparableFolder(const std::string& dir) {
    std::string folder = ExistingFolder(dir);
    const char* last =
        folder.empty() ? NULL : CharPrevA(folder.c_str(), folder.c_str() + folder.size());
    if (folder.size() > 3 && last == folder.c_str() + folder.size() - 1 && *last == '\\') {
        folder.pop_back();
    }
    return folder;
}

// The folder the installed service runs on, when it runs (or is starting or stopping);
// empty otherwise.
std::string RunningServiceFolder() {
    ScHandle manager{OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT)};
    ScHandle service{manager.handle == NULL
                         ? NULL
                         : OpenServiceA(manager.handle, SERVICE_NAME,
                                        SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS)};
    SERVICE_STATUS status;
    if (service.handle == NULL || !QueryServiceStatus(service.handle, &status) ||
        status.dwCurrentState == SERVICE_STOPPED) {
        return "";
    }
    DWORD needed = 0;
    QueryServiceConfigW(service.handle, NULL, 0, &needed);
    std::vector<char> buffer(needed + sizeof(QUERY_SERVICE_CONFIGW));
    auto config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.handle, config, static_cast<DWORD>(buffer.size()), &needed) ||
        config->lpBinaryPathName == NULL) {
        return "";
    }
    EntryCommand run = ParseEntryArguments(ArgumentsOf(config->lpBinaryPathName));
    return run.mode == ENTRY_SERVICE ? ComparableFolder(run.dir) : "";
}

}  // namespace

std::string ServiceBesideTrayText(const EntryCommand& command) {
    std::string folder =
        ComparableFolder(command.dir.empty() ? FolderOf(ProgramPath()) : command.dir);
    std::string serviceFolder = folder.empty() ? "" : RunningServiceFolder();
    if (serviceFolder.empty() || lstrcmpiA(folder.c_str(), serviceFolder.c_str()) != 0) {
        return "";
    }
    return "このフォルダではサービス fsw が動作しています: " + folder +
           "\nログと設定はこのフォルダにあります (fsw.log, fsw.ini)。\n"
           "タスクトレイのプログラムは、別のフォルダを --dir で指定して起動してください。";
}

int UninstallService(const EntryCommand& command) {
    ScHandle manager{OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT)};
    if (manager.handle == NULL) {
        return Outcome(command, COMMAND_FAILED,
                       "サービスマネージャを開けません: " + SystemText(GetLastError()));
    }
    bool sourceRemoved = false;
    ScHandle service{
        OpenServiceA(manager.handle, SERVICE_NAME, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE)};
    if (service.handle == NULL) {
        DWORD error = GetLastError();
        if (error != ERROR_SERVICE_DOES_NOT_EXIST) {
            return Outcome(command, COMMAND_FAILED, "サービスを開けません: " + SystemText(error));
        }
        // A source left behind by an earlier removal goes too.
        DeleteEventSource(&sourceRemoved);
        return Outcome(command, COMMAND_NOTHING_TO_DO, "サービス fsw はインストールされていません");
    }
    SERVICE_STATUS status;
    bool stopped =
        QueryServiceStatus(service.handle, &status) && status.dwCurrentState == SERVICE_STOPPED;
    if (!stopped) {
        if (status.dwCurrentState != SERVICE_STOP_PENDING) {
            ControlService(service.handle, SERVICE_CONTROL_STOP, &status);
        }
        for (DWORD waited = 0; waited < UNINSTALL_STOP_WAIT_MS; waited += 100) {
            if (QueryServiceStatus(service.handle, &status) &&
                status.dwCurrentState == SERVICE_STOPPED) {
                stopped = true;
                break;
            }
            Sleep(100);
        }
    }
    if (!DeleteService(service.handle)) {
        return Outcome(command, COMMAND_FAILED,
                       "サービスを削除できません: " + SystemText(GetLastError()));
    }
    DWORD error = DeleteEventSource(&sourceRemoved);
    SystemFirewall firewall;
    std::string ruleLeft = RemoveProgramFromFirewall(firewall, ProgramPath());
    if (!stopped) {
        return Outcome(command, COMMAND_FAILED,
                       "サービスが時間内に停止しません。停止した時点で削除されます");
    }
    if (error != ERROR_SUCCESS) {
        return Outcome(
            command, COMMAND_FAILED,
            "サービスは削除しましたが、イベントソースを削除できません: " + SystemText(error));
    }
    return Outcome(command, COMMAND_DONE,
                   "サービス fsw を削除しました" + (ruleLeft.empty() ? "" : "\n\n" + ruleLeft));
}

namespace {

// One run under the service manager: the state it reports, the event source, and the
// front end's window that the control handler posts to.
class ServiceRun : public ServiceHost {
public:
    ServiceRun(const EntryCommand& command, HINSTANCE instance)
        : m_command(command),
          m_instance(instance),
          m_status(NULL),
          m_events(NULL),
          m_eventsError(ERROR_SUCCESS),
          m_window(NULL),
          m_front(*this),
          m_failure(SERVICE_OK) {}

    void Main();
    DWORD Control(DWORD control);
    ServiceFailure Failure() const { return m_failure; }

    void ReportRunning() override {
        m_window = m_front.hwnd;
        Report(m_control.Running());
    }
    void WriteEvent(ServiceEvent event, ServiceEventLevel level, const std::string& text) override;
    bool TakeReload() override { return m_control.TakeReload(); }
    std::string InstallNote() override;

private:
    ServiceFailure Run();
    void Report(const ServiceReport& report);

    EntryCommand m_command;
    HINSTANCE m_instance;
    SERVICE_STATUS_HANDLE m_status;
    HANDLE m_events;
    DWORD m_eventsError;  // why m_events could not be had
    std::atomic<HWND> m_window;
    ServiceControl m_control;
    ServiceWin m_front;
    ServiceFailure m_failure;
};

ServiceRun* g_run = NULL;

// Whether the application ran, to tell the service manager which step failed. The service
// takes no marker of a logon: the service manager runs one copy only, and a marker in the
// global namespace could be taken first by any logged-on user to keep the service from
// starting. It takes its data folder's, which only those who may open files there can hold,
// so that no tray copy runs on its files beside it.
class ServiceEntryServices : public SystemEntryServices {
public:
    ServiceEntryServices(HINSTANCE instance, FrontEnd& front)
        : SystemEntryServices(instance, const_cast<char*>(""), SW_HIDE, &front) {}
    MInstanceResult CreateInstanceMarker(const char*, std::string* problem) override {
        MInstanceResult result = CreateFolderMarker(problem);
        marked = result == M_INSTANCE_CREATED;
        return result;
    }
    int RunApplication() override {
        ran = true;
        return SystemEntryServices::RunApplication();
    }

    bool marked = false;  // the event of a marker not had is written by the entry's box
    bool ran = false;
};

const WORD EVENT_TYPES[] = {EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE};

std::string ServiceRun::InstallNote() {
    char text[2048];
    DWORD size = sizeof text;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, SERVICE_PARAMETERS_KEY.c_str(), INSTALL_NOTE_VALUE,
                     RRF_RT_REG_SZ, NULL, text, &size) != ERROR_SUCCESS) {
        return "";
    }
    // A rule added by hand since ends the note.
    SystemFirewall firewall;
    if (firewall.FindRule(InboundRuleFor(ProgramPath()).name) == 0) {
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SERVICE_PARAMETERS_KEY.c_str(), INSTALL_NOTE_VALUE);
        return "";
    }
    return text;
}

void ServiceRun::WriteEvent(ServiceEvent event, ServiceEventLevel level, const std::string& text) {
    static const DWORD ids[] = {FSW_EVENT_START, FSW_EVENT_STOP, FSW_EVENT_START_FAILED,
                                FSW_EVENT_CYCLE, FSW_EVENT_MESSAGE};
    const char* strings[1] = {text.c_str()};
    DWORD error = m_eventsError;
    if (m_events != NULL) {
        error = ReportEventA(m_events, EVENT_TYPES[level], 0, ids[event], NULL, 1, 0, strings, NULL)
                    ? ERROR_SUCCESS
                    : GetLastError();
    }
    // Before the application object exists there is no log to say it in.
    if (error != ERROR_SUCCESS) {
        AppLog(true).WriteLine("イベントログに書き込めません: " + SystemText(error));
    }
}

void ServiceRun::Report(const ServiceReport& report) {
    SERVICE_STATUS status;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = report.state;
    status.dwControlsAccepted = report.controlsAccepted;
    status.dwWin32ExitCode = report.win32ExitCode;
    status.dwServiceSpecificExitCode = report.specificExitCode;
    status.dwCheckPoint = report.checkPoint;
    status.dwWaitHint = report.waitHint;
    SetServiceStatus(m_status, &status);
}

// The control handler's thread only posts to the front end's loop; it never waits.
DWORD ServiceRun::Control(DWORD control) {
    ServiceControlAnswer answer = m_control.OnControl(control);
    if (answer.report) {
        Report(answer.status);
    }
    HWND window = m_window;
    if (window != NULL) {
        switch (answer.action) {
            case SERVICE_ACTION_STOP:
            case SERVICE_ACTION_SHUTDOWN:
                PostMessageA(window, WM_APP_SERVICE_STOP,
                             answer.action == SERVICE_ACTION_SHUTDOWN ? 1 : 0, 0);
                break;
            case SERVICE_ACTION_RELOAD:
                PostMessageA(window, WM_APP_SERVICE_RELOAD, 0, 0);
                break;
            case SERVICE_ACTION_NONE:
                break;
        }
    }
    return answer.result;
}

// A box's text goes to the log (kept until it is open) and to the event log; a question
// is answered with the safe choice, No.
int ServiceBox(HWND, const char* text, const char* caption, unsigned type) {
    std::string line = BoxLogLine(caption, text);
    AppLog(true).WriteLine(line);
    if (g_run != NULL) {
        unsigned icon = type & MB_ICONMASK;
        ServiceEventLevel level = icon == MB_ICONERROR     ? EVENT_LEVEL_ERROR
                                  : icon == MB_ICONWARNING ? EVENT_LEVEL_WARNING
                                                           : EVENT_LEVEL_INFO;
        g_run->WriteEvent(SERVICE_EVENT_MESSAGE, level, line);
    }
    return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

ServiceFailure ServiceRun::Run() {
    std::string dir =
        ExistingFolder(m_command.dir.empty() ? FolderOf(ProgramPath()) : m_command.dir);
    if (dir.empty()) {
        WriteEvent(SERVICE_EVENT_START_FAILED, EVENT_LEVEL_ERROR,
                   "フォルダがないため、サービスを開始できません: " + m_command.dir);
        return SERVICE_NO_FOLDER;
    }
    MSetModuleDirectory(dir.c_str());
    ServiceEntryServices services(m_instance, m_front);
    int code = RunEntry(services);
    m_window = NULL;
    if (!services.ran) {
        if (services.marked) {
            WriteEvent(SERVICE_EVENT_START_FAILED, EVENT_LEVEL_ERROR,
                       "ネットワークを初期化できないため、サービスを開始できません");
        }
        return SERVICE_START_FAILED;
    }
    if (m_front.Failure() != SERVICE_OK) {
        return m_front.Failure();  // the front end has logged it and written its event
    }
    return code == 0 ? SERVICE_OK : SERVICE_START_FAILED;
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void* context) {
    return static_cast<ServiceRun*>(context)->Control(control);
}

void ServiceRun::Main() {
    m_status = RegisterServiceCtrlHandlerExA(SERVICE_NAME, ControlHandler, this);
    if (m_status == NULL) {
        m_failure = SERVICE_START_FAILED;
        return;  // nothing to report to
    }
    Report(m_control.Starting());
    m_events = RegisterEventSourceA(NULL, SERVICE_NAME);
    m_eventsError = m_events != NULL ? ERROR_SUCCESS : GetLastError();
    MMessageBoxHook previous = MSetMessageBoxHook(ServiceBox);
    m_failure = Run();
    MSetMessageBoxHook(previous);
    if (m_events != NULL) {
        DeregisterEventSource(m_events);
        m_events = NULL;
    }
    Report(m_control.Stopped(m_failure));
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
    g_run->Main();
}

}  // namespace

int RunAsService(const EntryCommand& command, HINSTANCE instance) {
    ServiceRun run(command, instance);
    g_run = &run;
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(SERVICE_NAME), ServiceMain}, {NULL, NULL}};
    if (!StartServiceCtrlDispatcherA(table)) {
        DWORD error = GetLastError();
        g_run = NULL;
        return Outcome(command, COMMAND_FAILED,
                       error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                           ? "--service はサービスマネージャが起動するためのものです。"
                             "サービスは \"net start fsw\" で開始してください"
                           : "サービスマネージャに接続できません: " + SystemText(error));
    }
    g_run = NULL;
    return run.Failure() == SERVICE_OK ? COMMAND_DONE : COMMAND_FAILED;
}
