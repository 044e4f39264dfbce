// One-shot runs of the Linux edition, for cron jobs and monitoring engines: "fsw --once"
// runs one check cycle and prints it as the console does; "fsw check" is the monitoring
// plugin. Neither takes the single-instance lock, writes the log, fsw.ini or the host
// list, nor starts the server or the timer, so both run beside a running fsw.
#pragma once

#include <string>

// "ケルム Version 1.2.3 (4)" and a line feed: what --version and check --version print.
std::string VersionLine();

// Puts the program's files in dir (made absolute); false, with a line on standard error,
// when dir cannot be resolved.
bool UseProgramDirectory(const char* dir);

// Whether the arguments (argv[1] on) ask for a one-shot cycle: --once among them.
bool AsksForOnce(int argc, char** argv);
// "fsw [--dir DIR] --once": exit 2 if any target is 危険, else 1 if any is 注意 or 警告, else
// 3 if any could not be measured or there was none to check, else 0.
int RunOnceCommand(int argc, char** argv);
// "fsw scan [--dir DIR] [PATH]": args are those after "scan". One folder scan in the
// foreground, kept where the server keeps its scans (RunForegroundScan's exit code).
int RunScanCommand(int argc, char** argv);
// "fsw check ARGS": args are those after "check"; the plugin's exit code.
int RunCheckCommand(int argc, char** argv);
