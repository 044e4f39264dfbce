// The disk seam on GetDiskFreeSpaceExA.
#include "mlib/mdisk.h"

#include "mlib/msys.h"

bool MMeasureVolume(const char* path, uint64_t* freeBytes, uint64_t* totalBytes) {
    ULARGE_INTEGER available;
    ULARGE_INTEGER total;
    ULARGE_INTEGER totalFree;
    if (!GetDiskFreeSpaceExA(path, &available, &total, &totalFree)) {
        return false;
    }
    *freeBytes = totalFree.QuadPart;
    *totalBytes = total.QuadPart;
    return true;
}

bool MIsMeasurablePath(const char* path, bool allowRemote) {
    return allowRemote || IsLocalDrivePath(path);
}
