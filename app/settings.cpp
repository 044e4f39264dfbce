// The settings file.
#include <cstring>

#include "app/kiv.h"

void Kiv::LoadSettings() {
    m_server = 0;
    m_serverPort = DEFAULT_PORT;
    m_client = 0;
    m_interval = 10;
    strcpy(m_listFile, "fsw.lst");
    strcpy(m_logFile, "fsw.log");
    strcpy(m_checkFile, "lastchk.txt");
    m_notify = 1;
    m_logMode = 1;
}

void Kiv::SaveSettings() {}
