// Send and receive one file by infrared: the OBEX exchanges (tools/obex.h)
// on the infrared sockets (platform/irsock.h). Both calls block; each runs
// on its progress dialog's worker thread.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/obex.h"

// How many discovery and connection attempts the sender makes, and the pause
// after each failed one.
constexpr int kIrdaAttempts = 10;
constexpr int kIrdaRetryMs = 200;
// How long either side waits for the other's next bytes before it gives up.
// A receiving device may ask its user before it answers a PUT, and an
// infrared link is dropped by its own layer after at most 40 s without a
// frame.
constexpr int kIrdaIdleTimeoutMs = 30000;

// Waits for one OBEX connection on the service "OBEX" and stores every
// object pushed in it in `folder`, each under a new name (ObexStoreReceived
// in obex.h: no file is ever replaced). The callback is asked about every
// 100 ms while no connection came, and then while the peer is awaited; a
// nonzero answer ends the call with 0 and closes the connection at once, as
// does a peer silent for `idleTimeoutMs`. Returns ObexServeConnection's
// result: 1 when at least one whole object was stored and the peer
// disconnected, 2 when the peer passed the exchange's limits and the objects
// before were stored; `names` (if given) then holds the stored names. On 0
// nothing received is left behind. When a response
// could not be sent, `*sendError` (if given) receives the system's error
// code, or -1 when the system gave none; otherwise it is set to 0.
int IrdaReceiveFile(const wchar_t* folder, std::vector<std::wstring>* names, IrdaProgressCallback callback,
                    void* context, int* sendError = nullptr, int idleTimeoutMs = kIrdaIdleTimeoutMs);

// How a send ended.
enum IrdaSendResult {
    kIrdaSendFailed = 0,     // the device or the link failed, or the file could not be read
    kIrdaSendDone = 1,       // the whole file was acknowledged
    kIrdaSendNoDevice = 2,   // no device answered the discovery attempts
    kIrdaSendCancelled = 3,  // the callback asked to stop
};

// Finds a device, connects to its OBEX service and pushes folder + file
// under the file's base name. Each discovery and connection attempt is
// reported as minus its number; a nonzero answer there, before a body chunk
// or while the device is awaited (the last value is asked again about every
// 100 ms) ends the send as cancelled and closes the connection at once; a
// device silent for `idleTimeoutMs` ends it as failed. Returns an
// IrdaSendResult.
int IrdaSendFile(const wchar_t* folder, const wchar_t* file, IrdaProgressCallback callback, void* context,
                 int idleTimeoutMs = kIrdaIdleTimeoutMs);
