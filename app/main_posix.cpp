// The Linux edition's entry point: "fsw [--dir DIR]", "fsw --help", "fsw --version", and the
// one-shot runs "fsw [--dir DIR] --once", "fsw check ..." and "fsw scan ...". The program's files (fsw.ini,
// the host list, the log) live in the executable's folder, or in DIR; a LOGFILE, LISTFILE
// or CHKFILE that is an absolute path is used as it is.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/entry.h"
#include "app/oneshot_posix.h"
#include "monitor/messages.h"

namespace {

void PrintUsage(FILE* out) {
    fputs(
        "usage: fsw [--dir DIR] [--once]\n"
        "       fsw --help | --version\n"
        "       fsw check --help\n"
        "       fsw scan [--dir DIR] [PATH]   (one folder scan of GROWTH, kept in DIR)\n"
        "  --dir DIR   read fsw.ini and the host list from DIR instead of the program's folder\n"
        "  --once      run one check cycle, print its list and end (exit code: its worst grade)\n"
        "  --help      show this help and end\n"
        "  --version   show the version and end\n"
        "signals: SIGHUP reads the files again, SIGUSR1 checks now, SIGUSR2 prints the status\n"
        "list again, SIGINT and SIGTERM end the program. See fsw(8).\n",
        out);
}

// Without the thread that takes the signals nothing but SIGKILL could stop the program,
// and a service manager could neither stop nor reload it: better not to run at all.
bool StartSignalHandling() {
    if (MStartSignalThread()) {
        return true;
    }
    MMessageBox(
        nullptr,
        "シグナルを受けるスレッドを開始できません。SIGKILLでしか止められないため起動しません",
        "エラー", MB_ICONERROR);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // One-shot runs keep the signals' default actions: Ctrl-C ends them at once.
    if (argc >= 2 && strcmp(argv[1], "check") == 0) {
        return RunCheckCommand(argc - 2, argv + 2);
    }
    if (argc >= 2 && strcmp(argv[1], "scan") == 0) {
        return RunScanCommand(argc - 2, argv + 2);
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
        } else if (strcmp(argv[i], "--version") == 0) {
            fputs(VersionLine().c_str(), stdout);
            return 0;
        } else {
            fprintf(stderr, "fsw: unknown argument: %s\n", argv[i]);
            PrintUsage(stderr);
            return 2;
        }
    }
    if (!StartSignalHandling()) {
        return 2;
    }
    SystemEntryServices services(nullptr, &commandLine[0], 0);
    return RunEntry(services);
}
