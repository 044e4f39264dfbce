// The disk seam: the free and total size of the volume that holds a path.
#pragma once

#include <cstdint>

// GetDiskFreeSpaceExA on Windows; statvfs in the Linux edition (free = f_bfree x
// f_frsize, total = f_blocks x f_frsize). freeBytes is the volume's total free space,
// not the smaller part that quotas leave to the caller. False if the path cannot be
// measured; the system's error then stays readable with MGetLastError.
bool MGetDiskFreeSpace(const char* path, uint64_t* freeBytes, uint64_t* totalBytes);
