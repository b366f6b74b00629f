// Loopback TCP and process liveness for the infrared stand-in (Win32).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

#include "imagelib/textutil.h"
#include "platform/irnet.h"

namespace irnet {

int Startup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : -1;
}
void Cleanup() { WSACleanup(); }

static void NoDelay(SOCKET s) {
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

Handle Listen(uint16_t port, int backlog, uint16_t* actual) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return kInvalid;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int size = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, backlog) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        closesocket(s);
        return kInvalid;
    }
    if (actual) *actual = ntohs(address.sin_port);
    return Handle(s);
}

Handle Accept(Handle listening) {
    const SOCKET s = accept(SOCKET(listening), nullptr, nullptr);
    if (s == INVALID_SOCKET) return kInvalid;
    NoDelay(s);
    return Handle(s);
}

Handle Connect(const char* host, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host, &address.sin_addr) != 1) return kInvalid;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return kInvalid;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return kInvalid;
    }
    NoDelay(s);
    return Handle(s);
}

int LastError() { return WSAGetLastError(); }

long Send(Handle handle, const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    size_t left = length;
    while (left) {
        const int chunk = left > 0x10000 ? 0x10000 : int(left);
        const int n = send(SOCKET(handle), p, chunk, 0);
        if (n <= 0) return -1;
        p += n;
        left -= size_t(n);
    }
    return long(length);
}

long Recv(Handle handle, void* buffer, size_t capacity) {
    const int n = recv(SOCKET(handle), static_cast<char*>(buffer), capacity > 0x10000 ? 0x10000 : int(capacity), 0);
    return n < 0 ? -1 : long(n);
}

int WaitReadable(Handle handle, int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(SOCKET(handle), &readable);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int n = select(0, &readable, nullptr, nullptr, timeoutMs < 0 ? nullptr : &wait);
    if (n == SOCKET_ERROR) return -1;
    return n > 0 ? 1 : 0;
}

void Close(Handle handle) {
    if (handle != kInvalid) closesocket(SOCKET(handle));
}

uint32_t ProcessId() { return GetCurrentProcessId(); }

bool ProcessAlive(uint32_t pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
}

std::string DefaultRegistryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableW(L"PV_IRDA_REGISTRY", buffer, MAX_PATH);
    std::wstring folder;
    if (n > 0 && n < MAX_PATH) {
        folder = buffer;
    } else {
        n = GetTempPathW(MAX_PATH, buffer);
        folder = (n > 0 && n < MAX_PATH) ? std::wstring(buffer) + L"pv-irda" : L"\\Temp\\pv-irda";
    }
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return WideToUtf8(folder.c_str());
}

}  // namespace irnet

namespace irnet {

bool PrepareRegistryFolder(const std::string& folder) {
    std::wstring path = Utf8ToWide(folder.c_str());
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    if (path.empty()) return false;
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() == ERROR_PATH_NOT_FOUND) {
        for (size_t cut = path.find_first_of(L"\\/", 3); cut != std::wstring::npos;
             cut = path.find_first_of(L"\\/", cut + 1))
            CreateDirectoryW(path.substr(0, cut).c_str(), nullptr);
        CreateDirectoryW(path.c_str(), nullptr);
    }
    // The temporary folder is the user's own here; a junction or link in its
    // place could still lead elsewhere.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool ReadRegularFile(const std::string& path, size_t maxBytes, std::string* text) {
    const std::wstring wide = Utf8ToWide(path.c_str());
    // Only a plain file is opened at all: a pipe or device under the name
    // could hold the open.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        return false;
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    bool ok = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
              !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
              info.nFileSizeHigh == 0 && info.nFileSizeLow <= maxBytes;
    if (ok) {
        text->assign(maxBytes + 1, '\0');
        DWORD read = 0;
        ok = ReadFile(file, &(*text)[0], DWORD(text->size()), &read, nullptr) != 0 && read <= maxBytes;
        text->resize(read);
    }
    CloseHandle(file);
    return ok;
}

}  // namespace irnet
