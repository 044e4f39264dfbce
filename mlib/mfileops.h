// Whole-file replacement that never leaves a half-written file: the new content goes
// into a file beside the old one, is flushed to the disk and only then moved over it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mlib/msys.h"

// A new file beside the file it is to replace (same folder, so the move is a rename).
class MNewFile {
public:
    MNewFile();
    ~MNewFile();  // deletes the new file unless it was moved into place
    MNewFile(const MNewFile&) = delete;
    MNewFile& operator=(const MNewFile&) = delete;

    // Creates an empty file with a name of its own in the folder of target
    // (GetTempFileNameA and CreateFileA; open with O_EXCL).
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

// Reads a whole file. False when it cannot be opened or read; *missing tells whether it
// does not exist.
bool MReadWholeFile(const char* path, std::string* bytes, bool* missing);

// The folder part of a path, without its last separator ("." when it has none); the
// separators ('\\' and '/') are found at character boundaries of the build's code page.
std::string MFolderOf(const char* path);

// For tests: every new file fails to take more than limit bytes, as on a full disk
// (writes up to the limit succeed, the one that crosses it fails after writing part).
// A negative limit ends this.
void MSetNewFileWriteLimit(int64_t limit);
