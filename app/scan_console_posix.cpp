// The console of a foreground scan on Linux.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "app/growth_scans.h"

int ScanConsoleColumns() {
    struct winsize size;
    if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col > 0 ? size.ws_col : 80;
}

void ScanConsoleWrite(const std::string& text, bool error) {
    FILE* out = error ? stderr : stdout;
    fwrite(text.data(), 1, text.size(), out);
    fflush(out);
}
