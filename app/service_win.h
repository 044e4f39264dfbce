// Windows only. fsw as a Windows service: installing and removing it with its event
// source, and the run under the service manager (the dispatcher, the control handler,
// the event log and the boxes that go to the logs instead).
#pragma once

#include <string>
#include <vector>

#include "app/service_command.h"
#include "mlib/msys.h"

// The service's name, display name and the event source's registry key.
extern const char SERVICE_NAME[];
extern const char SERVICE_DISPLAY_NAME[];
extern const char EVENT_SOURCE_KEY[];

// --install-service [--dir DIR]: COMMAND_DONE, COMMAND_NOTHING_TO_DO (already installed)
// or COMMAND_FAILED, each with a box unless command.quiet.
int InstallService(const EntryCommand& command);
// --uninstall-service: stops a running service first, then removes it and its source.
int UninstallService(const EntryCommand& command);
// --service [--dir DIR]: runs under the service manager until it stops the service;
// started any other way, it says so and answers COMMAND_FAILED.
int RunAsService(const EntryCommand& command, HINSTANCE instance);

// The arguments after the program's name in a command line, split as the system splits
// them (wide, so that a Shift-JIS byte 0x5C is never taken for a backslash), in the ANSI
// code page.
std::vector<std::string> ArgumentsOf(const wchar_t* commandLine);

// A tray copy on the folder the running service uses could write none of its files (the
// service's folder lets users read only) and would mix its own with the service's: the
// text that says so, where its files are and what to do instead; empty when the tray copy
// may run.
std::string ServiceBesideTrayText(const EntryCommand& command);
