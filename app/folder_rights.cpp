// Who may change the files the service runs from.
#include "app/folder_rights.h"

#include <algorithm>
#include <map>

const char SID_ADMINISTRATORS[] = "S-1-5-32-544";
const char SID_SYSTEM[] = "S-1-5-18";
const char SID_USERS[] = "S-1-5-32-545";
const char SID_EVERYONE[] = "S-1-1-0";
const char SID_TRUSTED_INSTALLER[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

namespace {

const char SID_CREATOR_OWNER[] = "S-1-3-0";
const char SID_CREATOR_GROUP[] = "S-1-3-1";
const char SID_OWNER_RIGHTS[] = "S-1-3-4";
// What an owner may do without any entry: read and change the permissions.
const uint32_t OWNER_IMPLICIT_RIGHTS = 0x00040000 | 0x00020000;

bool Has(const std::vector<std::string>& list, const std::string& sid) {
    return std::find(list.begin(), list.end(), sid) != list.end();
}

void AddOnce(std::vector<std::string>* list, const std::string& sid) {
    if (!Has(*list, sid)) {
        list->push_back(sid);
    }
}

}  // namespace

std::vector<std::string> UntrustedWriters(const ObjectRights& rights,
                                          const std::vector<std::string>& trusted) {
    std::vector<std::string> writers;
    if (!rights.hasDacl) {
        writers.push_back(SID_EVERYONE);
        return writers;
    }
    std::map<std::string, uint32_t> denied;
    uint32_t deniedToAll = 0;
    bool ownerRightsSet = false;
    for (const AccessEntry& entry : rights.entries) {
        if (entry.sid == SID_OWNER_RIGHTS && (entry.appliesHere || !entry.allow)) {
            ownerRightsSet = true;
        }
        if (entry.sid == SID_CREATOR_OWNER || entry.sid == SID_CREATOR_GROUP) {
            continue;
        }
        if (!entry.allow) {
            if (entry.appliesHere) {
                (entry.sid == SID_EVERYONE ? deniedToAll : denied[entry.sid]) |= entry.mask;
            }
            continue;
        }
        if (!entry.appliesHere && !entry.toNewFiles) {
            continue;  // only for subfolders, which the service does not use
        }
        uint32_t left = entry.mask & PLANTING_RIGHTS & ~deniedToAll;
        auto found = denied.find(entry.sid);
        if (found != denied.end() && entry.appliesHere) {
            left &= ~found->second;
        }
        if (left != 0 && !Has(trusted, entry.sid)) {
            AddOnce(&writers, entry.sid);
        }
    }
    if (!rights.owner.empty() && !ownerRightsSet && !Has(trusted, rights.owner) &&
        (OWNER_IMPLICIT_RIGHTS & ~deniedToAll & ~denied[rights.owner] & 0x00040000) != 0) {
        AddOnce(&writers, rights.owner);
    }
    return writers;
}

std::vector<std::string> ServiceFolderTrustees(const std::string& serviceSid,
                                               const std::string& installingUser) {
    std::vector<std::string> trusted = {SID_ADMINISTRATORS, SID_SYSTEM, SID_TRUSTED_INSTALLER,
                                        serviceSid};
    if (!installingUser.empty()) {
        trusted.push_back(installingUser);
    }
    return trusted;
}

std::string ProtectedFolderSddl(const std::string& serviceSid) {
    // P: the parent's entries are not inherited; OICI: files and folders within get them.
    std::string sddl =
        std::string("D:P(A;OICI;FA;;;") + SID_ADMINISTRATORS + ")(A;OICI;FA;;;" + SID_SYSTEM + ")";
    if (!serviceSid.empty()) {
        sddl += "(A;OICI;0x1301bf;;;" + serviceSid + ")";
    }
    return sddl + "(A;OICI;0x1200a9;;;" + SID_USERS + ")";
}

std::string IcaclsFixLine(const std::string& path, bool folder, const std::string& serviceSid,
                          const std::vector<std::string>& untrusted) {
    // One step per command, owner first, so that no step leaves the administrator locked out.
    std::string icacls = "icacls \"" + path + "\" ";
    std::string inherit = folder ? "(OI)(CI)" : "";
    std::string line = icacls + "/setowner *" + SID_ADMINISTRATORS + " && " + icacls +
                       "/grant:r *" + SID_ADMINISTRATORS + ":" + inherit + "F *" + SID_SYSTEM +
                       ":" + inherit + "F *" + SID_USERS + ":" + inherit + "RX";
    if (!serviceSid.empty()) {
        line += " *" + serviceSid + ":" + inherit + "M";
    }
    line += " && " + icacls + "/inheritance:r";
    std::string removed;
    for (const std::string& sid : untrusted) {
        if (sid != SID_USERS) {
            removed += " *" + sid;
        }
    }
    return removed.empty() ? line : line + " && " + icacls + "/remove" + removed;
}

std::string ServiceSidFromDigest(const uint8_t digest[20]) {
    std::string sid = "S-1-5-80";
    for (int word = 0; word < 5; word++) {
        const uint8_t* b = digest + word * 4;
        uint32_t value =
            uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
        sid += "-" + std::to_string(value);
    }
    return sid;
}
