// The application object and its life.
#include "app/kiv.h"

#include <cstring>

#include "monitor/messages.h"

const char APP_TITLE[] = "ケルム";

Kiv* theApp = nullptr;

Kiv::Kiv(HINSTANCE instance, char* commandLine, int showCommand)
    : MApp(instance, commandLine, showCommand),
      m_serverStop(false),
      m_serverListening(false),
      m_serverThreadCount(0),
      m_queryThreadCount(0),
      m_server(0),
      m_serverPort(0),
      m_client(0),
      m_interval(0),
      m_notify(0),
      m_logMode(0),
      m_allowUnc(0),
      m_logMax(0) {
    m_serverAddress[0] = '\0';
    m_iniPath[0] = m_logPath[0] = m_listPath[0] = '\0';
    m_listFile[0] = m_logFile[0] = m_checkFile[0] = '\0';
    memset(m_version, 0, sizeof m_version);
}

// Members go in reverse order: the results, the targets, the listening socket, the
// main window; then MApp closes the log and deletes its lock.
Kiv::~Kiv() {}

void BuildPath(char* path, size_t size, const char* folder, const char* name) {
    size_t used = 0;
    auto append = [&](const char* text, size_t length) {
        if (length > size - 1 - used) {
            length = size - 1 - used;
        }
        memcpy(path + used, text, length);
        used += length;
    };
    append(folder, strlen(folder));
    char separator = M_PATH_SEPARATOR;
    append(&separator, 1);
    size_t nameStart = used;
    append(name, strlen(name));
    path[used] = '\0';
    // A settings file written on Windows names subfolders with backslashes; where the
    // separator is a slash they mean the same folders.
    if (M_PATH_SEPARATOR == '/') {
        for (size_t i = nameStart; i < used; i++) {
            if (path[i] == '\\') {
                path[i] = '/';
            }
        }
    }
}

void Kiv::InitializeLocks() {
    m_dialogLock.Initialize();
    m_hostLock.Initialize();
    m_resultLock.Initialize();
    m_serverCountLock.Initialize();
    m_queryCountLock.Initialize();
    m_acceptLock.Initialize();
}

void Kiv::DeleteLocks() {
    m_acceptLock.Delete();
    m_queryCountLock.Delete();
    m_serverCountLock.Delete();
    m_resultLock.Delete();
    m_hostLock.Delete();
    m_dialogLock.Delete();
}

int Kiv::Init() {
    InitializeLocks();

    BuildPath(m_iniPath, sizeof m_iniPath, moduleDir, "fsw.ini");
    LoadSettings();
    BuildPath(m_logPath, sizeof m_logPath, moduleDir, m_logFile);
    BuildPath(m_listPath, sizeof m_listPath, moduleDir, m_listFile);
    OpenLog(m_logPath, m_logMode);
    GetVersionNumbers(&m_version[0], &m_version[1], &m_version[2], &m_version[3]);
    Log("%s Version %u.%u.%u (%u) 起動", APP_TITLE, unsigned{m_version[0]}, unsigned{m_version[1]},
        unsigned{m_version[2]}, unsigned{m_version[3]});
    LoadHostList();
    m_results.clear();

    int exitCode;
    if (m_mainWin.Create(APP_TITLE, nullptr, instance, nullptr)) {
        m_mainWin.Show(SW_HIDE);
        m_mainWin.Update();
        exitCode = MessageLoop(m_mainWin.GetHandle());
    } else {
        // Without a window nothing could ever end the message loop: end at once.
        Log("メインウインドウの生成に失敗しました。");
        exitCode = 2;
    }

    CloseLog();
    DeleteLocks();
    return exitCode;
}

Kiv* GetApp(HINSTANCE instance, char* commandLine, int showCommand) {
    static Kiv app(instance, commandLine, showCommand);
    theApp = &app;
    return &app;
}
