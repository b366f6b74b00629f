// Fault injection for tests of code that rewrites a user's file: while a
// FileSizeLimit lives, no file of this process can grow past a size, so a
// write fails part-way (EFBIG) the way a full card would. POSIX only; the
// Win32 build has no such limit and tests skip there.
#pragma once

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>

namespace testing_support {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
    bool active_ = false;
};

}  // namespace testing_support
#endif
