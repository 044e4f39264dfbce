// The Windows program's entry point: without arguments the tray program; the service
// commands install, remove or run fsw as a Windows service; --close-tray ends the tray
// copies for an installer.
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/service_win.h"
#include "app/tray_close_win.h"
#include "monitor/messages.h"

#include <shellapi.h>  // after windows.h, which the headers above bring

namespace {

// The arguments after the program's name, split as the system splits them (the wide
// command line, so that a Shift-JIS byte 0x5C is never taken for a backslash), in the
// ANSI code page.
std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == NULL) {
        return args;
    }
    for (int i = 1; i < count; i++) {
        int size = WideCharToMultiByte(CP_ACP, 0, wide[i], -1, NULL, 0, NULL, NULL);
        std::string arg(size > 1 ? size : 1, '\0');
        if (size > 1) {
            WideCharToMultiByte(CP_ACP, 0, wide[i], -1, &arg[0], size, NULL, NULL);
        }
        arg.resize(arg.size() - 1);
        args.push_back(arg);
    }
    LocalFree(wide);
    return args;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
    MLimitDllSearch();
    EntryCommand command = ParseEntryArguments(Arguments());
    switch (command.mode) {
        case ENTRY_TRAY: {
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
        case ENTRY_INVALID:
            break;
    }
    if (!command.quiet) {
        std::string text = command.problem + "\n\n" + SERVICE_USAGE;
        MMessageBox(NULL, text.c_str(), APP_TITLE, MB_ICONERROR);
    }
    return COMMAND_FAILED;
}
