// The folder scan's reading on Linux: getdents64 with a large buffer on a folder opened
// without following links, and fstatat relative to it for each entry.
#include "app/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const size_t BUFFER_SIZE = 256 * 1024;

// The record getdents64 fills (linux_dirent64).
struct DirentRecord {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

// From linux/ioprio.h, which not every C library's headers carry.
const int IOPRIO_WHO_PROCESS_ = 1;
const int IOPRIO_CLASS_IDLE_ = 3;
const int IOPRIO_CLASS_SHIFT_ = 13;

}  // namespace

struct WalkFolder::State {
    int fd = -1;
    std::vector<char> buffer;
};

WalkFolder::WalkFolder() : m_state(new State) {}

WalkFolder::~WalkFolder() {
    if (m_state->fd >= 0) {
        close(m_state->fd);
    }
    delete m_state;
}

WalkOpenResult WalkFolder::Open(const std::string& path, uint64_t volumeId, uint64_t* ownBytes) {
    *ownBytes = 0;
    if (m_state->fd >= 0) {
        close(m_state->fd);
    }
    m_state->fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (m_state->fd < 0) {
        int error = errno;
        // A folder that cannot be listed still takes its own space, as du counts it.
        if ((error == EACCES || error == EPERM) && lstat(path.c_str(), &st) == 0 &&
            S_ISDIR(st.st_mode)) {
            if (static_cast<uint64_t>(st.st_dev) != volumeId) {
                return WALK_OTHER_VOLUME;
            }
            *ownBytes = static_cast<uint64_t>(st.st_blocks) * 512;
            return WALK_UNREADABLE;
        }
        return error == ENOENT || error == ENOTDIR || error == ELOOP ? WALK_GONE : WALK_UNREADABLE;
    }
    if (fstat(m_state->fd, &st) != 0) {
        close(m_state->fd);
        m_state->fd = -1;
        return WALK_UNREADABLE;
    }
    if (static_cast<uint64_t>(st.st_dev) != volumeId) {
        close(m_state->fd);
        m_state->fd = -1;
        return WALK_OTHER_VOLUME;
    }
    *ownBytes = static_cast<uint64_t>(st.st_blocks) * 512;
    return WALK_OPENED;
}

bool WalkFolder::Read(WalkVisitor* visitor) {
    int fd = m_state->fd;
    if (fd < 0) {
        return false;
    }
    if (m_state->buffer.empty()) {
        m_state->buffer.resize(BUFFER_SIZE);
    }
    char* buffer = m_state->buffer.data();
    bool ok = true;
    bool going = true;
    while (going) {
        long got = syscall(SYS_getdents64, fd, buffer, BUFFER_SIZE);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (long at = 0; at < got && going;) {
            const DirentRecord* record = reinterpret_cast<const DirentRecord*>(buffer + at);
            at += record->reclen;
            const char* name = record->name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
                continue;
            }
            WalkEntry entry{name, false, 0, record->ino, false, 0};
            if (record->type == DT_DIR) {
                entry.folder = true;
            } else {
                struct stat st;
                if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    continue;  // removed since it was listed
                }
                if (S_ISDIR(st.st_mode)) {
                    entry.folder = true;
                } else {
                    entry.bytes = static_cast<uint64_t>(st.st_blocks) * 512;
                    entry.fileId = static_cast<uint64_t>(st.st_ino);
                    entry.maybeLinked = st.st_nlink > 1;
                    entry.changeTime = static_cast<int64_t>(st.st_mtime);
                }
            }
            going = visitor->OnEntry(entry);
        }
    }
    close(fd);
    m_state->fd = -1;
    return ok;
}

bool WalkVolumeOf(const std::string& path, WalkVolume* volume) {
    struct stat st;
    struct statvfs vfs;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || statvfs(path.c_str(), &vfs) != 0) {
        return false;
    }
    volume->id = static_cast<uint64_t>(st.st_dev);
    volume->usedBytes = static_cast<uint64_t>(vfs.f_blocks - vfs.f_bfree) * vfs.f_frsize;
    struct stat parent;
    std::string up = WalkJoin(path, "..");
    volume->isRoot = stat(up.c_str(), &parent) != 0 || parent.st_dev != st.st_dev ||
                     parent.st_ino == st.st_ino;
    return true;
}

std::string WalkJoin(const std::string& folder, const char* name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    path += name;
    return path;
}

bool WalkLowerThreadPriority() {
    pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
    bool io = syscall(SYS_ioprio_set, IOPRIO_WHO_PROCESS_, thread,
                      IOPRIO_CLASS_IDLE_ << IOPRIO_CLASS_SHIFT_) == 0;
    // On Linux the nice value of a thread id is the thread's own.
    bool cpu = setpriority(PRIO_PROCESS, static_cast<id_t>(thread), 19) == 0;
    return io && cpu;
}
