// The firewall's COM interface. MinGW's uuid library lacks the firewall's class and
// interface identifiers: initguid.h makes netfw.h define them here.
#include <initguid.h>

#include "app/firewall_win.h"

#include "mlib/mcodepage.h"

namespace {

// A BSTR, freed at the end of the scope. The rule's name and description are the program's
// own Shift-JIS text, converted as such whatever the system's code page; the program's
// path comes from the system's ANSI calls, in its code page.
struct Bstr {
    explicit Bstr(const std::string& text) : value(NULL) {
        std::wstring wide = MAnsiToWide(text.data(), text.size());
        value = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
    Bstr(const std::string& path, UINT codePage) : value(NULL) {
        int length = MultiByteToWideChar(codePage, 0, path.c_str(), -1, NULL, 0);
        if (length > 0) {
            value = SysAllocStringLen(NULL, static_cast<UINT>(length - 1));
            if (value != NULL) {
                MultiByteToWideChar(codePage, 0, path.c_str(), -1, value, length);
            }
        }
    }
    ~Bstr() { SysFreeString(value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR value;
};

}  // namespace

SystemFirewall::SystemFirewall() : m_comStarted(false), m_opened(E_FAIL), m_rules(NULL) {
    HRESULT started = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    m_comStarted = SUCCEEDED(started);
    INetFwPolicy2* policy = NULL;
    m_opened = CoCreateInstance(CLSID_NetFwPolicy2, NULL, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2,
                                reinterpret_cast<void**>(&policy));
    if (SUCCEEDED(m_opened)) {
        m_opened = policy->get_Rules(&m_rules);
        policy->Release();
    }
}

SystemFirewall::~SystemFirewall() {
    if (m_rules != NULL) {
        m_rules->Release();
    }
    if (m_comStarted) {
        CoUninitialize();
    }
}

long SystemFirewall::AddRule(const FirewallRule& rule) {
    if (m_rules == NULL) {
        return m_opened;
    }
    INetFwRule* made = NULL;
    HRESULT result = CoCreateInstance(CLSID_NetFwRule, NULL, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                                      reinterpret_cast<void**>(&made));
    if (FAILED(result)) {
        return result;
    }
    Bstr name(rule.name);
    Bstr description(rule.description);
    Bstr program(rule.program, CP_ACP);
    Bstr grouping("fsw");
    // Each property in turn; the first that is refused is the answer.
    HRESULT steps[] = {
        made->put_Name(name.value),
        made->put_Description(description.value),
        made->put_ApplicationName(program.value),
        made->put_Protocol(rule.protocol),
        made->put_Direction(NET_FW_RULE_DIR_IN),
        made->put_Action(NET_FW_ACTION_ALLOW),
        made->put_Profiles(rule.profiles),
        made->put_Grouping(grouping.value),
        made->put_Enabled(VARIANT_TRUE),
    };
    for (HRESULT step : steps) {
        if (FAILED(step)) {
            made->Release();
            return step;
        }
    }
    result = m_rules->Add(made);
    made->Release();
    return result;
}

long SystemFirewall::FindRule(const std::string& name) {
    if (m_rules == NULL) {
        return m_opened;
    }
    Bstr wanted(name);
    INetFwRule* found = NULL;
    HRESULT result = m_rules->Item(wanted.value, &found);
    if (SUCCEEDED(result) && found != NULL) {
        found->Release();
        return S_OK;
    }
    return FAILED(result) ? result : E_FAIL;
}

long SystemFirewall::RemoveRule(const std::string& name) {
    if (m_rules == NULL) {
        return m_opened;
    }
    Bstr wanted(name);
    return m_rules->Remove(wanted.value);
}
