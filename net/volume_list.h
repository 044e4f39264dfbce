// Every volume of a host: the body of a volume list as it travels, the server's answer to a
// request for one, and which listed volumes a host-list row whose path is "*" watches.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "mlib/mlog_sink.h"

// What became of one listed volume's measurement.
enum VolumeState : uint16_t {
    VOLUME_MEASURED = 0,
    VOLUME_NOT_MEASURED = 1,  // the system could not measure it
    VOLUME_LATE = 2,          // no measurement in time: a hung file system, say
};

struct VolumeEntry {
    std::string path;  // the mount point or drive root, in the program's own code page
    uint16_t state;    // a VolumeState
    uint64_t freeBytes;
    uint64_t totalBytes;
};

// The body of a list (protocol.h) with the paths in the wire's code page. The caller keeps
// to the caps: at most MAX_LISTED_VOLUMES entries, paths of 1 to MAX_VOLUME_PATH wire bytes.
std::string EncodeVolumeList(const std::vector<VolumeEntry>& entries);
// Reads a body; false when it is not one whole list within the caps: a count above
// MAX_LISTED_VOLUMES, a path of 0 or more than MAX_VOLUME_PATH bytes, an unknown state,
// bytes missing or left over, or a measured volume with more free than total bytes or none.
bool DecodeVolumeList(const std::string& body, std::vector<VolumeEntry>* entries);

// The path of a host-list row that watches every volume its host lists.
extern const char ALL_VOLUMES_PATH[];  // "*"
bool IsAllVolumesPath(const char* path);

// Whether path lies on the volume mounted at mountPoint: the same path, or one below it.
// Windows paths (a drive letter and a colon) compare as Windows does: ASCII letters in
// either case, '/' as '\'; multi-byte characters of the build's code page byte for byte.
bool PathIsOn(const std::string& path, const std::string& mountPoint);

// The listed volumes a "*" row watches: all but those the explicit paths of other rows of
// its host and port lie on (each path on the listed volume with the longest mount point
// it lies on), in the list's order.
std::vector<VolumeEntry> VolumesOfAllRow(const std::vector<VolumeEntry>& listed,
                                         const std::vector<std::string>& explicitPaths);

// A listed volume that cannot be a row of its own, and why (a short text for the log).
struct RefusedVolume {
    std::string path;
    const char* reason;
};
// The listed volumes that can be rows of their own, in the list's order; the others go to
// *refused. No byte from a peer may make a line of the history, the log, the metrics or the
// status list, and each row needs a key of its own: a path with a control byte, the path "*"
// (the row of a list that failed), one that does not fit a field of fieldSize bytes whole
// (cut, it could be another volume's) and one listed before are refused.
std::vector<VolumeEntry> UsableVolumes(const std::vector<VolumeEntry>& listed, size_t fieldSize,
                                       std::vector<RefusedVolume>* refused);

// How long the server takes for a list at most: each volume's measurement within the 5 s
// of any measurement, VOLUME_LIST_MEASURERS at a time, and what is not measured by then is
// listed as VOLUME_LATE.
const unsigned VOLUME_LIST_TIME_LIMIT_MS = 8000;
const int VOLUME_LIST_MEASURERS = 4;

// The server's volumes mounted at or below prefix (the program's code page; empty: all),
// each measured as for a list request, with the lines for those that could not be; false
// when the system gave no list. Bounded in time as VolumeListReply is.
bool ListOwnVolumes(MLogSink& log, bool allowRemote, const std::atomic<bool>& stop,
                    const std::string& prefix, std::vector<VolumeEntry>* measured);

// The server's whole reply (header and body) to a list request whose path was wirePrefix,
// with its lines to log: STATUS_OK and the volumes, or STATUS_DISK_ERROR when the system
// gave no list. allowRemote (ALLOWUNC) lists network volumes too. Returns within
// VOLUME_LIST_TIME_LIMIT_MS, and within STOP_MEASURE_MS of the server's stop (stop set);
// measurements still running then go on in threads of their own, which touch nothing of
// the server.
std::string VolumeListReply(MLogSink& log, bool allowRemote, const std::atomic<bool>& stop,
                            const std::string& wirePrefix);
