// Loopback TCP and process liveness for the infrared stand-in (POSIX).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/irnet.h"

namespace irnet {

int Startup() { return 0; }
void Cleanup() {}

Handle Listen(uint16_t port, int backlog, uint16_t* actual) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return kInvalid;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        return kInvalid;
    }
    if (actual) *actual = ntohs(address.sin_port);
    return fd;
}

static void NoDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

Handle Accept(Handle listening) {
    int fd;
    do fd = ::accept(int(listening), nullptr, nullptr);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return kInvalid;
    NoDelay(fd);
    return fd;
}

Handle Connect(const char* host, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host, &address.sin_addr) != 1) return kInvalid;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return kInvalid;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return kInvalid;
    }
    NoDelay(fd);
    return fd;
}

int LastError() { return errno; }

long Send(Handle handle, const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    size_t left = length;
    while (left) {
        const ssize_t n = ::send(int(handle), p, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        p += n;
        left -= size_t(n);
    }
    return long(length);
}

long Recv(Handle handle, void* buffer, size_t capacity) {
    for (;;) {
        const ssize_t n = ::recv(int(handle), buffer, capacity, 0);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : long(n);
    }
}

int WaitReadable(Handle handle, int timeoutMs) {
    pollfd entry{int(handle), POLLIN, 0};
    for (;;) {
        const int n = ::poll(&entry, 1, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        return n > 0 ? 1 : 0;
    }
}

void Close(Handle handle) {
    if (handle != kInvalid) ::close(int(handle));
}

uint32_t ProcessId() { return uint32_t(::getpid()); }

bool ProcessAlive(uint32_t pid) { return ::kill(pid_t(pid), 0) == 0 || errno == EPERM; }

std::string DefaultRegistryFolder() {
    if (const char* folder = std::getenv("PV_IRDA_REGISTRY"); folder && *folder) {
        std::string text = folder;
        if (text.back() != '/') text += '/';
        return text;
    }
    const char* temp = std::getenv("TMPDIR");
    std::string text = temp && *temp ? temp : "/tmp";
    if (text.back() != '/') text += '/';
    // The temporary folder is shared: a folder of one's own there, so that
    // another user's folder of the common name neither hides nor feeds ours.
    return text + "pv-irda-" + std::to_string(::geteuid()) + "/";
}

bool PrepareRegistryFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) return false;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        // Parents first, as an explicitly given folder may lie deeper.
        for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
            ::mkdir(path.substr(0, slash).c_str(), 0700);
        ::mkdir(path.c_str(), 0700);
    }
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool ReadRegularFile(const std::string& path, size_t maxBytes, std::string* text) {
    // O_NONBLOCK: opening a pipe with no writer, or a device, returns at once.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && uint64_t(info.st_size) <= maxBytes;
    if (ok) {
        // The file may still grow: one byte more than allowed tells so.
        text->assign(maxBytes + 1, '\0');
        size_t fill = 0;
        while (fill < text->size()) {
            const ssize_t n = ::read(fd, &(*text)[fill], text->size() - fill);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            fill += size_t(n);
        }
        text->resize(fill);
        ok = ok && fill <= maxBytes;
    }
    ::close(fd);
    return ok;
}

}  // namespace irnet
