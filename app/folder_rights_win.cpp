// Folder rights as the system keeps them.
#include "app/folder_rights_win.h"

#include <sddl.h>
#include <wincrypt.h>

#include <aclapi.h>

namespace {

std::string SidText(PSID sid) {
    char* text = NULL;
    if (sid == NULL || !ConvertSidToStringSidA(sid, &text)) {
        return "";
    }
    std::string result = text;
    LocalFree(text);
    return result;
}

}  // namespace

DWORD ReadObjectRights(const std::string& path, ObjectRights* rights) {
    PSID owner = NULL;
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    DWORD error = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &owner, NULL, &dacl, NULL, &descriptor);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    rights->owner = SidText(owner);
    rights->hasDacl = dacl != NULL;
    rights->entries.clear();
    for (DWORD i = 0; dacl != NULL && i < dacl->AceCount; i++) {
        ACE_HEADER* header = NULL;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
            continue;
        }
        // Allow and deny entries share their layout: header, mask, SID.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE &&
            header->AceType != ACCESS_DENIED_ACE_TYPE) {
            continue;
        }
        auto ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        AccessEntry entry;
        entry.allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
        entry.appliesHere = (header->AceFlags & INHERIT_ONLY_ACE) == 0;
        entry.toNewFiles = (header->AceFlags & OBJECT_INHERIT_ACE) != 0;
        entry.sid = SidText(reinterpret_cast<PSID>(&ace->SidStart));
        entry.mask = ace->Mask;
        rights->entries.push_back(entry);
    }
    LocalFree(descriptor);
    return ERROR_SUCCESS;
}

// The system's own name lookup first; where it does not know service SIDs, the digest it
// forms them from (SHA-1 of the name in capitals, UTF-16LE).
std::string ServiceSidOf(const std::string& serviceName) {
    std::string account = "NT SERVICE\\" + serviceName;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    char domain[256];
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use;
    if (LookupAccountNameA(NULL, account.c_str(), sid, &sidSize, domain, &domainSize, &use)) {
        std::string text = SidText(sid);
        if (text.rfind("S-1-5-80-", 0) == 0) {
            return text;
        }
    }
    std::wstring wide;
    for (char c : serviceName) {
        wide += static_cast<wchar_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    uint8_t digest[20];
    DWORD digestSize = sizeof digest;
    bool made = CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
                CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
                CryptHashData(hash, reinterpret_cast<const BYTE*>(wide.data()),
                              static_cast<DWORD>(wide.size() * sizeof(wchar_t)), 0) &&
                CryptGetHashParam(hash, HP_HASHVAL, digest, &digestSize, 0) && digestSize == 20;
    if (hash != 0) {
        CryptDestroyHash(hash);
    }
    if (provider != 0) {
        CryptReleaseContext(provider, 0);
    }
    return made ? ServiceSidFromDigest(digest) : "";
}

std::string CurrentUserSid() {
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return "";
    }
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    std::string sid;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        sid = SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    }
    CloseHandle(token);
    return sid;
}

DWORD CreateProtectedFolder(const std::string& path, const std::string& serviceSid) {
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.bInheritHandle = FALSE;
    attributes.lpSecurityDescriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            ProtectedFolderSddl(serviceSid).c_str(), SDDL_REVISION_1,
            &attributes.lpSecurityDescriptor, NULL)) {
        return GetLastError();
    }
    DWORD error = CreateDirectoryA(path.c_str(), &attributes) ? ERROR_SUCCESS : GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    return error;
}

DWORD ProtectFolder(const std::string& path, const std::string& serviceSid) {
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            ProtectedFolderSddl(serviceSid).c_str(), SDDL_REVISION_1, &descriptor, NULL)) {
        return GetLastError();
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = NULL;
    DWORD error = ERROR_SUCCESS;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        error = GetLastError();
    } else {
        // The name's copy of the path: SetNamedSecurityInfoA takes a writable string.
        std::string name = path;
        error =
            SetNamedSecurityInfoA(&name[0], SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  NULL, NULL, dacl, NULL);
    }
    LocalFree(descriptor);
    return error;
}
