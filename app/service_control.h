// The state a Windows service reports to the service manager and what each control asks
// of it, kept apart from the service manager so that tests drive it with plain calls.
// The numbers are the system's (winsvc.h); the Windows build checks that they match.
#pragma once

#include <cstdint>
#include <mutex>

// Service states.
const uint32_t SVC_STOPPED = 1;
const uint32_t SVC_START_PENDING = 2;
const uint32_t SVC_STOP_PENDING = 3;
const uint32_t SVC_RUNNING = 4;

// Controls the service manager sends.
const uint32_t SVC_CONTROL_STOP = 1;
const uint32_t SVC_CONTROL_INTERROGATE = 4;
const uint32_t SVC_CONTROL_SHUTDOWN = 5;
const uint32_t SVC_CONTROL_PARAMCHANGE = 6;

// Controls a running service accepts.
const uint32_t SVC_ACCEPT_STOP = 1;
const uint32_t SVC_ACCEPT_SHUTDOWN = 4;
const uint32_t SVC_ACCEPT_PARAMCHANGE = 8;

// Answers of the control handler and exit codes.
const uint32_t SVC_NO_ERROR = 0;
const uint32_t SVC_ERROR_CALL_NOT_IMPLEMENTED = 120;
const uint32_t SVC_ERROR_CANNOT_ACCEPT_CTRL = 1061;
const uint32_t SVC_ERROR_SPECIFIC = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR

// Why a start failed: the service-specific exit code the service manager shows.
enum ServiceFailure : uint32_t {
    SERVICE_OK = 0,
    SERVICE_NO_FOLDER = 1,        // DIR is missing or no folder
    SERVICE_SECOND_COPY = 2,      // kept for its number; a service copy takes no marker now
    SERVICE_FILE_UNREADABLE = 3,  // fsw.ini is there but cannot be read
    SERVICE_LOG_UNWRITABLE = 4,   // the log cannot be opened
    SERVICE_PORT_UNUSABLE = 5,    // the server does not get to listen
    SERVICE_START_FAILED = 6,     // anything else (the network layer, the window)
};

// How long the service manager is told to wait for the next report.
const uint32_t SERVICE_START_WAIT_MS = 30000;
// The server's own bound of a stop while a measurement hangs, and a margin.
const uint32_t SERVICE_STOP_WAIT_MS = 8000;

// One SERVICE_STATUS, without the service type.
struct ServiceReport {
    uint32_t state;
    uint32_t controlsAccepted;
    uint32_t win32ExitCode;
    uint32_t specificExitCode;
    uint32_t checkPoint;
    uint32_t waitHint;
};

// What the service's own loop is to do for a control.
enum ServiceAction {
    SERVICE_ACTION_NONE,
    SERVICE_ACTION_STOP,      // the orderly stop (STOP, SHUTDOWN)
    SERVICE_ACTION_SHUTDOWN,  // the same, because Windows shuts down
    SERVICE_ACTION_RELOAD,    // read fsw.ini and the host list again
};

// The answer of the control handler to one control.
struct ServiceControlAnswer {
    uint32_t result;       // what the handler returns
    ServiceAction action;  // what the service's loop is to do
    bool report;           // whether to report the status (below) now
    ServiceReport status;
};

// The state of the service. The control handler's thread and the service's own thread
// both use it, so every call takes its lock.
class ServiceControl {
public:
    ServiceControl();
    // START_PENDING, accepting nothing: a stop cannot overtake the start.
    ServiceReport Starting();
    // RUNNING, accepting STOP, SHUTDOWN and PARAMCHANGE.
    ServiceReport Running();
    // STOPPED; a failure other than SERVICE_OK is the service-specific exit code.
    ServiceReport Stopped(ServiceFailure failure);
    // A control from the service manager. PARAMCHANGE asks the loop for a reload only
    // when none is asked for yet: a storm of them leaves one reload waiting, never a queue
    // that a stop would wait behind.
    ServiceControlAnswer OnControl(uint32_t control);
    // The loop takes the reload it was asked for: true when it is to run, false when a
    // stop came meanwhile and goes first.
    bool TakeReload();
    ServiceReport Current();

private:
    ServiceReport Make(uint32_t state, uint32_t accepted, uint32_t waitHint);

    std::mutex m_lock;
    ServiceReport m_status;
    bool m_reloadAsked;  // a reload was handed to the loop and not yet taken
};
