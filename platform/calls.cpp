// The record of calls made to the platform layer.
#include "platform/internal.h"

#include <mutex>

namespace {
std::mutex g_callsLock;
std::vector<HandheldCallRecord> g_calls;
}  // namespace

void RecordHandheldCall(HandheldCall call, HWND window, uint32_t value) {
    std::lock_guard<std::mutex> hold(g_callsLock);
    g_calls.push_back({call, window, value});
}

std::vector<HandheldCallRecord> HandheldCalls() {
    std::lock_guard<std::mutex> hold(g_callsLock);
    return g_calls;
}

void ClearHandheldCalls() {
    std::lock_guard<std::mutex> hold(g_callsLock);
    g_calls.clear();
}
