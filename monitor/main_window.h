// The main window of the build: the hidden tray window on Windows, the console front
// end that plays its part in the Linux edition.
#pragma once

#ifdef _WIN32
#include "monitor/main_window_win.h"
#else
#include "monitor/main_window_posix.h"
#endif
