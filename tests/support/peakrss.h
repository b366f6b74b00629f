// How much memory a piece of work really touches: the growth of the process's
// peak resident set while `work` runs, measured in a forked child so that the
// test process's own heap and an earlier peak do not count, and so that a run
// that would exhaust memory takes only the child down.
//
// Linux only (it reads /proc/self/status and resets the peak through
// /proc/self/clear_refs). Under AddressSanitizer the figure includes the
// shadow of what was touched (an eighth more) and freed blocks in quarantine,
// so limits in tests should leave that room.
#pragma once

#if defined(__linux__)

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

namespace testing_support {

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); 0 if absent.
inline uint64_t ProcStatusBytes(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    uint64_t kib = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') {
            kib = std::strtoull(line + n + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(f);
    return kib * 1024;
}

// Peak resident bytes added while `work` ran in a child process, or nothing
// if the child could not be made or did not finish normally (a crash, or the
// address-space cap below). `cap` bounds the child's address space growth so
// that a runaway allocation fails there instead of swapping the machine; 0
// leaves it alone (ASan reserves terabytes of address space, so sanitizer
// builds must pass 0).
inline std::optional<uint64_t> PeakRssGrowth(const std::function<void()>& work, uint64_t cap = 0) {
    int fds[2];
    if (pipe(fds) != 0) return std::nullopt;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        close(fds[0]);
        if (cap) {
            rlimit limit{cap, cap};
            setrlimit(RLIMIT_AS, &limit);
        }
        // Reset the high-water mark to what is resident now.
        if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", f);
            std::fclose(f);
        }
        const uint64_t before = ProcStatusBytes("VmRSS");
        work();
        const uint64_t peak = ProcStatusBytes("VmHWM");
        const uint64_t growth = peak > before ? peak - before : 0;
        ssize_t ignored = write(fds[1], &growth, sizeof growth);
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    uint64_t growth = 0;
    const bool got = read(fds[0], &growth, sizeof growth) == static_cast<ssize_t>(sizeof growth);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return growth;
}

}  // namespace testing_support

#endif  // __linux__
