// POSIX side of whole-file replacement.
#include "mlib/mfileops.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<unsigned> g_counter{0};

// The most mode bits a file the program writes gets.
const mode_t MAX_MODE = 0644;

bool TrustedOwner(uid_t owner) {
    return owner == geteuid() || owner == 0;
}

// What a name turns out to be once the trusted links at it are followed.
enum NameKind { NAME_MISSING, NAME_REGULAR, NAME_OTHER, NAME_FOREIGN_LINK, NAME_FAILED };

// Follows the trusted links at path, each looked at through a handle of the link itself
// (O_PATH), so that its owner and its text belong to the same link even when the name is
// swapped meanwhile. *where is the name the links end at (path itself when it is none),
// and *linked tells whether path was a link.
NameKind FollowTrusted(const char* path, std::string* where, bool* linked) {
    std::string current = path;
    *linked = false;
    for (int hop = 0; hop < 40; hop++) {
        *where = current;
        int handle = open(current.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (handle < 0) {
            return errno == ENOENT ? NAME_MISSING : NAME_FAILED;
        }
        struct stat info;
        if (fstat(handle, &info) != 0) {
            close(handle);
            return NAME_FAILED;
        }
        if (!S_ISLNK(info.st_mode)) {
            close(handle);
            // A folder cannot be written as a file: the write itself fails, as ever.
            return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode) ? NAME_REGULAR : NAME_OTHER;
        }
        if (!TrustedOwner(info.st_uid)) {
            close(handle);
            return NAME_FOREIGN_LINK;
        }
        *linked = true;
        char text[PATH_MAX];
        ssize_t length = readlinkat(handle, "", text, sizeof text);
        close(handle);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof text) {
            return NAME_FAILED;
        }
        std::string next(text, static_cast<size_t>(length));
        current = next[0] == '/' ? next : MJoinPath(MFolderOf(current.c_str()), next);
    }
    return NAME_FAILED;  // a loop of links
}

// The name a write of path under rule goes to; false, with *refused set for a name that is
// not to be written, when it cannot be written at all.
bool WriteName(const char* path, MLinkRule rule, std::string* name, bool* refused) {
    bool linked = false;
    NameKind kind = FollowTrusted(path, name, &linked);
    *refused = kind == NAME_OTHER || kind == NAME_FOREIGN_LINK;
    if (kind == NAME_FAILED || *refused) {
        return false;
    }
    if (rule == M_LINK_REPLACE_NAME) {
        *name = path;
    }
    return true;
}

}  // namespace

MNewFile::MNewFile() : m_file(-1), m_written(0), m_error(0), m_refused(false), m_foreign(false) {}

MNewFile::~MNewFile() {
    Delete();
}

bool MNewFile::Create(const char* target, MLinkRule rule) {
    Delete();
    m_written = 0;
    m_refused = false;
    m_foreign = false;
    if (!WriteName(target, rule, &m_target, &m_refused)) {
        m_error = m_refused ? EPERM : static_cast<unsigned long>(errno);
        return false;
    }
    // A folder is never replaced by a file. A file of another user is replaced only by root,
    // which hands the new file to the same owner and group: else a run as root would leave
    // the owner a file it can no longer write or read.
    struct stat old;
    bool replaces = lstat(m_target.c_str(), &old) == 0;
    if (replaces && (S_ISDIR(old.st_mode) ||
                     (S_ISREG(old.st_mode) && old.st_uid != geteuid() && geteuid() != 0))) {
        m_refused = true;
        m_foreign = !S_ISDIR(old.st_mode);
        m_error = EPERM;
        return false;
    }
    replaces = replaces && S_ISREG(old.st_mode);
    std::string folder = MFolderOf(m_target.c_str());
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string path = MJoinPath(folder, MNewFileName(MCurrentProcessId(), g_counter++));
        int file =
            open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, MAX_MODE);
        if (file >= 0) {
            m_file = file;
            m_path = path;
            // The new file keeps the owner, the group (where the program may give it) and
            // the permissions of the regular file it replaces, within MAX_MODE: a set-uid
            // bit or a write bit for others is not handed on.
            if (replaces && (old.st_uid != geteuid() || old.st_gid != getegid())) {
                if (fchown(m_file, old.st_uid, old.st_gid) != 0 && old.st_uid != geteuid()) {
                    m_error = static_cast<unsigned long>(errno);
                    Delete();
                    return false;
                }
            }
            if (replaces && fchmod(m_file, old.st_mode & MAX_MODE) != 0) {
                m_error = static_cast<unsigned long>(errno);
                Delete();
                return false;
            }
            return true;
        }
        if (errno != EEXIST) {
            m_error = static_cast<unsigned long>(errno);
            return false;
        }
    }
    m_error = EEXIST;
    return false;
}

