// A real write failure on POSIX that also stops root: the file size limit of the process,
// lowered for one scope. Writes beyond it fail with EFBIG instead of raising SIGXFSZ.
#pragma once

#include <sys/resource.h>
#include <csignal>

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool IsSet() const { return m_set; }

private:
    rlimit m_saved;
    void (*m_handler)(int);
    bool m_set;
};
