// The disk seam on statvfs.
#include "mlib/mdisk.h"

#include <sys/statvfs.h>

bool MMeasureVolume(const char* path, uint64_t* freeBytes, uint64_t* totalBytes) {
    struct statvfs volume;
    if (statvfs(path, &volume) != 0) {
        return false;
    }
    VolumeFigures figures =
        StatvfsFigures(volume.f_blocks, volume.f_bfree, volume.f_bavail, volume.f_frsize);
    *freeBytes = figures.freeBytes;
    *totalBytes = figures.totalBytes;
    return true;
}

bool MIsMeasurablePath(const char* path, bool) {
    return IsAbsolutePosixPath(path);
}
