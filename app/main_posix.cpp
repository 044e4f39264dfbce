// The Linux edition's entry point: "fsw [--dir DIR]". The program's files (fsw.ini, the
// host list, the log) live in the executable's folder, or in DIR.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/entry.h"

namespace {

void PrintUsage(FILE* out) {
    fputs("usage: fsw [--dir DIR]\n", out);
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that only the signal thread ever takes them.
    MBlockSignals();

    std::string commandLine;  // kept by the application object, not parsed there
    for (int i = 1; i < argc; i++) {
        commandLine += i > 1 ? " " : "";
        commandLine += argv[i];
    }
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            char absolute[PATH_MAX];
            if (realpath(argv[i + 1], absolute) == nullptr) {
                fprintf(stderr, "fsw: %s: %s\n", argv[i + 1], strerror(errno));
                return 2;
            }
            MSetModuleDirectory(absolute);
            i++;
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
