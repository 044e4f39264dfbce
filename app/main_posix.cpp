// The Linux edition's entry point: "fsw [--dir DIR]", and the one-shot runs "fsw [--dir DIR]
// --once" and "fsw check ...". The program's files (fsw.ini, the host list, the log) live
// in the executable's folder, or in DIR.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/entry.h"
#include "app/oneshot_posix.h"

namespace {

void PrintUsage(FILE* out) {
    fputs("usage: fsw [--dir DIR] [--once]\n       fsw check --help\n", out);
}

}  // namespace

int main(int argc, char** argv) {
    // One-shot runs keep the signals' default actions: Ctrl-C ends them at once.
    if (argc >= 2 && strcmp(argv[1], "check") == 0) {
        return RunCheckCommand(argc - 2, argv + 2);
    }
    if (AsksForOnce(argc, argv)) {
        return RunOnceCommand(argc, argv);
    }
    // Before any thread exists, so that only the signal thread ever takes them.
    MBlockSignals();

    std::string commandLine;  // kept by the application object, not parsed there
    for (int i = 1; i < argc; i++) {
        commandLine += i > 1 ? " " : "";
        commandLine += argv[i];
    }
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            if (!UseProgramDirectory(argv[++i])) {
                return 2;
            }
        } else if (strcmp(argv[i], "--help") == 0) {
            PrintUsage(stdout);
            return 0;
        } else {
            fprintf(stderr, "fsw: unknown argument: %s\n", argv[i]);
            PrintUsage(stderr);
            return 2;
        }
    }
    SystemEntryServices services(nullptr, &commandLine[0], 0);
    return RunEntry(services);
}
