// The entry point's logic.
#include "app/entry.h"

#include "app/kiv.h"
#include "mlib/mapp.h"
#include "monitor/messages.h"

const char INSTANCE_MARKER_NAME[] = "FSW_Mutex1825";

SystemEntryServices::SystemEntryServices(HINSTANCE instance, char* commandLine, int showCommand,
                                         FrontEnd* frontEnd)
    : m_instance(instance),
      m_commandLine(commandLine),
      m_showCommand(showCommand),
      m_frontEnd(frontEnd) {}

MInstanceResult SystemEntryServices::CreateInstanceMarker(const char* name, std::string* problem) {
    MInstanceResult result = m_marker.Create(name, problem);
    return result == M_INSTANCE_CREATED ? CreateFolderMarker(problem) : result;
}

MInstanceResult SystemEntryServices::CreateFolderMarker(std::string* problem) {
    std::string folder = MModuleFolder(m_instance);
    MInstanceResult result = m_folderMarker.CreateForFolder(folder.c_str(), problem);
    if (result == M_INSTANCE_RUNNING) {
        *problem = folder;
        return M_INSTANCE_FOLDER_IN_USE;
    }
    return result;
}

void SystemEntryServices::CloseInstanceMarker() {
    m_folderMarker.Close();
    m_marker.Close();
}

int SystemEntryServices::StartupNetwork() {
    return MStartupNetwork();
}

int SystemEntryServices::CleanupNetwork() {
    return MCleanupNetwork();
}

int SystemEntryServices::RunApplication() {
    Kiv* app = GetApp(m_instance, m_commandLine, m_showCommand);
    app->UseFrontEnd(m_frontEnd);
    int code = app->Run();
    app->UseFrontEnd(nullptr);
    return code;
}

int RunEntry(EntryServices& services, const char* markerName) {
    std::string problem;
    MInstanceResult instance = services.CreateInstanceMarker(markerName, &problem);
    if (instance != M_INSTANCE_CREATED) {
        std::string text = instance == M_INSTANCE_RUNNING ? "ケルムは既に起動中です"
                           : instance == M_INSTANCE_FOLDER_IN_USE
                               ? "同じデータフォルダのケルムが既に起動中です。(Dir=" + problem + ")"
                               : "起動中のケルムがあるか確認できないため起動しません。" + problem;
        MMessageBox(NULL, text.c_str(), "エラー", MB_ICONERROR);
        services.CloseInstanceMarker();
        return 2;
    }
    if (services.StartupNetwork() != 0) {
        MMessageBox(NULL, "Winsockの初期化に失敗しました！", APP_TITLE, MB_ICONERROR);
        services.CloseInstanceMarker();
        return 2;
    }
    int exitCode = services.RunApplication();
    if (services.CleanupNetwork() == -1) {
        MMessageBox(NULL, "Winsockのクリーンアップに失敗しました！", APP_TITLE, MB_ICONERROR);
        if (exitCode < 2) {
            exitCode = 2;
        }
    }
    services.CloseInstanceMarker();
    return exitCode;
}
