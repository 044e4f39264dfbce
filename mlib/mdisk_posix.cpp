// The disk seam on statvfs.
#include "mlib/mdisk.h"

#include <sys/statvfs.h>

bool MMeasureVolume(const char* path, uint64_t* freeBytes, uint64_t* totalBytes) {
    struct statvfs volume;
    if (statvfs(path, &volume) != 0) {
        return false;
    }
    *freeBytes = uint64_t{volume.f_bfree} * volume.f_frsize;
    *totalBytes = uint64_t{volume.f_blocks} * volume.f_frsize;
    return true;
}

bool MIsMeasurablePath(const char* path, bool) {
    return IsAbsolutePosixPath(path);
}
