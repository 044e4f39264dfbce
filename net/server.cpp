// The disk server.
#include "app/kiv.h"

void Kiv::StopServer() {
    m_serverStop = true;
}
