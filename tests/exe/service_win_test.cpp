// fsw.exe as a Windows service, driven through Wine's real service manager: installed,
// started, queried, reloaded, stopped and removed; its failed starts; its command run by
// hand; and a tray copy beside it. The test program itself is the ordinary process that
// keeps Wine's service processes alive meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/firewall_win.h"
#include "app/folder_rights_win.h"
#include "app/service_control.h"
#include "net/disk_query.h"
#include "tests/exe/program_driver_win.h"
#include "tests/support/shell_support_win.h"

#include <aclapi.h>  // after windows.h
#include <sddl.h>

namespace {

// Wine grants the prefix's user full control of every folder, so the install is told to
// trust that account, as no real install is.
const std::string INSTALL = "--install-service --quiet --unsafe-trust-installing-user";

const char EVENT_SOURCE[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\fsw";

std::string ServiceSettings(uint16_t port, const char* allow) {
    return "[fsw]\r\nSERVER=1\r\nSVPORT=" + std::to_string(port) +
           "\r\nCLIENT=0\r\nLOGMODE=2\r\nALLOW=" + allow + "\r\n";
}

bool Contains(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const std::string& line : lines) {
        if (line.find(wanted) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The service manager's view of the service "fsw", and its removal whatever a test
// left behind.
class ServiceTest : public ::testing::Test {
protected:
    ServiceTest() : m_manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS)) {
        MStartupNetwork();
        Remove();
    }
    ~ServiceTest() override {
        Remove();
        if (m_manager != NULL) {
            CloseServiceHandle(m_manager);
        }
        MCleanupNetwork();
    }

    // Runs fsw.exe of dir with the arguments; its exit code, -1 if it did not end.
    long Run(const std::string& dir, const std::string& arguments) {
        Program program(dir, arguments);
        return program.Started() ? program.Wait(20000) : -1;
    }

    // The status, with dwCurrentState 0 when the service cannot be opened.
    SERVICE_STATUS Status() {
        SERVICE_STATUS status;
        ZeroMemory(&status, sizeof status);
        SC_HANDLE service = OpenServiceA(m_manager, "fsw", SERVICE_QUERY_STATUS);
        if (service != NULL) {
            QueryServiceStatus(service, &status);
            CloseServiceHandle(service);
        }
        return status;
    }
    bool WaitForState(DWORD state, unsigned milliseconds) {
        return WaitUntil([&] { return Status().dwCurrentState == state; }, milliseconds);
    }
    bool Start() {
        SC_HANDLE service = OpenServiceA(m_manager, "fsw", SERVICE_START);
        bool started = service != NULL && StartServiceA(service, 0, NULL);
        if (service != NULL) {
            CloseServiceHandle(service);
        }
        return started;
    }
    // Sends a control as "sc control" would; Wine's sc has no such verb.
    bool Control(DWORD control) {
        SC_HANDLE service = OpenServiceA(
            m_manager, "fsw", SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE);
        SERVICE_STATUS status;
        bool sent = service != NULL && ControlService(service, control, &status);
        if (service != NULL) {
            CloseServiceHandle(service);
        }
        return sent;
    }
    bool Exists() {
        SC_HANDLE service = OpenServiceA(m_manager, "fsw", SERVICE_QUERY_STATUS);
        if (service == NULL) {
            return false;
        }
        CloseServiceHandle(service);
        return true;
    }
    static bool SourceExists() {
        HKEY key = NULL;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, EVENT_SOURCE, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
    static std::string SourceFile() {
        char value[MAX_PATH] = "";
        DWORD size = sizeof value;
        RegGetValueA(HKEY_LOCAL_MACHINE, EVENT_SOURCE, "EventMessageFile",
                     RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL, value, &size);
        return value;
    }

    SC_HANDLE m_manager;

private:
    void Remove() {
        SC_HANDLE service = OpenServiceA(m_manager, "fsw", SERVICE_ALL_ACCESS);
        if (service != NULL) {
            SERVICE_STATUS status;
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            WaitUntil(
                [&] {
                    return QueryServiceStatus(service, &status) &&
                           status.dwCurrentState == SERVICE_STOPPED;
                },
                10000);
            DeleteService(service);
            CloseServiceHandle(service);
        }
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, EVENT_SOURCE);
    }
};

DiskQueryOutcome Ask(uint16_t port) {
    return RunDiskQuery("127.0.0.1", port, "C:\\", 5000, nullptr).outcome;
}

TEST_F(ServiceTest, InstallsStartsAnswersReloadsStopsAndUninstalls) {
    ASSERT_NE(SC_HANDLE{NULL}, m_manager);
    TempDir dir;
    uint16_t port = FreeLocalPort();
    WriteFileBytes(dir.File("fsw.ini"), ServiceSettings(port, "127.0.0.1"));
    WriteFileBytes(dir.File("fsw.lst"), "");

    // The folder defaults to the program's own.
    ASSERT_EQ(0, Run(dir.Path(), INSTALL));
    EXPECT_EQ(1, Run(dir.Path(), INSTALL)) << "already installed";
    std::string exe = dir.File("fsw.exe");
    {
        SC_HANDLE service = OpenServiceA(m_manager, "fsw", SERVICE_QUERY_CONFIG);
        ASSERT_NE(SC_HANDLE{NULL}, service);
        std::vector<char> buffer(8192);
        DWORD needed = 0;
        auto config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        ASSERT_TRUE(QueryServiceConfigA(service, config, buffer.size(), &needed));
        EXPECT_EQ("\"" + exe + "\" --service --dir \"" + dir.Path() + "\"",
                  config->lpBinaryPathName);
        EXPECT_EQ(DWORD{SERVICE_AUTO_START}, config->dwStartType);
        EXPECT_EQ(std::string("ケルム ディスク監視"), config->lpDisplayName);
        CloseServiceHandle(service);
    }
    // The event viewer's way to the text: the source's message file and its table.
    EXPECT_EQ(exe, SourceFile());
    HMODULE table = LoadLibraryExA(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(HMODULE{NULL}, table);
    for (DWORD id = 1; id <= 5; id++) {
        const char* inserts[1] = {"ケルム Version 1 起動"};
        char text[256] = "";
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                      table, id, 0, text, sizeof text,
                                      reinterpret_cast<va_list*>(const_cast<char**>(inserts)));
        EXPECT_EQ("ケルム Version 1 起動\r\n", std::string(text, length)) << "event " << id;
    }
    FreeLibrary(table);

    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 20000));
    EXPECT_EQ(DISK_QUERY_OK, Ask(port));
    std::vector<std::string> log = LogMessagesOf(dir.File("fsw.log"));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(VersionLine("起動"), log.front());
    // A firewall that did not keep the rule (Wine's keeps none) is said in the log with the
    // line that adds it by hand; one that kept it is not.
    bool ruleKept = SystemFirewall().FindRule(InboundRuleFor(exe).name) == 0;
    EXPECT_NE(ruleKept, Contains(log, "netsh advfirewall firewall add rule name="));

