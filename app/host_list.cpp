// The host list file.
#include "app/kiv.h"

void Kiv::LoadHostList() {
    MLockGuard hold(m_hostLock);
    m_hosts.clear();
}

void Kiv::SaveHostList() {}
