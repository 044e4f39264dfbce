// The log of the application object of the moment (theApp), for the parts made before it
// (the check cycle's notifier and metrics file) or run around it (the service's events and
// boxes), which reach nothing else of it.
#pragma once

#include "mlib/mlog_sink.h"

// A line goes nowhere while there is no application object. With held, as Kiv::LogOrHold:
// lines are kept until the log is open.
MLogSink& AppLog(bool held = false);
