// File and folder pickers and shell links, through comdlg32, shell32 and COM.
#include "mlib/mbase.h"

#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

MBase::~MBase() {}

namespace {

OPENFILENAMEA MakeFileDialog(HWND owner, char* path, int length, const char* title,
                             unsigned long flags) {
    OPENFILENAMEA ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.hInstance = NULL;
    ofn.lpstrFilter = "すべてのファイル(*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = static_cast<DWORD>(length);
    ofn.lpstrFileTitle = NULL;
    ofn.nMaxFileTitle = MAX_PATH;
    ofn.lpstrInitialDir = NULL;
    ofn.lpstrTitle = title;
    ofn.Flags = flags;
    return ofn;
}

}  // namespace

bool MBase::SelectOpenFile(HWND owner, char* path, int length, const char* title,
                           unsigned long flags) {
    OPENFILENAMEA ofn = MakeFileDialog(owner, path, length, title, flags);
    if (!GetOpenFileNameA(&ofn)) {
        return false;
    }
    path[length - 1] = '\0';
    return true;
}

bool MBase::SelectSaveFile(HWND owner, char* path, int length, const char* title,
                           unsigned long flags) {
    OPENFILENAMEA ofn = MakeFileDialog(owner, path, length, title, flags);
    if (!GetSaveFileNameA(&ofn)) {
        return false;
    }
    path[length - 1] = '\0';
    return true;
}

bool MBase::SelectFolder(HWND owner, char* out, int length, const char* title) {
    CoInitialize(NULL);
    char displayName[MAX_PATH] = "";
    BROWSEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.hwndOwner = owner;
    info.pidlRoot = NULL;
    info.pszDisplayName = displayName;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = NULL;
    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (item == NULL) {
        CoUninitialize();
        return false;
    }
    char path[MAX_PATH] = "";
    if (!SHGetPathFromIDListA(item, path)) {
        path[0] = '\0';
    }
    CoTaskMemFree(item);
    lstrcpynA(out, path, length);
    CoUninitialize();
    return true;
}

bool MBase::CreateShortcut(const char* linkPath, const char* targetPath, const char* workingDir,
                           const char* iconPath, int iconIndex, const char* arguments,
                           const char* description, int showCommand, uint16_t hotKey) {
    CoInitialize(NULL);
    IShellLinkA* link = NULL;
    IPersistFile* file = NULL;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkA, reinterpret_cast<void**>(&link)));
    ok = ok && SUCCEEDED(link->SetPath(targetPath));
    ok = ok && (workingDir == NULL || SUCCEEDED(link->SetWorkingDirectory(workingDir)));
    ok = ok && (iconPath == NULL || SUCCEEDED(link->SetIconLocation(iconPath, iconIndex)));
    ok = ok && (arguments == NULL || SUCCEEDED(link->SetArguments(arguments)));
    ok = ok && (description == NULL || SUCCEEDED(link->SetDescription(description)));
    ok = ok && SUCCEEDED(link->SetShowCmd(showCommand));
    ok = ok && SUCCEEDED(link->SetHotkey(hotKey));
    ok = ok && SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    if (ok) {
        WCHAR widePath[MAX_PATH + 1];
        ok = MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH + 1) != 0 &&
             SUCCEEDED(file->Save(widePath, TRUE));
    }
    if (file != NULL) {
        file->Release();
    }
    if (link != NULL) {
        link->Release();
    }
    CoUninitialize();
    return ok;
}
