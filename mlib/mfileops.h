// Whole-file replacement that never leaves a half-written file: the new content goes
// into a file beside the old one, is flushed to the disk and only then moved over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mlib/msys.h"

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
    bool Create(const char* target);
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
};

enum MReplaceResult {
    M_REPLACE_DONE,          // the file holds the new content
    M_REPLACE_OPEN_FAILED,   // no new file could be created; the old one is untouched
    M_REPLACE_WRITE_FAILED,  // writing, flushing or moving failed; the old one is untouched
};

// Writes data as the whole new content of path.
MReplaceResult MReplaceFile(const char* path, const void* data, size_t size);

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

// Reads at most limit bytes of a regular file into bytes.
MReadResult MReadFile(const char* path, size_t limit, std::string* bytes);

// Reads a whole regular file of at most M_READ_WHOLE_LIMIT bytes. False when it cannot be
// opened or read, is not a regular file or is larger; *missing tells whether it does not exist.
const size_t M_READ_WHOLE_LIMIT = 64u << 20;
bool MReadWholeFile(const char* path, std::string* bytes, bool* missing);

// Deletes the new files that processes of this program left beside target (where MNewFile
// makes them) when they ended half-way, killed before moving them into place: files of
// MNewFile's naming whose process no longer runs. A live process's file is never touched.
// Answers the paths deleted.
std::vector<std::string> MRemoveStaleNewFiles(const char* target);

// The name MNewFile gives its n-th new file in the process pid, and the reverse: false for
// a name of any other form.
std::string MNewFileName(unsigned long pid, unsigned n);
bool MParseNewFileName(const std::string& name, unsigned long* pid);

// The platform side of the functions above.
unsigned long MCurrentProcessId();
bool MProcessRuns(unsigned long pid);  // true also when it cannot be told
// The folder in which MNewFile puts the new file for target.
std::string MNewFileFolder(const char* target);
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
