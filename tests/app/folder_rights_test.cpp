// Which folders the service may run from, and the firewall rule its install adds: the
// decisions over plain records, on every build.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/firewall.h"
#include "app/folder_rights.h"

namespace {

const char ADMINS[] = "S-1-5-32-544";
const char AUTH_USERS[] = "S-1-5-11";
const char USER[] = "S-1-5-21-1-2-3-1001";
const char SERVICE[] = "S-1-5-80-1-2-3-4-5";
const uint32_t WRITE_DATA = 0x0002;

AccessEntry Allow(const char* sid, uint32_t mask, bool here = true, bool files = true) {
    return AccessEntry{true, here, files, sid, mask};
}
AccessEntry Deny(const char* sid, uint32_t mask) {
    return AccessEntry{false, true, true, sid, mask};
}

TEST(UntrustedWriters, OnlyTrustedAccountsMayPlantFilesOrTakeTheFolderOver) {
    struct Case {
        const char* what;
        ObjectRights rights;
        std::vector<std::string> writers;
    };
    const std::vector<Case> cases = {
        {"read only for users",
         {ADMINS, true, {Allow(ADMINS, RIGHTS_FULL), Allow(SID_USERS, RIGHTS_READ_EXECUTE)}},
         {}},
        {"a folder made under C:\\",
         {ADMINS, true, {Allow(AUTH_USERS, RIGHTS_MODIFY, false, true)}},
         {AUTH_USERS}},
        {"create files only",
         {ADMINS, true, {Allow(SID_USERS, WRITE_DATA, true, false)}},
         {SID_USERS}},
        {"generic write, inherit only",
         {ADMINS, true, {Allow(SID_EVERYONE, 0x40000000, false, true)}},
         {SID_EVERYONE}},
        {"subfolders only", {ADMINS, true, {Allow(SID_USERS, RIGHTS_MODIFY, false, false)}}, {}},
        {"creator owner", {ADMINS, true, {Allow("S-1-3-0", RIGHTS_FULL, false, true)}}, {}},
        {"the service may modify", {ADMINS, true, {Allow(SERVICE, RIGHTS_MODIFY)}}, {}},
        {"a user may change permissions", {ADMINS, true, {Allow(USER, 0x00040000)}}, {USER}},
        {"denied first",
         {ADMINS, true, {Deny(USER, PLANTING_RIGHTS), Allow(USER, RIGHTS_MODIFY)}},
         {}},
        {"denied to everyone",
         {ADMINS, true, {Deny(SID_EVERYONE, PLANTING_RIGHTS), Allow(USER, RIGHTS_MODIFY)}},
         {}},
        {"another's deny",
         {ADMINS, true, {Deny(SID_USERS, PLANTING_RIGHTS), Allow(USER, RIGHTS_MODIFY)}},
         {USER}},
        {"owned by a user", {USER, true, {Allow(ADMINS, RIGHTS_FULL)}}, {USER}},
        {"owner rights restrict", {USER, true, {Allow("S-1-3-4", RIGHTS_READ_EXECUTE)}}, {}},
        {"null DACL", {ADMINS, false, {}}, {SID_EVERYONE}},
        {"each once", {ADMINS, true, {Allow(USER, WRITE_DATA), Allow(USER, 0x00010000)}}, {USER}},
        // The installing user's own folder, whose programs without elevation share the account.
        {"O:USER D:(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;FA;;;USER) (Downloads)",
         {USER,
          true,
          {Allow(SID_SYSTEM, RIGHTS_FULL), Allow(ADMINS, RIGHTS_FULL), Allow(USER, RIGHTS_FULL)}},
         {USER}},
        {"O:BA D:(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;USER)",
         {ADMINS, true, {Allow(ADMINS, RIGHTS_FULL), Allow(USER, RIGHTS_MODIFY)}},
         {USER}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.writers, UntrustedWriters(c.rights, ServiceFolderTrustees(SERVICE, "")))
            << c.what;
    }
}

TEST(FolderRights, TheProtectedFolderTheFixAndTheServiceSid) {
    EXPECT_EQ("D:P(A;OICI;FA;;;S-1-5-32-544)(A;OICI;FA;;;S-1-5-18)(A;OICI;0x1301bf;;;" +
                  std::string(SERVICE) + ")(A;OICI;0x1200a9;;;S-1-5-32-545)",
              ProtectedFolderSddl(SERVICE));
    std::string fix = IcaclsFixLine("C:\\fsw data", true, SERVICE, {AUTH_USERS, SID_USERS});
    EXPECT_NE(std::string::npos, fix.find("icacls \"C:\\fsw data\" /setowner *S-1-5-32-544"));
    EXPECT_NE(std::string::npos,
              fix.find("*S-1-5-32-545:(OI)(CI)RX *" + std::string(SERVICE) + ":(OI)(CI)M && "));
    EXPECT_NE(std::string::npos,
              fix.find("/inheritance:r && icacls \"C:\\fsw data\" /remove *S-1-5-11"));
    EXPECT_EQ(std::string::npos, fix.find("/remove *S-1-5-11 *S-1-5-32-545")) << "Users keep read";
    // The words of the digest are little-endian: 0x04030201 and so on.
    uint8_t digest[20];
    for (int i = 0; i < 20; i++) {
        digest[i] = static_cast<uint8_t>(i + 1);
    }
    EXPECT_EQ("S-1-5-80-67305985-134678021-202050057-269422093-336794129",
              ServiceSidFromDigest(digest));
}

// The firewall as the install sees it: what it was given, and whether it keeps it.
class RecordingFirewall : public FirewallPolicy {
public:
    long AddRule(const FirewallRule& rule) override {
        added.push_back(rule);
        kept = keeps && addResult == 0;
        return addResult;
    }
    long FindRule(const std::string&) override { return kept ? 0 : 0x80070002L; }
    long RemoveRule(const std::string&) override {
        kept = false;
        return 0;
    }
    std::vector<FirewallRule> added;
    long addResult = 0;
    bool keeps = true;
    bool kept = false;
};

TEST(Firewall, TheRuleLetsTcpInFromDomainAndPrivateAndAFailureGivesTheNetshLine) {
    RecordingFirewall firewall;
    EXPECT_EQ("", AllowProgramThroughFirewall(firewall, "C:\\Program Files\\fsw\\fsw.exe"));
    ASSERT_EQ(1u, firewall.added.size());
    EXPECT_EQ("C:\\Program Files\\fsw\\fsw.exe", firewall.added[0].program);
    EXPECT_EQ(FIREWALL_TCP, firewall.added[0].protocol);
    EXPECT_EQ(FIREWALL_DOMAIN | FIREWALL_PRIVATE, firewall.added[0].profiles);
    EXPECT_EQ("", RemoveProgramFromFirewall(firewall, "C:\\x\\fsw.exe"));

    const std::string netsh = "netsh advfirewall firewall add rule name=\"" +
                              firewall.added[0].name +
                              "\" dir=in action=allow program=\"C:\\x\\fsw.exe\" protocol=TCP "
                              "profile=domain,private enable=yes";
    firewall.keeps = false;  // Wine: the call succeeds, nothing is kept
    EXPECT_NE(std::string::npos,
              AllowProgramThroughFirewall(firewall, "C:\\x\\fsw.exe").find(netsh));
    firewall.addResult = 0x800706D9L;  // the firewall service is not running
    EXPECT_NE(std::string::npos,
              AllowProgramThroughFirewall(firewall, "C:\\x\\fsw.exe").find(netsh));
}

}  // namespace
