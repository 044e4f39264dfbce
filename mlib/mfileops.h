// Whole-file replacement that never leaves a half-written file: the new content goes
// into a file beside the old one, is flushed to the disk and only then moved over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mlib/msys.h"

// How a write treats a symbolic link at the name it is given. A link is trusted when it
// belongs to the user the program runs as or to the administrator (root), who could write
// the file anyway; a link of any other user is never written through, since whoever can
// write the folder could point it at any file the program may write. (Windows: no owner
// check; only regular files are written, never a device, a pipe or a folder.)
enum MLinkRule {
    M_LINK_FOLLOW_TRUSTED,  // a trusted link is followed: the file it names is written
    M_LINK_REPLACE_NAME,    // the name itself is replaced, never what a link points to
};

// A new file beside the file it is to replace (same folder, so the move is a rename).
class MNewFile {
public:
    MNewFile();
    ~MNewFile();  // deletes the new file unless it was moved into place
    MNewFile(const MNewFile&) = delete;
    MNewFile& operator=(const MNewFile&) = delete;

    // Creates an empty file in the folder of target, named by MNewFileName after this process
    // and a counter, so that no two files can collide (created exclusively; another name is
    // tried when one exists). Its path may be longer than the folder's other paths.
    // What is at target, reached as rule says, must not be a device, a FIFO or a socket,
    // nor another user's link, nor a folder: else Refused() tells so and nothing is created.
    // New files get mode 0644 at most; one that replaces a file keeps that file's permissions
    // within 0644 (never set-uid or set-gid), and its owner and group where the program may
    // give them. A file of another user is replaced only by root (POSIX): for others it is
    // refused, and Foreign() tells so.
    bool Create(const char* target, MLinkRule rule = M_LINK_FOLLOW_TRUSTED);
    bool Refused() const { return m_refused; }
    bool Foreign() const { return m_foreign; }
    bool Write(const void* data, size_t size);  // true only when every byte was written
    bool FlushBuffers();
    // Closes the file and moves it over the target, replacing it (MoveFileExA with
    // MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; rename and fsync of the folder).
    bool MoveOver();
    void Delete();  // closes and deletes the new file
    unsigned long LastError() const { return m_error; }

private:
    bool Close();
    // Cuts size to what the tests' write limit still lets through; false when it was cut.
    bool FitWriteLimit(size_t* size) const;

    MNativeFile m_file;
    std::string m_path;    // the new file
    std::string m_target;  // the file it replaces
    uint64_t m_written;    // bytes written so far
    unsigned long m_error;
    bool m_refused;
    bool m_foreign;
};

enum MReplaceResult {
    M_REPLACE_DONE,          // the file holds the new content
    M_REPLACE_OPEN_FAILED,   // no new file could be created; the old one is untouched
    M_REPLACE_WRITE_FAILED,  // writing, flushing or moving failed; the old one is untouched
    M_REPLACE_REFUSED,       // a device, a FIFO or another user's link: nothing written
};

// Writes data as the whole new content of path.
MReplaceResult MReplaceFile(const char* path, const void* data, size_t size,
                            MLinkRule rule = M_LINK_FOLLOW_TRUSTED);

enum MAppendResult {
    M_APPEND_DONE,
    M_APPEND_REFUSED,       // a device, a FIFO or another user's link: nothing written
    M_APPEND_OPEN_FAILED,   // the file could not be opened or created: nothing written
    M_APPEND_WRITE_FAILED,  // a write failed: part of the data may be in the file
};

// Appends data to the regular file at path, creating it (mode 0644 at most) when missing.
// A trusted link is followed; another user's link and anything but a regular file are
// refused before a byte is written, and the open never waits (a FIFO cannot hold it).
// When the file is not empty and its last byte is not a line feed, lineEnd goes first, so
// that a line cut short before keeps the new data off it.
MAppendResult MAppendFile(const char* path, const void* data, size_t size, const char* lineEnd);

// An exclusive lock that processes (and objects of one process) take on a lock file, so
// that writers of one file take turns. The lock file is created when missing (mode 0600,
// never through a link; root gives it to the folder's owner) and stays; only the lock goes
// with Unlock or the process. Since opening the file is enough to hold the lock, a lock
// file of another user than the program's own, root or the folder's owner is refused, and
// an own one open to others is made 0600 again. (Windows: no owner check.)
class MFileLock {
public:
    MFileLock();
    ~MFileLock();  // unlocks
    MFileLock(const MFileLock&) = delete;
    MFileLock& operator=(const MFileLock&) = delete;

