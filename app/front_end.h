// A front end that runs the roles in place of the main window: the Windows service, which
// shows nothing. Open starts the roles and answers whether the program runs; the message
// loop then runs for LoopWindow, and ends when that window ends.
#pragma once

#include <cstdint>
#include <string>

#include "mlib/mlog_sink.h"
#include "mlib/msys.h"

// What a front end is started with: the settings as the start read them and the log's state.
struct FrontEndStart {
    std::string iniPath;      // fsw.ini
    std::string logPath;      // the log file LOGFILE names
    uint32_t logMode = 0;     // LOGMODE
    bool logOpen = false;     // the log file is open
    uint32_t server = 0;      // SERVER
    uint32_t client = 0;      // CLIENT
    uint32_t serverPort = 0;  // SVPORT
    std::string startLine;    // the start line (起動) as the log has it
    std::string endLine;      // the end line (終了)
};

class FrontEnd {
public:
    virtual ~FrontEnd() {}
    // log: the application's, which outlives the front end's run.
    virtual bool Open(HINSTANCE instance, MLogSink& log, const FrontEndStart& start) = 0;
    virtual HWND LoopWindow() = 0;
};
