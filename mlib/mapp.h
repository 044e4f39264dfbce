// The application base class: the log file, the program's version numbers, the
// exception reporting around the application's body and the message loop.
#pragma once

#include <cstdint>
#include <string>

#include "mlib/mbase.h"
#include "mlib/msys.h"

// The folder of the program's files: that of the module file name (the folder given to
// MSetModuleDirectory, where one is); empty when it cannot be had.
std::string MModuleFolder(HINSTANCE instance);

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
    // Init inside the exception reporting; 2 also when an exception was reported from a
    // window (HandleWindowException).
    virtual int Run();
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

    // Inside a catch block: reports the exception being handled as Run does, by its
    // kind (a log line and a box, or the box with the system's text).
    void ReportException();
    // Inside a catch block at a window or dialog procedure (and in the console loop): an
    // exception cannot pass the system's frames, so the application object of the
    // process reports it here and ends in order: its loop window is asked to close, as
    // the exit command does, and Run returns 2. windowGoing: the failing window was
    // being destroyed. A second exception, or one from the loop window's own end, ends
    // the loop at once.
    static void HandleWindowException(HWND window, bool windowGoing);

    MCriticalSection logLock;  // guards logFile and the two below
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
    void EndAfterException(HWND window, bool windowGoing);
    // Entering and leaving MessageLoop; entering posts a close asked for before.
    void EnterLoop(HWND window);
    void LeaveLoop();
    void PostClose();
    size_t FormatLogLine(char* line, const char* message, size_t length, bool cut);
    bool WriteLogLine(const char* line, size_t used);
    void StartNewLogFile();

    MApp* m_previousApp;    // the application object made before this one, if any
    bool m_inLoop;          // MessageLoop runs
    HWND m_loopWindow;      // the window it runs for
    bool m_windowFailed;    // an exception was reported from a window
    bool m_closeRequested;  // the loop window was asked to close after it
};

// Formats into the process-wide message box buffer and shows the box.
int MessageBoxF(HWND owner, unsigned type, const char* caption, const char* format, ...);
// Shows the system's text for an error code in a box captioned "Error!".
int ShowErrorBox(unsigned long errorCode);
// Copies the system's text for an error code into out (at most outLength bytes, NUL
// included) and returns the copy's length; with out null, the length of the whole text.
int GetErrorText(char* out, unsigned long errorCode, int outLength);
