// The Windows program's command line.
#include "app/service_command.h"

#include "mlib/mbchar.h"

const char SERVICE_USAGE[] =
    "fsw.exe [--dir フォルダ] (タスクトレイのプログラム)\n"
    "fsw.exe --install-service [--dir フォルダ [--protect-dir]] [--quiet]\n"
    "fsw.exe --uninstall-service [--quiet]\n"
    "fsw.exe --close-tray [--quiet] (起動中のタスクトレイのプログラムを終了します)\n"
    "fsw.exe --scan [--dir フォルダ] [パス] (フォルダの大きさを今すぐ走査します)\n"
    "fsw.exe --service --dir フォルダ (サービスマネージャが起動します)";

namespace {

// An invalid command line still keeps --quiet: a script's mistake shows no box either.
EntryCommand Invalid(const std::vector<std::string>& args, const std::string& problem) {
    bool quiet = false;
    for (const std::string& arg : args) {
        quiet = quiet || arg == "--quiet";
    }
    return EntryCommand{ENTRY_INVALID, "", quiet, false, problem, false};
}

}  // namespace

EntryCommand ParseEntryArguments(const std::vector<std::string>& args) {
    EntryCommand command{ENTRY_TRAY, "", false, false, "", false};
    bool dirGiven = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& arg = args[i];
        EntryMode mode = ENTRY_INVALID;
        if (arg == "--install-service") {
            mode = ENTRY_INSTALL;
        } else if (arg == "--uninstall-service") {
            mode = ENTRY_UNINSTALL;
        } else if (arg == "--service") {
            mode = ENTRY_SERVICE;
        } else if (arg == "--close-tray") {
            mode = ENTRY_CLOSE;
        } else if (arg == "--scan") {
            mode = ENTRY_SCAN;
        } else if (arg == "--quiet") {
            command.quiet = true;
            continue;
        } else if (arg == "--protect-dir") {
            command.protectDir = true;
            continue;
        } else if (arg == "--unsafe-trust-installing-user") {
            command.trustInstallingUser = true;
            continue;
        } else if (arg == "--dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                return Invalid(args, "--dir にフォルダを指定してください");
            }
            if (dirGiven) {
                return Invalid(args, "--dir が2回指定されています");
            }
            dirGiven = true;
            command.dir = args[++i];
            continue;
        } else if (command.mode == ENTRY_SCAN && command.scanPath.empty() && !arg.empty() &&
                   arg[0] != '-') {
            command.scanPath = arg;
            continue;
        } else {
            return Invalid(args, "不明な引数です: " + arg);
        }
        if (command.mode != ENTRY_TRAY) {
            return Invalid(args, "コマンドは1つだけ指定してください: " + arg);
        }
        command.mode = mode;
    }
    // The tray program takes a folder of settings, as the service does, and nothing else.
    if (command.mode == ENTRY_TRAY && (command.quiet || args.size() != (dirGiven ? 2u : 0u))) {
        return Invalid(
            args, "--install-service, --uninstall-service, --service のどれかを指定してください");
    }
    // Only an installer that has just made the folder asks to give it the service's rights.
    if (command.protectDir && (command.mode != ENTRY_INSTALL || !dirGiven)) {
        return Invalid(args, "--protect-dir は --install-service --dir と共に指定してください");
    }
    if (command.trustInstallingUser && command.mode != ENTRY_INSTALL) {
        return Invalid(
            args, "--unsafe-trust-installing-user は --install-service と共に指定してください");
    }
    if (command.mode == ENTRY_UNINSTALL && dirGiven) {
        return Invalid(args, "--uninstall-service に --dir は指定できません");
    }
    if (command.mode == ENTRY_CLOSE && dirGiven) {
        return Invalid(args, "--close-tray に --dir は指定できません");
    }
    return command;
}

std::string ServiceCommandLine(const std::string& exePath, const std::string& dir) {
    // Backslashes at the end, counted by whole characters.
    size_t trailing = 0;
    for (const char* p = dir.c_str(); *p != '\0'; p += MbcCharLength(p)) {
        trailing = *p == '\\' ? trailing + 1 : 0;
    }
    return "\"" + exePath + "\" --service --dir \"" + dir + std::string(trailing, '\\') + "\"";
}
