// The application base class: the log file, the program's version numbers, the
// exception reporting around the application's body and the message loop.
#pragma once

#include <cstdint>

#include "mlib/mbase.h"
#include "mlib/msys.h"

// Log modes, as stored in the settings.
enum LogMode : unsigned {
    LOG_NONE = 0,       // no log file at all
    LOG_OVERWRITE = 1,  // the file is created, or emptied if it exists
    LOG_APPEND = 2      // the file is opened or created, and lines go at its end
};

// Results of MApp::Log.
enum LogResult : int {
    LOG_WRITTEN = 0,  // the whole line was written
    LOG_CUT = 1,      // the message was cut to 4095 bytes and the notice added
    LOG_FAILED = 2,   // at least one write of the line failed
    LOG_NOT_OPEN = 3  // no log file is open; nothing was written
};

const int LOG_MESSAGE_MAX = 4095;  // bytes of a message kept in one line

class MApp : public MBase {
public:
    MApp(HINSTANCE instance, char* commandLine, int showCommand);
    ~MApp() override;
    MApp(const MApp&) = delete;
    MApp& operator=(const MApp&) = delete;

    virtual int Init() = 0;  // the application's whole life; returns the exit code
    virtual int Run();       // Init inside the exception reporting
    virtual bool OpenLog(const char* path, unsigned mode);
    virtual void CloseLog();
    // One time-stamped line "time TAB module TAB message CR LF"; a LogResult.
    virtual int Log(const char* format, ...);
    virtual void GetVersionNumbers(uint16_t* first, uint16_t* second, uint16_t* third,
                                   uint16_t* fourth);
    virtual int MessageLoop(HWND window);
    // Size after which the log moves to a new file: the line that would pass it goes
    // into a new, empty file, after a first line that says so; the earlier content is
    // kept as the log's name with ".1" (one earlier file only; when it cannot be moved
    // the log starts over). 0: no limit.
    void SetLogLimit(uint64_t bytes);

    MCriticalSection logLock;  // guards logFile, the log line buffer and the two below
    MFile logFile;
    uint64_t logLimit;  // bytes; 0: no limit
    uint64_t logSize;   // bytes in the open log file
    char logFilePath[261];
    HINSTANCE instance;
    char* commandLine;  // kept, not parsed
    int showCommand;
    char moduleDir[261];   // folder of the program's file, without the trailing separator
    char moduleName[261];  // the program's file name without its folder

private:
    size_t FormatLogLine(const char* message, size_t length, bool cut);
    bool WriteLogLine(size_t used);
    void StartNewLogFile();
};

// Formats into the process-wide message box buffer and shows the box.
int MessageBoxF(HWND owner, unsigned type, const char* caption, const char* format, ...);
// Shows the system's text for an error code in a box captioned "Error!".
int ShowErrorBox(unsigned long errorCode);
// Copies the system's text for an error code into out (at most outLength bytes, NUL
// included) and returns the copy's length; with out null, the length of the whole text.
int GetErrorText(char* out, unsigned long errorCode, int outLength);
