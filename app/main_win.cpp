// The Windows program's entry point: without arguments the tray program; the service
// commands install, remove or run fsw as a Windows service; --close-tray ends the tray
// copies for an installer; --scan takes one folder scan in the foreground.
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/growth_scans.h"
#include "app/service_win.h"
#include "app/tray_close_win.h"
#include "mlib/mapp.h"
#include "monitor/messages.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
    MLimitDllSearch();
    EntryCommand command = ParseEntryArguments(ArgumentsOf(GetCommandLineW()));
    switch (command.mode) {
        case ENTRY_TRAY: {
            std::string beside = ServiceBesideTrayText(command);
            if (!beside.empty()) {
                MMessageBox(NULL, beside.c_str(), APP_TITLE, MB_ICONINFORMATION);
                return COMMAND_NOTHING_TO_DO;
            }
            // Installed, the settings live in the data folder, not beside the program.
            if (!command.dir.empty()) {
                MSetModuleDirectory(command.dir.c_str());
            }
            SystemEntryServices services(instance, commandLine, showCommand);
            return RunEntry(services);
        }
        case ENTRY_INSTALL:
            return InstallService(command);
        case ENTRY_UNINSTALL:
            return UninstallService(command);
        case ENTRY_SERVICE:
            return RunAsService(command, instance);
        case ENTRY_CLOSE:
            return CloseTrayCopies(command);
        case ENTRY_SCAN: {
            std::string path = command.scanPath;
            char full[MAX_PATH];
            DWORD length = path.empty() ? 0 : GetFullPathNameA(path.c_str(), sizeof full, full, NULL);
            if (length > 0 && length < sizeof full) {
                path = full;
            }
            return RunForegroundScan(command.dir.empty() ? MModuleFolder(instance) : command.dir,
                                     path);
        }
        case ENTRY_INVALID:
            break;
    }
    if (!command.quiet) {
        std::string text = command.problem + "\n\n" + SERVICE_USAGE;
        MMessageBox(NULL, text.c_str(), APP_TITLE, MB_ICONERROR);
    }
    return COMMAND_FAILED;
}
