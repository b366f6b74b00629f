// Send and receive one file by infrared: the OBEX exchanges (tools/obex.h)
// on the infrared sockets (platform/irsock.h). Both calls block; each runs
// on its progress dialog's worker thread.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>

#include "tools/obex.h"

// How many discovery and connection attempts the sender makes, and the pause
// after each failed one.
constexpr int kIrdaAttempts = 10;
constexpr int kIrdaRetryMs = 200;

// Waits for one OBEX connection on the service "OBEX" and stores the file
// pushed in it in `folder`. The callback is asked about every 100 ms while
// no connection came; a nonzero answer ends the wait with 0. Returns 1 when
// a whole file was stored and the peer disconnected; `name` (capacity
// `nameCapacity` characters, at least 1) then holds its name. When a response
// could not be sent, `*sendError` (if given) receives the system's error
// code, or -1 when the system gave none; otherwise it is set to 0.
int IrdaReceiveFile(const wchar_t* folder, wchar_t* name, size_t nameCapacity, IrdaProgressCallback callback,
                    void* context, int* sendError = nullptr);

// Finds a device, connects to its OBEX service and pushes folder + file
// under the file's base name. Each discovery and connection attempt is
// reported as minus its number; a nonzero answer there or before a body
// chunk ends the send with 0. Returns 1 when the whole file was acknowledged.
int IrdaSendFile(const wchar_t* folder, const wchar_t* file, IrdaProgressCallback callback, void* context);
