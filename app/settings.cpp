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

// A value with a NUL byte is read up to it, cut ("127.0.0.2<NUL>3" would allow
// 127.0.0.2): true, with a log line, for such a value, which is not to be used.
bool HoldsNul(Kiv* app, const char* key) {
    if (!MIniValueHasNul(SECTION, key, app->m_iniPath)) {
        return false;
    }
    char line[200];
    snprintf(line, sizeof line, "設定ファイル：%sの値にNUL文字があるため使いません。", key);
    app->LogOrHold(line);
    return true;
}

// A value read whole, never cut: a cut name or address could name another file or another
// address than the one written. False, with a log line (held until the log is open), when
// the value is longer than size - 1 bytes, holds a NUL byte or could not be read whole.
bool LoadValue(Kiv* app, const char* key, const char* defaultValue, size_t size,
               std::string* value) {
    if (HoldsNul(app, key)) {
        value->clear();
        return false;
    }
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

// A number setting: its value, or the default when it is missing, empty or not a number of
// 0 to 4294967295 (with a log line: a value the profile functions wrap, such as
// RENOTIFY=4295020716, or one without digits would otherwise be taken for another number).
// A value that is there but unusable gives badValue instead where one is given: SVPORT=-1
// must stop the server as SVPORT=70000 does, not make it listen on the default port.
uint32_t LoadNumber(Kiv* app, const char* key, uint32_t defaultValue,
                    const uint32_t* badValue = nullptr) {
    std::string value;
    uint32_t number = 0;
    if (!LoadValue(app, key, "", std::string::npos, &value)) {
        return badValue != nullptr ? *badValue : defaultValue;
    }
    if (value.empty()) {
        return defaultValue;
    }
    if (!MIniParseNumber(value.c_str(), &number)) {
        char line[200];
        if (badValue != nullptr) {
            snprintf(line, sizeof line,
                     "設定ファイル：%sの値が0から4294967295までの数ではありません。", key);
        } else {
            snprintf(
                line, sizeof line,
                "設定ファイル：%sの値が0から4294967295までの数ではないため、既定値%uを使います。",
                key, static_cast<unsigned>(defaultValue));
        }
        app->LogOrHold(line);
        return badValue != nullptr ? *badValue : defaultValue;
    }
    return number;
}

// The lines of a reader that takes a log, held until the log is open.
class HeldLog : public MLogSink {
public:
    explicit HeldLog(Kiv* app) : m_app(app) {}
    int WriteLine(const std::string& message) override { return m_app->LogOrHold(message); }

private:
    Kiv* m_app;
};

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
    m_server = LoadNumber(this, "SERVER", 0);
    const uint32_t noPort = 0;  // refused by the server, which says so
    m_serverPort = LoadNumber(this, "SVPORT", DEFAULT_PORT, &noPort);
    m_client = LoadNumber(this, "CLIENT", 0);
    m_interval = LoadNumber(this, "INTVAL", 10);
    LoadName(this, "LISTFILE", "fsw.lst", m_listFile, sizeof m_listFile);
    LoadName(this, "LOGFILE", "fsw.log", m_logFile, sizeof m_logFile);
    LoadName(this, "CHKFILE", "lastchk.txt", m_checkFile, sizeof m_checkFile);
    m_notify = LoadNumber(this, "NOTI", 1);  // the balloon
    m_logMode = LoadNumber(this, "LOGMODE", LOG_OVERWRITE);
    // Not in the settings dialog, which leaves them as they are in the file.
    m_keepDays = LoadNumber(this, "KEEPDAYS", 35);
    m_forecastDays = LoadNumber(this, "FORECAST", 7);
    LoadName(this, "PROMFILE", "", m_promFile, sizeof m_promFile);
    HeldLog held(this);
    m_growth = ReadGrowthSettings(m_iniPath, held);  // takes effect at the server's next start
    LoadNotifyCommand();
    if (m_interval == 0) {
        m_interval = 1;
    }
    LoadServerSafety();
}

// The notification command, run as written: a line longer than 4095 bytes is refused
// rather than run cut, and so is one with a NUL byte.
void Kiv::LoadNotifyCommand() {
    const size_t COMMAND_MAX = 4095;
    std::string command;
    if (HoldsNul(this, "NOTIFYCMD")) {
        command.clear();
    } else if (!MGetPrivateProfileText(SECTION, "NOTIFYCMD", "", &command, m_iniPath) ||
               command.size() > COMMAND_MAX) {
        LogOrHold("NOTIFYCMD が長すぎるため通知コマンドを使いません。");
        command.clear();
    }
    m_notifyCommand = command;
    m_renotify = LoadNumber(this, "RENOTIFY", 1440);
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
    m_allowUnc = LoadNumber(this, "ALLOWUNC", 0);
    m_logMax = LoadNumber(this, "LOGMAX", 0);
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
