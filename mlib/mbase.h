// Root of the in-house class library, with the general services every object offers:
// file and folder pickers and shortcut creation (Windows only; elsewhere they answer false).
#pragma once

#include <cstdint>

#include "mlib/msys.h"

class MBase {
public:
    virtual ~MBase();
    virtual bool SelectOpenFile(HWND owner, char* path, int length, const char* title,
                                unsigned long flags);
    virtual bool SelectSaveFile(HWND owner, char* path, int length, const char* title,
                                unsigned long flags);
    virtual bool SelectFolder(HWND owner, char* out, int length, const char* title);
    virtual bool CreateShortcut(const char* linkPath, const char* targetPath,
                                const char* workingDir, const char* iconPath, int iconIndex,
                                const char* arguments, const char* description, int showCommand,
                                uint16_t hotKey);
};
