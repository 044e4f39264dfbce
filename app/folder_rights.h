// Who may change the files the service runs from. The service's account can be turned
// against it by anyone who may plant a file beside its program (a DLL it loads) or in its
// folder (an fsw.ini with a notification command), so the install refuses folders that
// others may write. The decision is plain logic over an object's owner and access entries,
// read from the system by the Windows side (folder_rights_win.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Well-known accounts, as SID strings.
extern const char SID_ADMINISTRATORS[];
extern const char SID_SYSTEM[];
extern const char SID_USERS[];
extern const char SID_EVERYONE[];
extern const char SID_TRUSTED_INSTALLER[];

// Rights that let their holder plant or replace files (write, append, create, delete) or
// take the object over (change its permissions or owner), generic ones included.
const uint32_t PLANTING_RIGHTS = 0x0002 | 0x0004 | 0x0040 |  // write / add file, append /
                                                             // add folder, delete child
                                 0x00010000 |                // DELETE
                                 0x00040000 | 0x00080000 |   // WRITE_DAC, WRITE_OWNER
                                 0x10000000 | 0x40000000;    // GENERIC_ALL, GENERIC_WRITE
// The rights of the protected folder's entries.
const uint32_t RIGHTS_FULL = 0x001F01FF;          // FILE_ALL_ACCESS
const uint32_t RIGHTS_MODIFY = 0x001301BF;        // read, write, execute and delete
const uint32_t RIGHTS_READ_EXECUTE = 0x001200A9;  // read, list and traverse

// One access control entry as the decision needs it.
struct AccessEntry {
    bool allow;        // an allow entry; false: a deny entry
    bool appliesHere;  // not inherit-only: it applies to the object itself
    bool toNewFiles;   // object-inherit: files created in the folder get it
    std::string sid;
    uint32_t mask;
};

// An object's owner and its DACL. hasDacl false: a null DACL, which lets everyone in.
struct ObjectRights {
    std::string owner;
    bool hasDacl;
    std::vector<AccessEntry> entries;
};

// The accounts, other than the trusted ones, that may plant files in the object, take it
// over or (for a folder) write the files created in it later, each once, in the order
// found. Deny entries take away what they name from later allow entries of the same
// account, or of every account for Everyone. An owner that is not trusted may change the
// permissions unless an OWNER RIGHTS entry says otherwise. Entries for CREATOR OWNER and
// CREATOR GROUP only name who creates a file later, and are not counted.
std::vector<std::string> UntrustedWriters(const ObjectRights& rights,
                                          const std::vector<std::string>& trusted);

// The accounts that may write the service's folders: Administrators, SYSTEM,
// TrustedInstaller and the service itself. Not the account that installs: with UAC its
// programs that run without elevation hold it too. installingUser, when not empty, is
// trusted as well (unsafe: for tests under Wine, where every folder grants it full control).
std::vector<std::string> ServiceFolderTrustees(const std::string& serviceSid,
                                               const std::string& installingUser);

// The security descriptor (SDDL) of a data folder that the install creates, inherited by
// all within in place of the parent's: Administrators and SYSTEM full control, the service
// modify, Users read.
std::string ProtectedFolderSddl(const std::string& serviceSid);

// The icacls command that gives path the rights of ProtectedFolderSddl (without the
// service when serviceSid is empty, for the program's folder; without inheritance for a
// file) and takes them from the accounts named.
std::string IcaclsFixLine(const std::string& path, bool folder, const std::string& serviceSid,
                          const std::vector<std::string>& untrusted);

// The SID of a service from the SHA-1 digest of its name in capitals (UTF-16LE), as the
// system forms it: "S-1-5-80-" and the digest's five 32-bit words, little-endian.
std::string ServiceSidFromDigest(const uint8_t digest[20]);
