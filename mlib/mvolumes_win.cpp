// The volume list from the volume manager: FindFirstVolume and the paths each volume is
// mounted at, and GetLogicalDriveStrings for the network drives, which are no volumes of
// this machine. GetDriveType reads the system's own records, never the medium, so an empty
// CD drive or card reader is neither spun up nor asked for a disk.
#include "mlib/mvolumes.h"

#include <cstring>

#include "mlib/msys.h"

namespace {

MDriveKind KindOf(const char* root) {
    switch (GetDriveTypeA(root)) {
        case DRIVE_FIXED:
            return M_DRIVE_FIXED;
        case DRIVE_REMOTE:
            return M_DRIVE_REMOTE;
        default:
            return M_DRIVE_OTHER;
    }
}

// The paths the volume named by the volume GUID path is mounted at; none when the system
// cannot say (the volume went away meanwhile, or access is denied): it is skipped.
std::vector<std::string> MountPathsOf(const char* volume) {
    std::vector<char> names(4096);
    DWORD length = 0;
    if (!GetVolumePathNamesForVolumeNameA(volume, names.data(), static_cast<DWORD>(names.size()),
                                          &length)) {
        if (GetLastError() != ERROR_MORE_DATA || length == 0) {
            return {};
        }
        names.resize(length);
        if (!GetVolumePathNamesForVolumeNameA(volume, names.data(), length, &length)) {
            return {};
        }
    }
    std::vector<std::string> paths;
    for (const char* name = names.data(); *name != '\0'; name += strlen(name) + 1) {
        paths.push_back(name);
    }
    return paths;
}

bool IsMountPathOf(const std::vector<MWindowsVolume>& volumes, const char* root) {
    for (const MWindowsVolume& volume : volumes) {
        for (const std::string& path : volume.paths) {
            if (lstrcmpiA(path.c_str(), root) == 0) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool MListSystemVolumes(bool allowRemote, std::vector<std::string>* paths) {
    std::vector<MWindowsVolume> volumes;
    char volume[MAX_PATH];
    HANDLE search = FindFirstVolumeA(volume, sizeof volume);
    bool enumerated = search != INVALID_HANDLE_VALUE;
    if (enumerated) {
        do {
            MWindowsVolume found = {MountPathsOf(volume), KindOf(volume)};
            // Some systems say nothing of a volume by its GUID path, only by a path it is
            // mounted at.
            if (!found.paths.empty() && found.kind == M_DRIVE_OTHER) {
                found.kind = KindOf(found.paths[0].c_str());
            }
            if (!found.paths.empty()) {
                volumes.push_back(found);
            }
        } while (FindNextVolumeA(search, volume, sizeof volume));
        FindVolumeClose(search);
    }
    // Drive letters no volume above has: network drives, and every drive where the volume
    // manager cannot be asked. A drive made by subst is a folder of a volume listed already.
    char drives[4 * 26 + 1];
    DWORD length = GetLogicalDriveStringsA(sizeof drives, drives);
    bool noVolumes = volumes.empty();
    if (length > 0 && length < sizeof drives) {
        for (const char* root = drives; *root != '\0'; root += strlen(root) + 1) {
            MDriveKind kind = KindOf(root);
            if ((kind == M_DRIVE_REMOTE || noVolumes) && !IsMountPathOf(volumes, root)) {
                volumes.push_back({{root}, kind});
            }
        }
    }
    *paths = ChooseWindowsVolumes(volumes, allowRemote);
    return enumerated || length > 0;
}