bool MNewFile::Write(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    bool full = !FitWriteLimit(&size);
    while (size > 0) {
        ssize_t written = write(m_file, bytes, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_error = static_cast<unsigned long>(errno);
            return false;
        }
        m_written += static_cast<uint64_t>(written);
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    if (full) {
        m_error = ENOSPC;
        return false;
    }
    return true;
}

bool MNewFile::FlushBuffers() {
    if (fsync(m_file) != 0) {
        m_error = static_cast<unsigned long>(errno);
        return false;
    }
    return true;
}

bool MNewFile::MoveOver() {
    if (!Close()) {
        return false;
    }
    if (rename(m_path.c_str(), m_target.c_str()) != 0) {
        m_error = static_cast<unsigned long>(errno);
        return false;
    }
    m_path.clear();
    // Make the rename itself durable. The new content is in place whatever this answers,
    // so a failure here is not a failure of the replacement.
    int folder = open(MFolderOf(m_target.c_str()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

void MNewFile::Delete() {
    Close();
    if (!m_path.empty()) {
        unlink(m_path.c_str());  // a leftover is harmless; nothing more can be done
        m_path.clear();
    }
}

bool MNewFile::Close() {
    bool closed = true;
    if (m_file >= 0) {
        closed = close(m_file) == 0;
        if (!closed) {
            m_error = static_cast<unsigned long>(errno);
        }
        m_file = -1;
    }
    return closed;
}

MFileReader::MFileReader() : m_file(-1) {}

MFileReader::~MFileReader() {
    Close();
}

// The type is looked at before the open, so that no device is opened at all (opening one
// can have effects of its own), and again on the open file, in case the name was swapped
// in between. O_NONBLOCK keeps a FIFO put there meanwhile from stalling the open.
MReadResult MFileReader::Open(const char* path) {
    Close();
    struct stat info;
    if (stat(path, &info) != 0) {
        return errno == ENOENT ? M_READ_MISSING : M_READ_OPEN_FAILED;
    }
    if (!S_ISREG(info.st_mode)) {
        return M_READ_NOT_REGULAR;
    }
    int file = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) {
        return errno == ENOENT ? M_READ_MISSING : M_READ_OPEN_FAILED;
    }
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(file);
        return M_READ_NOT_REGULAR;
    }
    m_file = file;
    return M_READ_DONE;
}

long MFileReader::Read(void* buffer, size_t size) {
    for (;;) {
        ssize_t got = read(m_file, buffer, size);
        if (got >= 0) {
            return static_cast<long>(got);
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

void MFileReader::Close() {
    if (m_file >= 0) {
        close(m_file);
        m_file = -1;
    }
}

unsigned long MCurrentProcessId() {
    return static_cast<unsigned long>(getpid());
}

// A process of another user answers EPERM: it runs.
bool MProcessRuns(unsigned long pid) {
    if (pid == 0 || pid > static_cast<unsigned long>(INT_MAX)) {
        return true;  // not a process of its own; better kept than wrongly deleted
    }
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string MNewFileFolder(const char* target, MLinkRule rule) {
    std::string name;
    bool linked = false;
    if (rule == M_LINK_REPLACE_NAME || FollowTrusted(target, &name, &linked) == NAME_FAILED) {
        name = target;
    }
    return MFolderOf(name.c_str());
}

std::vector<std::string> MFolderNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) {
        return names;
    }
    while (const struct dirent* entry = readdir(listing)) {
        names.push_back(entry->d_name);
    }
    closedir(listing);
    return names;
}

bool MDeleteFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

namespace {

bool WriteAll(int file, const char* bytes, size_t size) {
    while (size > 0) {
        ssize_t written = write(file, bytes, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

// O_NOFOLLOW keeps a link put at the name after it was looked at from being written
// through, O_NONBLOCK a FIFO put there from holding the open; the kind is checked again on
// the open file.
MAppendResult MAppendFile(const char* path, const void* data, size_t size, const char* lineEnd) {
    std::string name;
    bool refused = false;
    if (!WriteName(path, M_LINK_FOLLOW_TRUSTED, &name, &refused)) {
        return refused ? M_APPEND_REFUSED : M_APPEND_OPEN_FAILED;
    }
    int file = open(name.c_str(),
                    O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                    MAX_MODE);
    if (file < 0) {
        return errno == ELOOP || errno == ENXIO ? M_APPEND_REFUSED : M_APPEND_OPEN_FAILED;
    }
    struct stat info;
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(file);
        return M_APPEND_REFUSED;
    }
    char last = '\n';
    bool written = true;
    if (info.st_size > 0 && pread(file, &last, 1, info.st_size - 1) == 1 && last != '\n') {
        written = WriteAll(file, lineEnd, strlen(lineEnd));
    }
    written = written && WriteAll(file, static_cast<const char*>(data), size);
    written = close(file) == 0 && written;
    return written ? M_APPEND_DONE : M_APPEND_WRITE_FAILED;
}

MFileLock::MFileLock() : m_file(-1) {}

MFileLock::~MFileLock() {
    Unlock();
}

// Read-only is enough for flock: whoever may open the file may hold the lock. So it is
// made for one user alone, and one that a user made who could not otherwise change the
// files beside it (not this program's user, not root, not the folder's owner) is not taken
// part in. Root makes it for the folder's owner: a run as root (fsw --once) leaves the
// service a lock file it can use.
MFileLock::Result MFileLock::Open(const char* path) {
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    bool created = true;
    int file = open(path, flags | O_CREAT | O_EXCL, 0600);
    if (file < 0 && errno == EEXIST) {
        created = false;
        file = open(path, flags);
    }
    if (file < 0) {
        return UNAVAILABLE;
    }
    struct stat info;
    struct stat folder;
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode) ||
        stat(MFolderOf(path).c_str(), &folder) != 0) {
        close(file);
        return UNAVAILABLE;
    }
    if (!TrustedOwner(info.st_uid) && info.st_uid != folder.st_uid) {
        close(file);
        return REFUSED;
    }
    if (created && geteuid() == 0 && folder.st_uid != 0) {
        // Where it cannot be given, it stays root's: the owner then writes without it.
        bool given = fchown(file, folder.st_uid, folder.st_gid) == 0;
        static_cast<void>(given);
    } else if (info.st_uid == geteuid() && (info.st_mode & 077) != 0) {
        fchmod(file, 0600);  // made by an earlier version; one who has it open keeps it
    }
    m_file = file;
    return HELD;
}

bool MFileLock::TryLock() {
    while (flock(m_file, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

void MFileLock::Unlock() {
    if (m_file >= 0) {
        close(m_file);  // lets go of the lock
        m_file = -1;
    }
}
