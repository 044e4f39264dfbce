// The firewall rule of the program's server and the install's steps with it.
#include "app/firewall.h"

#include "mlib/mapp.h"

namespace {

const char RULE_NAME[] = "ケルム ディスク監視 (fsw)";
const char RULE_DESCRIPTION[] = "fsw.exe のディスク容量の問い合わせ (TCP) の受信を許可します。";

std::string ReasonOf(long result) {
    char text[256];
    GetErrorText(text, static_cast<unsigned long>(result), sizeof text);
    std::string reason = text;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
        reason.pop_back();
    }
    return reason;
}

}  // namespace

FirewallRule InboundRuleFor(const std::string& exePath) {
    return FirewallRule{RULE_NAME, RULE_DESCRIPTION, exePath, FIREWALL_TCP,
                        FIREWALL_DOMAIN | FIREWALL_PRIVATE};
}

std::string NetshAddRuleLine(const FirewallRule& rule) {
    return "netsh advfirewall firewall add rule name=\"" + rule.name +
           "\" dir=in action=allow program=\"" + rule.program +
           "\" protocol=TCP profile=domain,private enable=yes";
}

std::string NetshDeleteRuleLine(const FirewallRule& rule) {
    return "netsh advfirewall firewall delete rule name=\"" + rule.name + "\"";
}

std::string AllowProgramThroughFirewall(FirewallPolicy& policy, const std::string& exePath) {
    FirewallRule rule = InboundRuleFor(exePath);
    policy.RemoveRule(rule.name);  // none there is fine
    long result = policy.AddRule(rule);
    std::string reason;
    if (result != 0) {
        reason = ReasonOf(result);
    } else if (policy.FindRule(rule.name) != 0) {
        reason = "規則が保存されませんでした";
    } else {
        return "";
    }
    return "ファイアウォールに受信の規則を追加できませんでした (" + reason +
           ")。他のマシンから問い合わせるには、管理者のコマンドプロンプトで次を実行してください:"
           "\n" +
           NetshAddRuleLine(rule);
}

std::string RemoveProgramFromFirewall(FirewallPolicy& policy, const std::string& exePath) {
    FirewallRule rule = InboundRuleFor(exePath);
    long result = policy.RemoveRule(rule.name);
    if (result == 0 && policy.FindRule(rule.name) != 0) {
        return "";
    }
    return "ファイアウォールの受信の規則を削除できませんでした (" +
           (result != 0 ? ReasonOf(result) : std::string("規則が残っています")) +
           ")。次で削除できます:\n" + NetshDeleteRuleLine(rule);
}
