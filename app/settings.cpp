// The settings file fsw.ini: one section [fsw] with the nine keys of the settings dialog
// and more that only the file sets (the server's safety, the history, the metrics).
#include <cstdio>
#include <string>
#include <vector>

#include "app/kiv.h"
#include "mlib/mprofile.h"
#include "net/server.h"

namespace {

const char SECTION[] = "fsw";

// A value read whole, never cut: a cut name or address could name another file or another
// address than the one written. False, with a log line (held until the log is open), when
// the value is longer than size - 1 bytes or could not be read whole.
bool LoadValue(Kiv* app, const char* key, const char* defaultValue, size_t size,
               std::string* value) {
    bool whole = MGetPrivateProfileText(SECTION, key, defaultValue, value, app->m_iniPath);
    if (whole && value->size() < size) {
        return true;
    }
    char line[200];
    if (whole) {
        snprintf(line, sizeof line, "設定ファイル：%sの値が長すぎるため使いません。(最大%uバイト)",
                 key, static_cast<unsigned>(size - 1));
    } else {
        snprintf(line, sizeof line, "設定ファイル：%sの値を読み切れないため使いません。", key);
    }
    app->LogOrHold(line);
    return false;
}

// A name setting: the value, or the default when it is missing or does not fit the field.
void LoadName(Kiv* app, const char* key, const char* defaultValue, char* field, size_t size) {
    std::string value;
    CopyField(field, size,
              LoadValue(app, key, defaultValue, size, &value) ? value.c_str() : defaultValue);
}

std::string Number(unsigned value) {
    char text[16];
    snprintf(text, sizeof text, "%u", value);
    return text;
}

// The log line for a settings file that is there but is not read, or null.
const char* UnreadMessage(MReadResult state) {
    switch (state) {
        case M_READ_NOT_REGULAR:
            return "設定ファイルが通常のファイルではありません。(File=%s)";
        case M_READ_TOO_LARGE:
            return "設定ファイルが大きすぎるため読み込みません。(File=%s)";
        case M_READ_OPEN_FAILED:
        case M_READ_FAILED:
            return "設定ファイルを読み込めません。(File=%s)";
        default:
            return nullptr;
    }
}

}  // namespace

// A file that is not read gives every key its default, as a missing one does, and a line
// in the log (held until the log is open, at start-up).
void Kiv::LoadSettings() {
    const char* unread = UnreadMessage(MIniCheckFile(m_iniPath));
    if (unread != nullptr) {
        char line[600];
        snprintf(line, sizeof line, unread, m_iniPath);
        LogOrHold(line);
    }
    m_server = MGetPrivateProfileInt(SECTION, "SERVER", 0, m_iniPath);
    m_serverPort = MGetPrivateProfileInt(SECTION, "SVPORT", DEFAULT_PORT, m_iniPath);
    m_client = MGetPrivateProfileInt(SECTION, "CLIENT", 0, m_iniPath);
    m_interval = MGetPrivateProfileInt(SECTION, "INTVAL", 10, m_iniPath);
    LoadName(this, "LISTFILE", "fsw.lst", m_listFile, sizeof m_listFile);
    LoadName(this, "LOGFILE", "fsw.log", m_logFile, sizeof m_logFile);
    LoadName(this, "CHKFILE", "lastchk.txt", m_checkFile, sizeof m_checkFile);
    m_notify = MGetPrivateProfileInt(SECTION, "NOTI", 1, m_iniPath);  // the balloon
    m_logMode = MGetPrivateProfileInt(SECTION, "LOGMODE", LOG_OVERWRITE, m_iniPath);
    // Not in the settings dialog, which leaves them as they are in the file.
    m_keepDays = MGetPrivateProfileInt(SECTION, "KEEPDAYS", 35, m_iniPath);
    m_forecastDays = MGetPrivateProfileInt(SECTION, "FORECAST", 7, m_iniPath);
    LoadName(this, "PROMFILE", "", m_promFile, sizeof m_promFile);
    LoadNotifyCommand();
    if (m_interval == 0) {
        m_interval = 1;
    }
    LoadServerSafety();
}

// The notification command, run as written: a line too long for the buffer is refused
// rather than run cut.
void Kiv::LoadNotifyCommand() {
    char command[4096];
    unsigned long length =
        MGetPrivateProfileString(SECTION, "NOTIFYCMD", "", command, sizeof command, m_iniPath);
    command[sizeof command - 1] = '\0';
    if (length >= sizeof command - 1) {
        LogOrHold("NOTIFYCMD が長すぎるため通知コマンドを使いません。");
        command[0] = '\0';
    }
    m_notifyCommand = command;
    m_renotify = MGetPrivateProfileInt(SECTION, "RENOTIFY", 1440, m_iniPath);
}

// The server's safety keys, kept by the settings dialog, which does not show them.
// SVADDR takes effect at the next start of the server; ALLOW, ALLOWUNC and LOGMAX at
// once, so a reload while the server listens logs the ALLOW list it now applies.
//
// Neither is ever cut: an SVADDR that does not fit is no address, so that the server does
// not listen on every address instead ("-" is one the server refuses with its own line); an
// ALLOW that cannot be read whole allows no one (a list with no entry).
void Kiv::LoadServerSafety() {
    std::string value;
    bool whole = LoadValue(this, "SVADDR", "", sizeof m_serverAddress, &value);
    CopyField(m_serverAddress, sizeof m_serverAddress, whole ? value.c_str() : "-");
    whole = LoadValue(this, "ALLOW", "", std::string::npos, &value);
    m_allow.Load(whole ? value : ",");
    m_allowUnc = MGetPrivateProfileInt(SECTION, "ALLOWUNC", 0, m_iniPath);
    m_logMax = MGetPrivateProfileInt(SECTION, "LOGMAX", 0, m_iniPath);
    SetLogLimit(uint64_t{m_logMax} << 20);
    if (m_serverListening) {
        LogAllowList(this);
    }
}

// All keys go in one write of the file, so that a kill never leaves keys of two versions;
// keys of the file that the program does not own are kept. A failure is logged, since the
// dialog's reload would otherwise drop the user's change silently.
void Kiv::SaveSettings() {
    std::vector<MIniValue> values = {
        {"SERVER", Number(m_server)},   {"SVPORT", Number(m_serverPort)},
        {"CLIENT", Number(m_client)},   {"INTVAL", Number(m_interval)},
        {"LISTFILE", m_listFile},       {"LOGFILE", m_logFile},
        {"CHKFILE", m_checkFile},       {"NOTI", Number(m_notify)},
        {"LOGMODE", Number(m_logMode)},
    };
    if (!MWritePrivateProfileStrings(SECTION, values, m_iniPath)) {
        Log("設定ファイルに書き込めませんでした。(File=%s)", m_iniPath);
    }
}