    enum Result {
        HELD,
        BUSY,         // another held it all the time waited
        UNAVAILABLE,  // the lock file cannot be opened or created (answered at once)
        REFUSED,      // the lock file belongs to another user: not used (answered at once)
    };
    // Waits at most milliseconds for the lock.
    Result Lock(const char* path, unsigned milliseconds);
    void Unlock();

private:
    Result Open(const char* path);  // the lock file, without locking it: HELD when open
    bool TryLock();                 // false while another holds the lock
    MNativeFile m_file;
};

// How reading a file ended.
enum MReadResult {
    M_READ_DONE,         // bytes holds the whole file
    M_READ_MISSING,      // there is no such file; bytes is empty
    M_READ_OPEN_FAILED,  // it exists but cannot be opened; bytes is empty
    M_READ_NOT_REGULAR,  // a folder, a device, a FIFO or a socket: nothing read, bytes empty
    M_READ_TOO_LARGE,    // longer than the limit: bytes holds the first limit bytes
    M_READ_FAILED,       // a read failed; bytes holds what came before it
};

// A regular file opened for reading. Opening never waits (a FIFO without a writer cannot
// stall it), and anything but a regular file is refused before a byte is read, so that a
// device cannot flood the reader.
class MFileReader {
public:
    MFileReader();
    ~MFileReader();
    MFileReader(const MFileReader&) = delete;
    MFileReader& operator=(const MFileReader&) = delete;

    // M_READ_DONE when the file is open; any other result leaves it closed.
    MReadResult Open(const char* path);
    // Reads up to size bytes: their number, 0 at the end of the file, -1 when reading fails.
    long Read(void* buffer, size_t size);
    void Close();

private:
    MNativeFile m_file;
};

// The lines of an open file, read a chunk at a time, so that a file of any size is read in
// bounded memory.
class MLineReader {
public:
    struct Piece {
        const char* data;  // valid until the next call
        size_t size;
        bool starts;  // the piece starts a line
        bool ends;    // the piece ends with the line's line feed
    };

    explicit MLineReader(MFileReader* file, size_t bufferSize = 1u << 20);
    // The next line with its line feed (starts and ends). A line longer than the buffer
    // comes in pieces, the last bytes of the file without a line feed as one that does not
    // end. False at the end of the file or when reading failed (Failed).
    bool Next(Piece* piece);
    bool Failed() const { return m_failed; }

private:
    MFileReader* m_file;
    std::vector<char> m_buffer;
    size_t m_begin;  // the unread bytes of the buffer
    size_t m_end;
    bool m_midLine;  // the next piece goes on with a line
    bool m_atEnd;
    bool m_failed;
};

// Reads at most limit bytes of a regular file into bytes.
MReadResult MReadFile(const char* path, size_t limit, std::string* bytes);

// Reads a whole regular file of at most M_READ_WHOLE_LIMIT bytes. False when it cannot be
// opened or read, is not a regular file or is larger; *missing tells whether it does not exist.
const size_t M_READ_WHOLE_LIMIT = 64u << 20;
bool MReadWholeFile(const char* path, std::string* bytes, bool* missing);

// Deletes the new files that processes of this program left beside target (where MNewFile
// makes them) when they ended half-way, killed before moving them into place: files of
// MNewFile's naming whose process no longer runs. A live process's file is never touched.
// Answers the paths deleted. The rule is the one the writes of target follow.
std::vector<std::string> MRemoveStaleNewFiles(const char* target,
                                              MLinkRule rule = M_LINK_FOLLOW_TRUSTED);

// The name MNewFile gives its n-th new file in the process pid, and the reverse: false for
// a name of any other form.
std::string MNewFileName(unsigned long pid, unsigned n);
bool MParseNewFileName(const std::string& name, unsigned long* pid);

// The platform side of the functions above.
unsigned long MCurrentProcessId();
bool MProcessRuns(unsigned long pid);  // true also when it cannot be told
// The folder in which MNewFile puts the new file for target.
std::string MNewFileFolder(const char* target, MLinkRule rule);
// The names of the entries of a folder; empty when it cannot be listed.
std::vector<std::string> MFolderNames(const std::string& folder);
bool MDeleteFile(const std::string& path);

// A folder and a name joined with the platform's separator.
std::string MJoinPath(const std::string& folder, const std::string& name);

// The folder part of a path, without its last separator ("." when it has none); the
// separators ('\\' and '/') are found at character boundaries of the build's code page.
std::string MFolderOf(const char* path);

// For tests: every new file fails to take more than limit bytes, as on a full disk
// (writes up to the limit succeed, the one that crosses it fails after writing part).
// A negative limit ends this.
void MSetNewFileWriteLimit(int64_t limit);
