// The inbound firewall rule that lets the network reach the program's server: what the rule
// is, the netsh line that adds it by hand, and the install's step behind a small interface,
// so that tests check the rule without a firewall that keeps it (Wine keeps none).
#pragma once

#include <string>

// Profiles of the Windows firewall (NET_FW_PROFILE2_*).
const long FIREWALL_DOMAIN = 1;
const long FIREWALL_PRIVATE = 2;
const long FIREWALL_PUBLIC = 4;
const long FIREWALL_TCP = 6;

// One rule as the firewall's rule object holds it: inbound, allowing, enabled.
struct FirewallRule {
    std::string name;
    std::string description;
    std::string program;  // the full path of the program the rule lets in
    long protocol;
    long profiles;
};

// The rule that lets TCP in to the program at exePath from the Domain and Private networks,
// not from Public ones (a café's network has no business with the file server's disks).
FirewallRule InboundRuleFor(const std::string& exePath);

// The netsh command that adds the rule by hand, and the one that deletes it.
std::string NetshAddRuleLine(const FirewallRule& rule);
std::string NetshDeleteRuleLine(const FirewallRule& rule);

// The firewall's policy as the install uses it; the Windows side speaks to the firewall's
// COM interface (INetFwPolicy2), tests record what they are given.
class FirewallPolicy {
public:
    virtual ~FirewallPolicy() {}
    // Each answers an HRESULT: 0 (S_OK) or a failure.
    virtual long AddRule(const FirewallRule& rule) = 0;
    // S_OK only when a rule of that name is kept now.
    virtual long FindRule(const std::string& name) = 0;
    virtual long RemoveRule(const std::string& name) = 0;
};

// Adds the rule for exePath (an earlier rule of the same name goes first, so that a
// reinstall from another folder does not keep the old path) and checks that the firewall
// keeps it. Empty when it does; otherwise the text that says so, with the netsh line.
std::string AllowProgramThroughFirewall(FirewallPolicy& policy, const std::string& exePath);
// Removes the rule; empty when it is gone, otherwise the text with the netsh line.
std::string RemoveProgramFromFirewall(FirewallPolicy& policy, const std::string& exePath);
