// Infrared sockets for the handheld's OBEX exchange, standing in for the
// IrDA address family (22) of the handheld's socket library. A "device" is a
// listening endpoint on loopback TCP, published in a registry of live
// devices (one small text file per device in a shared folder), so that any
// copy of the program on this machine can discover it, query its IAS
// entries and connect to its services by name or by "LSAP-SEL%d". The bytes
// of a connection travel unchanged over TCP, as TinyTP carries them over the
// air, so a device may also be a bridge to a plain TCP OBEX peer.
//
// The registry folder is $PV_IRDA_REGISTRY when set, else a folder of the
// user's own in the system's temporary folder (irnet.h). It is used only
// while no other user could write into it, and only regular files in it are
// read as records. A device lives while the process that published it runs
// (bridges until they are removed).
//
// Portable: the network and process calls are in irsock_posix.cpp and
// irsock_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kAfIrda = 22;
// Socket options at the IrLMP level that the stand-in answers as calls.
constexpr int kIrlmpLevel = 255;
constexpr int kIrlmpEnumDevices = 0x10;
constexpr int kIrlmpIasSet = 0x11;
constexpr int kIrlmpIasQuery = 0x12;

// IrLMP selectors run 1 to 0x6F; a service name has at most 24 characters.
constexpr int kIrLsapMin = 1;
constexpr int kIrLsapMax = 0x6F;
constexpr size_t kIrServiceNameMax = 24;

using IrSocket = intptr_t;
constexpr IrSocket kIrInvalidSocket = -1;

struct IrDeviceInfo {
    uint32_t id;        // the device address connect() takes
    char name[22];      // zero-terminated
};

// Socket library start and clean-up; 0 done.
int IrStartup();
void IrCleanup();

IrSocket IrOpenStream();
void IrClose(IrSocket socket);

// Live devices into `list` (at most `capacity`), returns the count or -1.
int IrEnumerateDevices(IrDeviceInfo* list, int capacity);

// An IAS string attribute the socket's device publishes once it is bound.
int IrSetIasString(IrSocket socket, const char* className, const char* attribute, const uint8_t* value,
                   size_t length);
// The integer attribute of a device's class: "IrDA:TinyTP:LsapSel" of a
// bound service answers its LSAP selector. 0 done, -1 when there is none.
int IrQueryIasInteger(uint32_t device, const char* className, const char* attribute, int32_t* value);

// Binds the service name (for instance "OBEX") on a new device of this
// process; the device becomes visible at IrListen. 0 done.
int IrBind(IrSocket socket, const char* serviceName);
int IrListen(IrSocket socket, int backlog);
// 1 when a connection waits (or data, on a connected socket), 0 after
// `timeoutMs` without, -1 on error. Blocks: no caller needs to poll.
int IrWaitReadable(IrSocket socket, int timeoutMs);
IrSocket IrAccept(IrSocket listening);
// Connects to a device's service named "LSAP-SEL<n>" (n plain decimal digits)
// or by its own name. 0 done.
int IrConnect(IrSocket socket, uint32_t device, const char* serviceName);

// Whole buffer sent, else -1.
long IrSend(IrSocket socket, const void* data, size_t length);
// The system's code of the calling thread's last failed socket call.
int IrLastError();
// Bytes received (at most `capacity`), 0 when the peer closed, -1 on error.
long IrRecv(IrSocket socket, void* buffer, size_t capacity);

// Bridges. A device whose "OBEX" service is a plain TCP OBEX server at
// host:port; returns its device id, 0 on failure.
uint32_t IrAddBridgeDevice(const char* name, const char* host, uint16_t port);
void IrRemoveBridgeDevice(uint32_t device);
// Services of that name bound from now on listen on this TCP port (0: any
// free port), so a plain TCP OBEX client can reach them at a known address.
void IrSetServicePort(const char* serviceName, uint16_t port);

// The registry folder in use (with a trailing separator), and a folder that
// replaces the default for this process (UTF-8; empty restores the default).
std::string IrRegistryFolder();
void IrSetRegistryFolder(const std::string& folder);
