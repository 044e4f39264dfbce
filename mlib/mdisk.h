// The disk seam: the free and total size of the volume that holds a path, and which
// paths from the network may be measured at all.
#pragma once

#include <cstdint>

// GetDiskFreeSpaceExA on Windows; statvfs in the Linux edition (StatvfsFigures).
// freeBytes is the space that can still be written: on Windows the volume's free space,
// not the smaller part that quotas leave to the caller; on Linux without root's reserve.
// False if the path cannot be measured; the system's error then stays readable with
// MGetLastError. The call may block for as long as the file system does (a stale network
// mount: for ever).
bool MGetDiskFreeSpace(const char* path, uint64_t* freeBytes, uint64_t* totalBytes);

// For tests: a stand-in for the measurement, called instead of the system while set;
// null ends it. Returns the previous one.
typedef bool (*MDiskFreeSpaceHook)(const char* path, uint64_t* freeBytes, uint64_t* totalBytes);
MDiskFreeSpaceHook MSetDiskFreeSpaceHook(MDiskFreeSpaceHook hook);

// Whether a path received from the network may be measured, by the rule of the build:
// IsLocalDrivePath on Windows, unless allowRemote (then every path); IsAbsolutePosixPath
// in the Linux edition.
bool MIsMeasurablePath(const char* path, bool allowRemote);

// A path on a local drive, X:\... (or X:/...): no UNC or device forms (\\host\share,
// \\?\, \\.\), no path relative to a drive's current folder, no stream (a second
// colon), no wildcard or control character, and no component that names a DOS device
// (CON, NUL, COM1, ...), which would be opened instead of a folder. The text is
// Shift-JIS, whose trail bytes may be a backslash.
bool IsLocalDrivePath(const char* path);
// A path that begins with a slash.
bool IsAbsolutePosixPath(const char* path);

// The figures a measurement reports from what the system said. callerTotal and
// callerFree are limited by the caller's quota, volumeFree is not; volumeTotal is the
// volume's size found another way, 0 where unknown. Both figures are the volume's, so
// that a quota never shows more free bytes than the disk holds; where the volume's size
// is not to be had and its free bytes exceed the caller's total, both are the caller's.
struct VolumeFigures {
    uint64_t freeBytes;
    uint64_t totalBytes;
};
VolumeFigures ChooseVolumeFigures(uint64_t callerFree, uint64_t callerTotal, uint64_t volumeFree,
                                  uint64_t volumeTotal);

// The figures of a statvfs answer: free is what users other than root may still write
// (f_bavail, as df shows it), not counting root's reserve (f_bfree); total is the whole
// volume (f_blocks). Sizes are in fragments of fragmentSize bytes.
VolumeFigures StatvfsFigures(uint64_t blocks, uint64_t freeBlocks, uint64_t availableBlocks,
                             uint64_t fragmentSize);

// The platform's own measurement, behind MGetDiskFreeSpace.
bool MMeasureVolume(const char* path, uint64_t* freeBytes, uint64_t* totalBytes);
