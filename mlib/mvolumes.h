// The disk seam's list of the machine's volumes: which mounted file systems hold data, each
// named once by the path it is measured at. The server lists them for a client that
// watches every volume of a host.
#pragma once

#include <string>
#include <vector>

// The volumes of the machine, sorted by path. Linux: the file systems of
// /proc/self/mountinfo that hold data (VolumesOfMountInfo). Windows: the fixed drives' roots
// and the folders fixed volumes are mounted in (ChooseWindowsVolumes); with allowRemote the
// mapped network drives too. Removable, CD/DVD and RAM drives are never touched. A volume
// the system cannot say more of is left out. False when the system gave no list at all.
bool MListVolumes(bool allowRemote, std::vector<std::string>* paths);

// For tests: a stand-in for the list, called instead of the system while set; null ends
// it. Returns the previous one.
typedef bool (*MVolumeListHook)(bool allowRemote, std::vector<std::string>* paths);
MVolumeListHook MSetVolumeListHook(MVolumeListHook hook);
// The platform's own list, behind MListVolumes.
bool MListSystemVolumes(bool allowRemote, std::vector<std::string>* paths);

// The mount points of the text of /proc/self/mountinfo that hold data, sorted: pseudo file
// systems (proc, sysfs, cgroup, tmpfs, devtmpfs, overlay, autofs, tracefs and the like) and
// images (squashfs, iso9660, erofs) left out, and each file system (its device number) once,
// at its shortest mount point, so bind mounts of it add nothing. Lines that cannot be read
// are skipped.
std::vector<std::string> VolumesOfMountInfo(const std::string& text);

// What GetDriveType says of a volume, as far as the list cares.
enum MDriveKind : int {
    M_DRIVE_FIXED,
    M_DRIVE_REMOTE,  // a mapped network drive
    M_DRIVE_OTHER,   // removable, CD/DVD, RAM disk, unknown, or no root
};
// One Windows volume: every path it is mounted at ("E:\", "C:\mnt\data\") and its kind.
struct MWindowsVolume {
    std::vector<std::string> paths;
    MDriveKind kind;
};
// The fixed volumes (and with allowRemote the network drives), each at its shortest path
// (the first of equal length), sorted; a volume without a path is left out.
std::vector<std::string> ChooseWindowsVolumes(const std::vector<MWindowsVolume>& volumes,
                                              bool allowRemote);
