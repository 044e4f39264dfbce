// Windows only. Folder rights as the system keeps them: read into the plain record the
// decision takes, and a data folder created with its own protected entries.
#pragma once

#include <string>

#include "app/folder_rights.h"
#include "mlib/msys.h"

// The owner and DACL of a file or folder; the system's error, or ERROR_SUCCESS.
DWORD ReadObjectRights(const std::string& path, ObjectRights* rights);
// The SID of the service of that name ("NT SERVICE\name"), as a string; empty on failure.
std::string ServiceSidOf(const std::string& serviceName);
// The account the program runs as, as a SID string; empty on failure.
std::string CurrentUserSid();
// Creates the folder with the entries of ProtectedFolderSddl; the system's error, or
// ERROR_SUCCESS.
DWORD CreateProtectedFolder(const std::string& path, const std::string& serviceSid);
// Gives an existing folder the entries of ProtectedFolderSddl in place of its own and its
// parent's; what lies within inherits them anew. The system's error, or ERROR_SUCCESS.
DWORD ProtectFolder(const std::string& path, const std::string& serviceSid);
