// The Windows program's command line: no argument runs the tray program; the service
// commands install, remove and run fsw as a Windows service. Plain logic, so that both
// editions' tests cover it.
#pragma once

#include <string>
#include <vector>

// What the command line asks for.
enum EntryMode {
    ENTRY_TRAY,       // no argument or --dir DIR: the tray program
    ENTRY_INSTALL,    // --install-service [--dir DIR]
    ENTRY_UNINSTALL,  // --uninstall-service
    ENTRY_SERVICE,    // --service [--dir DIR]: what the service manager runs
    ENTRY_CLOSE,      // --close-tray: the tray copies of this desktop are asked to end
    ENTRY_SCAN,       // --scan [--dir DIR] [PATH]: one folder scan in the foreground
    ENTRY_INVALID     // anything else; problem says what is wrong
};

struct EntryCommand {
    EntryMode mode;
    std::string dir;      // --dir, the folder of the settings; empty: the program's folder
    bool quiet;           // --quiet: no boxes, only the exit code
    bool protectDir;      // --protect-dir: an existing --dir is given the service's own rights
    std::string problem;  // with ENTRY_INVALID
    // --unsafe-trust-installing-user: the folder check trusts the installing account too,
    // whose programs without elevation share it. Only for tests under Wine, where every
    // folder grants that account full control.
    bool trustInstallingUser;
    std::string scanPath = "";  // --scan's folder; empty: those the server scans
};

// Exit codes of the service commands, for scripts and installers.
const int COMMAND_DONE = 0;
const int COMMAND_NOTHING_TO_DO = 1;  // already installed, not installed, none running
const int COMMAND_FAILED = 2;

// The arguments after the program's name.
EntryCommand ParseEntryArguments(const std::vector<std::string>& args);

// The usage text that an invalid command line shows.
extern const char SERVICE_USAGE[];

// The command line the service manager starts the service with:
// "EXE" --service --dir "DIR". Backslashes that end DIR are doubled, so that they do not
// escape the closing quote; a Shift-JIS character whose second byte is 0x5C is no
// backslash and stays as it is.
std::string ServiceCommandLine(const std::string& exePath, const std::string& dir);
