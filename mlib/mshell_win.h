// Windows only. The shell's notification-area call behind a hook, so that tests can
// record the icon, tooltip and balloon requests of a window and make them fail.
#pragma once

#include "mlib/msys.h"

#include <shellapi.h>  // after windows.h, which mlib/msys.h brings

typedef BOOL (*MShellNotifyIconHook)(DWORD message, NOTIFYICONDATAA* data);

// Shell_NotifyIconA, or the hook while one is set.
BOOL MShellNotifyIcon(DWORD message, NOTIFYICONDATAA* data);
// Sets the hook (null: the real call again); returns the previous one.
MShellNotifyIconHook MSetShellNotifyIconHook(MShellNotifyIconHook hook);
