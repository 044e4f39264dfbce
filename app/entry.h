// The entry point's logic: one copy per logon, the network layer brought up and down
// around the application, and failures of those steps turned into boxes and exit code 2.
#pragma once

#include <string>

#include "mlib/msys.h"

// What the entry point needs from the system; tests replace it.
class EntryServices {
public:
    virtual ~EntryServices() {}
    // Whether another copy runs; for M_INSTANCE_UNCHECKED, *problem says why it is unknown.
    virtual MInstanceResult CreateInstanceMarker(const char* name, std::string* problem) = 0;
    virtual void CloseInstanceMarker() = 0;
    virtual int StartupNetwork() = 0;  // 0 on success
    virtual int CleanupNetwork() = 0;  // -1 on failure
    virtual int RunApplication() = 0;  // the application object's Run
};

class FrontEnd;

// The services of the real system: the named marker, the network layer and the
// application object made by GetApp, run with frontEnd in place of the main window when
// one is given (the service's).
class SystemEntryServices : public EntryServices {
public:
    SystemEntryServices(HINSTANCE instance, char* commandLine, int showCommand,
                        FrontEnd* frontEnd = nullptr);
    // The marker of the user's logon, then that of the data folder.
    MInstanceResult CreateInstanceMarker(const char* name, std::string* problem) override;
    void CloseInstanceMarker() override;
    int StartupNetwork() override;
    int CleanupNetwork() override;
    int RunApplication() override;

protected:
    // The data folder's marker alone; for M_INSTANCE_FOLDER_IN_USE, *problem is the folder.
    MInstanceResult CreateFolderMarker(std::string* problem);

private:
    MSingleInstance m_marker;
    MSingleInstance m_folderMarker;
    HINSTANCE m_instance;
    char* m_commandLine;
    int m_showCommand;
    FrontEnd* m_frontEnd;
};

// The name that marks the running copy.
extern const char INSTANCE_MARKER_NAME[];

// Runs the program under the single-instance marker markerName; returns the process exit
// code. The service takes only the data folder's marker, not the logon's: the service
// manager runs one copy of it, but a tray copy may be started on its folder
// (app/service_win.cpp).
int RunEntry(EntryServices& services, const char* markerName = INSTANCE_MARKER_NAME);
