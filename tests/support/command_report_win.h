// Windows only. What a test program run as the notification command reports about itself:
// the tests that start a command from the program read it back.
#pragma once

// Writes to the file: "console" or "no console" and ", hidden" or ", shown" (how it was
// told to show a window of its own), then the bytes of FSW_TITLE, then whether the handle
// value FSW_HANDLE names is open in it (an inherited handle keeps its value), a line each.
void WriteCommandReport(const char* path);
