// Private window messages and timers of the main window, shared by the Windows main
// window and the console edition that plays its part.
#pragma once

#include "mlib/msys.h"

const unsigned WM_APP_TRAY = WM_APP + 1;          // 32769: the tray icon's callback
const unsigned WM_APP_CLOSE_STATUS = WM_APP + 2;  // 32770: the status window destroys itself
const unsigned WM_APP_CYCLE_DONE = WM_APP + 3;    // 32771: the last query thread of a cycle ended
// The Windows service's control handler to its loop (WM_APP + 4 to 7 are the console's).
const unsigned WM_APP_SERVICE_STOP = WM_APP + 8;    // wParam 1: because Windows shuts down
const unsigned WM_APP_SERVICE_RELOAD = WM_APP + 9;  // PARAMCHANGE: read the files again
// The volume picker's query thread to its dialog: the list is there.
const unsigned WM_APP_VOLUMES_LISTED = WM_APP + 10;

const uintptr_t TIMER_CHECK = 100;         // check timer, every m_interval minutes
const uintptr_t TIMER_TRAY_RETRY = 101;    // tray icon retry, every 10 s
const uintptr_t TIMER_RUN_DEADLINE = 102;  // a one-shot run's queries are cancelled

const int TRAY_ICON_ID = 10;

// The application title: window caption, message box caption, start and end lines.
extern const char APP_TITLE[];
// Said at the start where the system's ANSI code page is not the program's, in English and
// Japanese.
extern const char CODE_PAGE_NOTICE[];
