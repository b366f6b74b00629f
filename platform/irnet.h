// The network and process calls under the infrared stand-in (irsock.cpp):
// loopback TCP streams and the liveness of the processes that published
// devices. irsock_posix.cpp and irsock_win.cpp implement them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace irnet {

using Handle = intptr_t;
constexpr Handle kInvalid = -1;

int Startup();
void Cleanup();
// A listening stream on 127.0.0.1:port (0 picks one); the port taken in `actual`.
Handle Listen(uint16_t port, int backlog, uint16_t* actual);
Handle Accept(Handle listening);
Handle Connect(const char* host, uint16_t port);
long Send(Handle handle, const void* data, size_t length);
long Recv(Handle handle, void* buffer, size_t capacity);
// The calling thread's code of its last failed network call.
int LastError();
int WaitReadable(Handle handle, int timeoutMs);
void Close(Handle handle);

uint32_t ProcessId();
bool ProcessAlive(uint32_t pid);
// $PV_IRDA_REGISTRY, else a folder of the user's own in the system's
// temporary folder ("pv-irda-<uid>" on POSIX, where that folder is shared by
// all users; "pv-irda" in the per-user one on Windows); with a trailing
// separator, UTF-8.
std::string DefaultRegistryFolder();
// Makes the registry folder when it is missing (open to this user alone) and
// says whether it may be used: a real folder, not a link to one, and on POSIX
// owned by this user and writable by no one else, so that no other user can
// plant or change the records read from it.
bool PrepareRegistryFolder(const std::string& folder);
// The whole content of a record file into `text`: false unless it is a
// regular file (not a link, pipe or device) of at most `maxBytes`. Opening
// never blocks, whatever stands under the name.
bool ReadRegularFile(const std::string& path, size_t maxBytes, std::string* text);

}  // namespace irnet
