// Windows only. The firewall's policy through its COM interface (INetFwPolicy2 and
// INetFwRule): the rules of the program's server, kept by the system's firewall.
#pragma once

#include "app/firewall.h"
#include "mlib/msys.h"

#include <netfw.h>  // after windows.h, which msys.h brings

class SystemFirewall : public FirewallPolicy {
public:
    // Initialises COM on this thread and opens the policy; a failure is answered by every
    // call.
    SystemFirewall();
    ~SystemFirewall() override;
    SystemFirewall(const SystemFirewall&) = delete;
    SystemFirewall& operator=(const SystemFirewall&) = delete;

    long AddRule(const FirewallRule& rule) override;
    long FindRule(const std::string& name) override;
    long RemoveRule(const std::string& name) override;

private:
    bool m_comStarted;
    HRESULT m_opened;  // why the rules cannot be had, or S_OK
    INetFwRules* m_rules;
};
