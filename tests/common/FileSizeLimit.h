#pragma once
// Caps the size of the files this process may write, for as long as the object lives: the way to make a
// write fail halfway whoever runs the test (root ignores a read-only folder). SIGXFSZ is ignored
// meanwhile, so an over-long write fails with EFBIG instead of killing the process.
#include <sys/resource.h>

#include <csignal>

namespace qvtest {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0) return;
        rlimit capped = m_saved;
        capped.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &capped) == 0;
    }
    ~FileSizeLimit() {
        if (m_active) ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_previousHandler)(int) = SIG_DFL;
    bool m_active = false;
};

}  // namespace qvtest
