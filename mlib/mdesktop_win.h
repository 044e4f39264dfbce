// Windows only. The DPI a window is shown at, and what the windows lay out by it: sizes
// given for 96 DPI (100 %) scaled to it, small icons loaded at its size, and list views
// whose column widths and small icons follow it. The windows call these at their creation
// and on WM_DPICHANGED. Besides, the messages a window takes from programs with fewer
// rights.
#pragma once

#include "mlib/msys.h"

#include <commctrl.h>  // after windows.h, which mlib/msys.h brings

const unsigned M_BASE_DPI = 96;
// Sent to a window moved to a screen of another DPI (Windows 8.1 on): the new DPI in
// LOWORD(wParam), the suggested window rectangle in lParam. The build's headers target
// Vista and leave it out.
const unsigned M_WM_DPICHANGED = 0x02E0;

// GetDpiForWindow where the system has it (Windows 10 1607 and later); before, and for a
// window that is gone, the screen's LOGPIXELSY, the system's DPI.
unsigned MGetDpiForWindow(HWND window);
// Pixels given at 96 DPI at dpi, rounded; a dpi of 0 counts as 96.
int MScaleForDpi(int pixels, unsigned dpi);
// The side of a small icon (title bar, list rows, notification area) at dpi.
int MSmallIconSize(unsigned dpi);

// Icon resource id of instance at the small icon size of dpi, for the notification area
// and the title bars: the caller destroys it (the shell keeps its own copy); null on
// failure.
HICON MLoadSmallIcon(HINSTANCE instance, const char* id, unsigned dpi);

// Lets message reach window from programs of lower integrity, as Explorer's broadcast
// "TaskbarCreated" must reach a copy run as administrator: ChangeWindowMessageFilterEx
// where the system has it (Windows 7 on), the process-wide ChangeWindowMessageFilter on
// Vista. False when the system refused; the error is GetLastError's.
bool MChangeWindowMessageFilterEx(HWND window, UINT message);

// A masked 32-bit image list of small icons at dpi, with room for count; null on failure.
HIMAGELIST MCreateSmallImageList(unsigned dpi, int count);
// Adds icon resource id of instance (null instance: a system icon, IDI_*) at the list's
// size; its index, or -1.
int MImageListAddIcon(HIMAGELIST list, HINSTANCE instance, const char* id);

// A list view laid out again for newDpi: its column widths scaled from oldDpi, and a new
// list of the small icons ids (count of them, in image order) in place of its old one,
// which it destroys. The new image list, or null with the old one kept when it cannot be
// made.
HIMAGELIST MRescaleListView(HWND list, unsigned oldDpi, unsigned newDpi, HINSTANCE instance,
                            const char* const* ids, int count);
