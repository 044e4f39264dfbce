// POSIX side of whole-file replacement.
#include "mlib/mfileops.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<unsigned> g_counter{0};

// The file a path names, following a symbolic link, so that the link stays a link.
std::string ResolveLink(const char* path) {
    struct stat info;
    if (lstat(path, &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char* resolved = realpath(path, nullptr);
    if (resolved == nullptr) {
        return path;  // a dangling link: it is replaced by the file
    }
    std::string target = resolved;
    free(resolved);
    return target;
}

}  // namespace

MNewFile::MNewFile() : m_file(-1), m_written(0), m_error(0) {}

MNewFile::~MNewFile() {
    Delete();
}

bool MNewFile::Create(const char* target) {
    Delete();
    m_target = ResolveLink(target);
    m_written = 0;
    std::string folder = MFolderOf(m_target.c_str());
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string path = MJoinPath(folder, MNewFileName(MCurrentProcessId(), g_counter++));
        int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file >= 0) {
            m_file = file;
            m_path = path;
            // The new file keeps the permissions of the one it replaces.
            struct stat info;
            if (stat(m_target.c_str(), &info) == 0 && fchmod(m_file, info.st_mode & 07777) != 0) {
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

std::string MNewFileFolder(const char* target) {
    return MFolderOf(ResolveLink(target).c_str());
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