    // PARAMCHANGE reads fsw.ini again: 127.0.0.1 is no longer let in.
    WriteFileBytes(dir.File("fsw.ini"), ServiceSettings(port, "10.9.8.7"));
    ASSERT_TRUE(Control(SERVICE_CONTROL_PARAMCHANGE));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Contains(LogMessagesOf(dir.File("fsw.log")), "接続を許可するアドレス: 10.9.8.7");
        },
        10000));
    EXPECT_NE(DISK_QUERY_OK, Ask(port));
    EXPECT_EQ(DWORD{SERVICE_RUNNING}, Status().dwCurrentState);
    EXPECT_TRUE(Control(SERVICE_CONTROL_INTERROGATE));

    ASSERT_TRUE(Control(SERVICE_CONTROL_STOP));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Status().dwCurrentState == SERVICE_STOPPED &&
                   LogMessagesOf(dir.File("fsw.log")).back() == VersionLine("終了");
        },
        2000))
        << "the end line and STOPPED within 2 s";
    EXPECT_EQ(DWORD{NO_ERROR}, Status().dwWin32ExitCode);
    log = LogMessagesOf(dir.File("fsw.log"));
    EXPECT_TRUE(Contains(log, "サービスの停止要求を受けました"));
    EXPECT_TRUE(Contains(log, "設定ファイルとホスト一覧を読み込み直します"));
    EXPECT_FALSE(Contains(log, "イベントログに書き込めません")) << "every event was taken";

    EXPECT_EQ(0, Run(dir.Path(), "--uninstall-service --quiet"));
    EXPECT_FALSE(Exists());
    EXPECT_FALSE(SourceExists());
    EXPECT_EQ(1, Run(dir.Path(), "--uninstall-service --quiet")) << "not installed";
}

