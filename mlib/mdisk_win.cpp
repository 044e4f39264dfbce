// The disk seam on GetDiskFreeSpaceExA.
#include "mlib/mdisk.h"

#include <cstddef>

#include "mlib/msys.h"

#include <winioctl.h>  // after windows.h

namespace {

// The layout of DISK_SPACE_INFORMATION, which older SDK headers lack.
struct DiskSpaceInformation {
    ULONGLONG actualTotalUnits;
    ULONGLONG actualAvailableUnits;
    ULONGLONG actualPoolUnavailableUnits;
    ULONGLONG callerTotalUnits;
    ULONGLONG callerAvailableUnits;
    ULONGLONG callerPoolUnavailableUnits;
    ULONGLONG usedUnits;
    ULONGLONG totalReservedUnits;
    ULONGLONG volumeStorageReserveUnits;
    ULONGLONG availableCommittedUnits;
    ULONGLONG poolAvailableUnits;
    DWORD sectorsPerUnit;
    DWORD bytesPerSector;
};
typedef HRESULT(WINAPI* DiskSpaceCall)(const char*, DiskSpaceInformation*);

// NTFS's own figures of the volume that holds an open file or folder, which quotas do not
// limit: the volume's size, or 0 where the file system does not answer (not NTFS).
uint64_t NtfsVolumeSize(const char* root) {
    HANDLE folder = CreateFileA(root, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE) {
        return 0;
    }
    NTFS_VOLUME_DATA_BUFFER data;
    DWORD got = 0;
    bool answered = DeviceIoControl(folder, FSCTL_GET_NTFS_VOLUME_DATA, NULL, 0, &data, sizeof data,
                                    &got, NULL) &&
                    got >= offsetof(NTFS_VOLUME_DATA_BUFFER, BytesPerFileRecordSegment);
    CloseHandle(folder);
    return answered ? static_cast<uint64_t>(data.TotalClusters.QuadPart) * data.BytesPerCluster : 0;
}

// The size of the volume that holds path, whatever quota the caller has: the system's
// call for it where present (Windows 10 1809 and Windows Server 2019, build 17763, on),
// else NTFS's figures (quotas are NTFS's), else the volume root's cluster count, which a
// quota limits like GetDiskFreeSpaceExA's total; 0 where none answers.
uint64_t VolumeSize(const char* path) {
    char root[MAX_PATH];
    if (!GetVolumePathNameA(path, root, sizeof root)) {
        return 0;
    }
    static const DiskSpaceCall diskSpace =
        reinterpret_cast<DiskSpaceCall>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskSpaceInformationA")));
    DiskSpaceInformation information;
    if (diskSpace != NULL && SUCCEEDED(diskSpace(root, &information))) {
        return information.actualTotalUnits * information.sectorsPerUnit *
               information.bytesPerSector;
    }
    uint64_t ntfs = NtfsVolumeSize(root);
    if (ntfs != 0) {
        return ntfs;
    }
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
        return 0;
    }
    return uint64_t{clusters} * sectorsPerCluster * bytesPerSector;
}

}  // namespace

bool MMeasureVolume(const char* path, uint64_t* freeBytes, uint64_t* totalBytes) {
    ULARGE_INTEGER available;
    ULARGE_INTEGER total;
    ULARGE_INTEGER totalFree;
    if (!GetDiskFreeSpaceExA(path, &available, &total, &totalFree)) {
        return false;
    }
    DWORD error = GetLastError();
    VolumeFigures figures = ChooseVolumeFigures(available.QuadPart, total.QuadPart,
                                                totalFree.QuadPart, VolumeSize(path));
    SetLastError(error);
    *freeBytes = figures.freeBytes;
    *totalBytes = figures.totalBytes;
    return true;
}

// A drive letter that stands for a network share (mapped with someone's credentials) or
// for nothing at all is no local drive.
bool MIsMeasurablePath(const char* path, bool allowRemote) {
    if (allowRemote) {
        return true;
    }
    if (!IsLocalDrivePath(path)) {
        return false;
    }
    char root[4] = {path[0], ':', '\\', '\0'};
    UINT type = GetDriveTypeA(root);
    return type != DRIVE_REMOTE && type != DRIVE_NO_ROOT_DIR;
}
