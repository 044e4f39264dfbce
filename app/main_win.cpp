// The Windows program's entry point.
#include "app/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
    SystemEntryServices services(instance, commandLine, showCommand);
    return RunEntry(services);
}
