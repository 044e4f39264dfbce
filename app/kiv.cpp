// The application object and its life.
#include "app/kiv.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "mlib/mcodepage.h"
#include "mlib/mfileops.h"
#include "monitor/main_window.h"
#include "monitor/messages.h"
#include "monitor/metrics.h"

const char APP_TITLE[] = "ケルム";
const char CODE_PAGE_NOTICE[] =
    "This system's ANSI code page is not 932 (Japanese): texts may be garbled and paths "
    "outside it cannot be used.\n"
    "システムのコードページが932(日本語)ではありません。文字化けすることがあり、"
    "932にない文字のパスは使えません。";

Kiv* theApp = nullptr;

Kiv::Kiv(HINSTANCE instance, char* commandLine, int showCommand)
    : MApp(instance, commandLine, showCommand),
      m_mainWinObject(new MainWin),
      m_mainWin(*m_mainWinObject),
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
      m_keepDays(0),
      m_forecastDays(0),
      m_allowUnc(0),
      m_web(0),
      m_logMax(0),
      m_renotify(0),
      m_holdingLines(true),
      m_history(*this) {
    m_serverAddress[0] = '\0';
    m_iniPath[0] = m_logPath[0] = m_listPath[0] = m_checkPath[0] = '\0';
    m_listFile[0] = m_logFile[0] = m_checkFile[0] = m_promFile[0] = '\0';
    memset(m_version, 0, sizeof m_version);
}

// Members go in reverse order: the results, the targets, the listening socket, the
// main window; then MApp closes the log and deletes its lock.
Kiv::~Kiv() {}

// A cut path would name another file: one that does not fit is not used (an empty path: no
// log, no host list, a history in memory only), and the log says so.
void Kiv::BuildFilePath(char* path, const char* key, const char* name) {
    if (!BuildPath(path, FILE_PATH_SIZE, moduleDir, name)) {
        path[0] = '\0';
        char line[200];
        snprintf(line, sizeof line,
                 "設定ファイル：%sのパスが長すぎるため使いません。(最大%uバイト)", key,
                 static_cast<unsigned>(FILE_PATH_SIZE - 1));
        LogOrHold(line);
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

int Kiv::LogOrHold(const std::string& message) {
    int result = Log("%s", message.c_str());
    if (result == LOG_NOT_OPEN && m_holdingLines) {
        m_heldLines.push_back(message);
    }
    return result;
}

void Kiv::LogHeldLines() {
    for (const std::string& line : m_heldLines) {
        Log("%s", line.c_str());
    }
    m_heldLines.clear();
    m_holdingLines = false;  // a log that is still not open (LOGMODE=0) is not waited for
}

// The history and the metrics file are replaced under their own names, so their leftovers
// lie beside those names, not beside what a link there points to.
void Kiv::RemoveStaleFiles() {
    std::vector<std::pair<std::string, MLinkRule>> targets = {
        {m_iniPath, M_LINK_FOLLOW_TRUSTED},
        {m_listPath, M_LINK_FOLLOW_TRUSTED},
        {m_checkPath, M_LINK_REPLACE_NAME},
    };
    if (m_promFile[0] != '\0') {
        targets.push_back({MetricsFilePath(moduleDir, m_promFile), M_LINK_REPLACE_NAME});
    }
    for (const auto& target : targets) {
        if (target.first.empty()) {
            continue;
        }
        for (const std::string& path : MRemoveStaleNewFiles(target.first.c_str(), target.second)) {
            Log("保存途中で残った一時ファイルを削除しました。(File=%s)", path.c_str());
        }
    }
}

int Kiv::Init() {
    InitializeLocks();

    BuildPath(m_iniPath, sizeof m_iniPath, moduleDir, "fsw.ini");
    LoadSettings();
    BuildFilePath(m_logPath, "LOGFILE", m_logFile);
    BuildFilePath(m_listPath, "LISTFILE", m_listFile);
    BuildFilePath(m_checkPath, "CHKFILE", m_checkFile);
    OpenLog(m_logPath, m_logMode);
    GetVersionNumbers(&m_version[0], &m_version[1], &m_version[2], &m_version[3]);
    LogVersionLine("起動");
    LogHeldLines();
    // Where the system keeps another ANSI code page (the manifest chooses 932 only from
    // Windows 11 and Server 2022 on), paths and texts outside it may fail: said once, in
    // both languages, in a box (the service's boxes go to the log and the event log).
    if (!MProgramCodePageActive()) {
        MMessageBox(NULL, CODE_PAGE_NOTICE, APP_TITLE, MB_ICONEXCLAMATION);
    }
    RemoveStaleFiles();
    LoadHostList();
    m_history.Open(m_checkPath, m_keepDays, static_cast<int64_t>(time(nullptr)));
    m_results.clear();

    int exitCode;
    if (m_frontEnd != nullptr) {
        // The front end logs why it does not run.
        exitCode = m_frontEnd->Open(instance, *this, StartOfFrontEnd())
                       ? MessageLoop(m_frontEnd->LoopWindow())
                       : 2;
    } else if (m_mainWin.Create(APP_TITLE, nullptr, instance, nullptr)) {
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

void Kiv::LogVersionLine(const char* word) {
    Log("%s", VersionLine(word).c_str());
}

std::string Kiv::VersionLine(const char* word) const {
    char line[128];
    snprintf(line, sizeof line, "%s Version %u.%u.%u (%u) %s", APP_TITLE, unsigned{m_version[0]},
             unsigned{m_version[1]}, unsigned{m_version[2]}, unsigned{m_version[3]}, word);
    return line;
}

FrontEndStart Kiv::StartOfFrontEnd() const {
    FrontEndStart start;
    start.iniPath = m_iniPath;
    start.logPath = m_logPath;
    start.logMode = m_logMode;
    start.logOpen = logFile.IsOpen();
    start.server = m_server;
    start.client = m_client;
    start.serverPort = m_serverPort;
    start.startLine = VersionLine("起動");
    start.endLine = VersionLine("終了");
    return start;
}

namespace {

class CurrentAppLog : public MLogSink {
public:
    explicit CurrentAppLog(bool held) : m_held(held) {}
    int WriteLine(const std::string& message) override {
        Kiv* app = theApp;
        if (app == nullptr) {
            return LOG_NOT_OPEN;
        }
        return m_held ? app->LogOrHold(message) : app->WriteLine(message);
    }

private:
    bool m_held;
};

}  // namespace

MLogSink& AppLog(bool held) {
    static CurrentAppLog now(false);
    static CurrentAppLog kept(true);
    return held ? kept : now;
}

Kiv* GetApp(HINSTANCE instance, char* commandLine, int showCommand) {
    static Kiv app(instance, commandLine, showCommand);
    theApp = &app;
    return &app;
}
