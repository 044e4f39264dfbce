// The shell's notification-area call.
#include "mlib/mshell_win.h"

static MShellNotifyIconHook g_shellNotifyIconHook = NULL;

BOOL MShellNotifyIcon(DWORD message, NOTIFYICONDATAA* data) {
    if (g_shellNotifyIconHook != NULL) {
        return g_shellNotifyIconHook(message, data);
    }
    return Shell_NotifyIconA(message, data);
}

MShellNotifyIconHook MSetShellNotifyIconHook(MShellNotifyIconHook hook) {
    MShellNotifyIconHook previous = g_shellNotifyIconHook;
    g_shellNotifyIconHook = hook;
    return previous;
}