// A running service is stopped by its removal, in order.
TEST_F(ServiceTest, UninstallStopsARunningServiceFirst) {
    TempDir dir;
    TempDir other;
    uint16_t port = FreeLocalPort();
    WriteFileBytes(dir.File("fsw.ini"), ServiceSettings(port, ""));
    ASSERT_EQ(0, Run(other.Path(), INSTALL + " --dir \"" + dir.Path() + "\""));
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 20000));
    EXPECT_EQ(0, Run(other.Path(), "--uninstall-service --quiet"));
    EXPECT_FALSE(Exists());
    EXPECT_EQ(VersionLine("終了"), LogMessagesOf(dir.File("fsw.log")).back());
    EXPECT_FALSE(FileExists(other.File("fsw.log"))) << "the files live in DIR";
}

// A port held by someone else is waited for with the service RUNNING; only a port that can
// never be listened on ends the start with its own code, never stuck pending.
TEST_F(ServiceTest, AHeldPortIsWaitedForAndOnlyImpossibleSettingsFailTheStart) {
    TempDir dir;
    uint16_t port = FreeLocalPort();
    WriteFileBytes(dir.File("fsw.ini"), ServiceSettings(port, ""));
    ASSERT_EQ(0, Run(dir.Path(), INSTALL));

    FswSocket holder;  // the port taken by someone else
    ASSERT_TRUE(holder.Create(6));
    ZeroMemory(&holder.address, sizeof holder.address);
    holder.address.v4.sin_family = AF_INET;
    holder.address.v4.sin_port = MHtons(port);
    ASSERT_EQ(0, MBind(holder.handle, &holder.address));
    ASSERT_EQ(0, MListen(holder.handle, 5));
    // A name any logged-on user could take first keeps no service from starting.
    HANDLE squatter = CreateMutexA(NULL, TRUE, "Global\\FSW_Service1825");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 20000));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Contains(LogMessagesOf(dir.File("fsw.log")),
                            "ポート " + std::to_string(port) +
                                " は他のプログラムか fsw の別のコピーが使用しています");
        },
        10000));
    holder.Close();
    CloseHandle(squatter);
    EXPECT_TRUE(WaitUntil([&] { return Ask(port) == DISK_QUERY_OK; }, 25000)) << "retried";
    ASSERT_TRUE(Control(SERVICE_CONTROL_STOP));
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000));

    WriteFileBytes(dir.File("fsw.ini"), "[fsw]\r\nSERVER=1\r\nSVPORT=70000\r\nLOGMODE=2\r\n");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000));
    SERVICE_STATUS status = Status();
    EXPECT_EQ(DWORD{ERROR_SERVICE_SPECIFIC_ERROR}, status.dwWin32ExitCode);
    EXPECT_EQ(DWORD{SERVICE_PORT_UNUSABLE}, status.dwServiceSpecificExitCode);
    std::vector<std::string> log = LogMessagesOf(dir.File("fsw.log"));
    EXPECT_TRUE(Contains(log, "ポート 70000 で待ち受けできないため"));
    EXPECT_EQ(VersionLine("終了"), log.back());

    // A --dir not there yet is made, with entries no ordinary user may write through.
    TempDir gone;
    ASSERT_EQ(0, Run(dir.Path(), "--uninstall-service --quiet"));
    ASSERT_EQ(0, Run(dir.Path(), INSTALL + " --dir \"" + gone.File("sub") + "\""));
    ObjectRights rights;
    ASSERT_EQ(DWORD{ERROR_SUCCESS}, ReadObjectRights(gone.File("sub"), &rights));
    EXPECT_EQ(std::vector<std::string>{},
              UntrustedWriters(
                  rights, {SID_ADMINISTRATORS, SID_SYSTEM, ServiceSidOf("fsw"), CurrentUserSid()}));
    // The folder gone: no log to write to, the code says why.
    RemoveDirectoryA(gone.File("sub").c_str());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000));
    EXPECT_EQ(DWORD{SERVICE_NO_FOLDER}, Status().dwServiceSpecificExitCode);
}

// A folder anyone may write is refused, with the command that mends it.
TEST_F(ServiceTest, TheInstallRefusesAFolderOthersMayWrite) {
    TempDir program;
    TempDir data;
    PSECURITY_DESCRIPTOR open = NULL;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;WD)", SDDL_REVISION_1, &open, NULL));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = NULL;
    GetSecurityDescriptorDacl(open, &present, &dacl, &defaulted);
    ASSERT_EQ(DWORD{ERROR_SUCCESS},
              SetNamedSecurityInfoA(const_cast<char*>(data.Path().c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, NULL, NULL, dacl, NULL));
    LocalFree(open);
    EXPECT_EQ(2, Run(program.Path(), INSTALL + " --dir \"" + data.Path() + "\""));
    EXPECT_FALSE(Exists());
    // The installing user's account (here any folder's full controller) is no trustee.
    EXPECT_EQ(2, Run(program.Path(), "--install-service --quiet"));
    EXPECT_FALSE(Exists());
    EXPECT_EQ(0, Run(program.Path(), INSTALL)) << "its own folder is safe but for that account";
    EXPECT_TRUE(Exists());
}

