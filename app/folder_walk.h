// The platform side of the folder scan: a folder opened and read one entry at a time, the
// volume a path lies on, and the background priority of a scanning thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One entry of a folder as the system lists it.
struct WalkEntry {
    const char* name;    // in the program's own code page; valid until the next entry
    bool folder;         // a real folder: never a symbolic link, junction or reparse point
    uint64_t bytes;      // the space it takes on the disk (files; 0 for folders)
    uint64_t fileId;     // the file's number on its volume
    bool maybeLinked;    // it may have other names: counted once by fileId (Windows: always)
    int64_t changeTime;  // its time of last change, Unix seconds
};

class WalkVisitor {
public:
    virtual ~WalkVisitor() {}
    // False stops the reading.
    virtual bool OnEntry(const WalkEntry& entry) = 0;
};

enum WalkOpenResult {
    WALK_OPENED,
    WALK_UNREADABLE,    // there, but it cannot be listed (rights): *ownBytes still told
    WALK_OTHER_VOLUME,  // another volume is mounted there: not counted
    WALK_GONE,          // removed, or no longer a folder, since it was listed
};

// What a scan reads with, one per scanning thread (it keeps its buffer).
class WalkFolder {
public:
    WalkFolder();
    ~WalkFolder();
    WalkFolder(const WalkFolder&) = delete;
    WalkFolder& operator=(const WalkFolder&) = delete;

    // Opens the folder at path for reading, never through a link; a folder of another
    // volume than volumeId is not opened. *ownBytes: the folder's own space on the disk.
    WalkOpenResult Open(const std::string& path, uint64_t volumeId, uint64_t* ownBytes);
    // Hands every entry but "." and ".." to the visitor; false when reading failed
    // part-way. Closes the folder.
    bool Read(WalkVisitor* visitor);

private:
    struct State;
    State* m_state;
};

// The volume path lies on: its number, its used space in bytes, and whether path is the
// volume's root (where the scan can account for the whole used space). False when path is
// not a folder that can be measured.
struct WalkVolume {
    uint64_t id = 0;
    uint64_t usedBytes = 0;
    bool isRoot = false;
};
bool WalkVolumeOf(const std::string& path, WalkVolume* volume);

// A folder and a name joined with the platform's separator (a root keeps its one).
std::string WalkJoin(const std::string& folder, const char* name);

// Lowers the calling thread to background I/O and CPU priority (Linux: the idle I/O class
// and nice 19; Windows: THREAD_MODE_BACKGROUND_BEGIN). False when the system refused.
bool WalkLowerThreadPriority();
