// Loopback TCP and process liveness for the infrared stand-in (POSIX).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
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
    return text + "pv-irda/";
}

}  // namespace irnet