TEST_F(ServiceTest, TheServiceCommandRunByHandSaysSoAndAnswers2) {
    TempDir dir;
    EXPECT_EQ(2, Run(dir.Path(), "--service --quiet --dir \"" + dir.Path() + "\""));
    Program program(dir.Path(), "--service --dir \"" + dir.Path() + "\"");
    HWND box = NULL;
    ASSERT_TRUE(WaitUntil([&] { return (box = program.FindOwnWindow("#32770", "ケルム")) != NULL; },
                          20000));
    EXPECT_TRUE(WaitUntil(
        [&] { return ChildTexts(box).find("サービスマネージャが起動する") != std::string::npos; },
        5000))
        << ChildTexts(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(2, program.Wait(20000));
    EXPECT_FALSE(FileExists(dir.File("fsw.log")));
    EXPECT_EQ(2, Run(dir.Path(), "--bogus --quiet"));
}

// The tray copy of a logged-on user beside the service on the same port: its own server
// cannot listen, it shows no box, and its client role queries the service. On the
// service's own folder it says that the service runs there instead.
TEST_F(ServiceTest, ATrayCopyBesideTheRunningServiceShowsNoBoxAndRunsACycle) {
    TempDir serviceDir;
    uint16_t port = FreeLocalPort();
    WriteFileBytes(serviceDir.File("fsw.ini"), ServiceSettings(port, ""));
    ASSERT_EQ(0, Run(serviceDir.Path(), INSTALL));
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 20000));
    // A copy on the service's own folder (the Start menu's entry) says so and does not run.
    {
        Program beside(serviceDir.Path(), "--dir \"" + serviceDir.Path() + "\"");
        HWND box = NULL;
        ASSERT_TRUE(WaitUntil(
            [&] { return (box = beside.FindOwnWindow("#32770", "ケルム")) != NULL; }, 20000));
        EXPECT_TRUE(WaitUntil(
            [&] {
                return ChildTexts(box).find("このフォルダではサービス fsw が動作しています: " +
                                            serviceDir.Path()) != std::string::npos;
            },
            5000))
            << ChildTexts(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(1, beside.Wait(20000));
        std::vector<std::string> log = LogMessagesOf(serviceDir.File("fsw.log"));
        EXPECT_EQ(1, std::count(log.begin(), log.end(), VersionLine("起動")))
            << "the copy did not start on the service's log";
    }

    TempDir trayDir;
    WriteFileBytes(trayDir.File("fsw.ini"),
                   "[fsw]\r\nSERVER=1\r\nSVPORT=" + std::to_string(port) +
                       "\r\nCLIENT=1\r\nINTVAL=10\r\nNOTI=0\r\nLOGMODE=1\r\n");
    WriteFileBytes(trayDir.File("fsw.lst"),
                   "0\t127.0.0.1\t" + std::to_string(port) + "\tC:\\\t1\t9\tservice\r\n");
    Program tray(trayDir.Path());
    ASSERT_TRUE(tray.Started());
    HWND window = tray.WaitForMainWindow();
    ASSERT_NE(HWND{NULL}, window);
    // The cycle's end writes the history; the service's log shows the query it answered.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return !ReadFileBytes(trayDir.File("lastchk.txt")).empty() &&
                   Contains(LogMessagesOf(serviceDir.File("fsw.log")), "] 空き容量");
        },
        20000));
    EXPECT_EQ(HWND{NULL}, tray.FindVisibleOwnWindow("#32770")) << "no box";
    // The tray copy's log has the one neutral line of a port served by another copy.
    EXPECT_TRUE(Contains(
        LogMessagesOf(trayDir.File("fsw.log")),
        "ポート " + std::to_string(port) + " は他のプログラムか fsw の別のコピーが使用しています"))
        << ReadFileBytes(trayDir.File("fsw.log"));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, tray.Wait(20000));
    EXPECT_EQ(DWORD{SERVICE_RUNNING}, Status().dwCurrentState) << "the service runs on";
}

}  // namespace
