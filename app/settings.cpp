// The settings file fsw.ini: one section [fsw] with the nine keys of the dialog and the
// server's safety keys.
#include <cstdio>

#include "app/kiv.h"
#include "mlib/mprofile.h"
#include "net/server.h"

namespace {

const char SECTION[] = "fsw";

// A name setting: the value or the default, cut to the 261-byte field.
void LoadName(const char* key, const char* defaultValue, char* field, size_t size,
              const char* path) {
    char buffer[1024];
    MGetPrivateProfileString(SECTION, key, defaultValue, buffer, sizeof buffer, path);
    buffer[sizeof buffer - 1] = '\0';
    CopyField(field, size, buffer);
}

bool SaveNumber(const char* key, unsigned value, const char* path) {
    char text[16];
    snprintf(text, sizeof text, "%u", value);
    return MWritePrivateProfileString(SECTION, key, text, path);
}

}  // namespace

void Kiv::LoadSettings() {
    m_server = MGetPrivateProfileInt(SECTION, "SERVER", 0, m_iniPath);
    m_serverPort = MGetPrivateProfileInt(SECTION, "SVPORT", DEFAULT_PORT, m_iniPath);
    m_client = MGetPrivateProfileInt(SECTION, "CLIENT", 0, m_iniPath);
    m_interval = MGetPrivateProfileInt(SECTION, "INTVAL", 10, m_iniPath);
    LoadName("LISTFILE", "fsw.lst", m_listFile, sizeof m_listFile, m_iniPath);
    LoadName("LOGFILE", "fsw.log", m_logFile, sizeof m_logFile, m_iniPath);
    LoadName("CHKFILE", "lastchk.txt", m_checkFile, sizeof m_checkFile, m_iniPath);
    m_notify = MGetPrivateProfileInt(SECTION, "NOTI", 1, m_iniPath);  // the balloon
    m_logMode = MGetPrivateProfileInt(SECTION, "LOGMODE", LOG_OVERWRITE, m_iniPath);
    if (m_interval == 0) {
        m_interval = 1;
    }
    LoadServerSafety();
}

// The server's safety keys, kept by the settings dialog, which does not show them.
// SVADDR takes effect at the next start of the server; ALLOW, ALLOWUNC and LOGMAX at
// once, so a reload while the server listens logs the ALLOW list it now applies.
void Kiv::LoadServerSafety() {
    LoadName("SVADDR", "", m_serverAddress, sizeof m_serverAddress, m_iniPath);
    char allow[4096];
    MGetPrivateProfileString(SECTION, "ALLOW", "", allow, sizeof allow, m_iniPath);
    allow[sizeof allow - 1] = '\0';
    m_allow.Load(allow);
    m_allowUnc = MGetPrivateProfileInt(SECTION, "ALLOWUNC", 0, m_iniPath);
    m_logMax = MGetPrivateProfileInt(SECTION, "LOGMAX", 0, m_iniPath);
    SetLogLimit(uint64_t{m_logMax} << 20);
    if (m_serverListening) {
        LogAllowList(this);
    }
}

// Every key is written even when one fails, so that as much as possible is kept; a failure
// is logged, since the dialog's reload would otherwise drop the user's change silently.
void Kiv::SaveSettings() {
    bool saved = true;
    saved &= SaveNumber("SERVER", m_server, m_iniPath);
    saved &= SaveNumber("SVPORT", m_serverPort, m_iniPath);
    saved &= SaveNumber("CLIENT", m_client, m_iniPath);
    saved &= SaveNumber("INTVAL", m_interval, m_iniPath);
    saved &= MWritePrivateProfileString(SECTION, "LISTFILE", m_listFile, m_iniPath);
    saved &= MWritePrivateProfileString(SECTION, "LOGFILE", m_logFile, m_iniPath);
    saved &= MWritePrivateProfileString(SECTION, "CHKFILE", m_checkFile, m_iniPath);
    saved &= SaveNumber("NOTI", m_notify, m_iniPath);
    saved &= SaveNumber("LOGMODE", m_logMode, m_iniPath);
    if (!saved) {
        Log("設定ファイルに書き込めませんでした。(File=%s)", m_iniPath);
    }
}
