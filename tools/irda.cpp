// Infrared send and receive over the OBEX exchanges.
#include "tools/irda.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/irsock.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait asks whether the user cancelled.
constexpr int kWaitSliceMs = 100;
// How long the receiver lets a peer that disconnected close first.
constexpr int kPeerCloseWaitMs = 500;

// An infrared connection under an exchange. Each receive waits in slices,
// asking `cancelled` about every kWaitSliceMs (also while bytes flow), and
// gives up after the idle time without a byte; either ends it as an error.
class IrLink : public ObexLink {
public:
    using CancelQuery = int (*)(void* user);
    IrLink(IrSocket socket, int idleTimeoutMs, CancelQuery cancelled, void* user)
        : socket_(socket), idle_(std::chrono::milliseconds(idleTimeoutMs)), cancelled_(cancelled), user_(user) {}
    bool Send(const uint8_t* data, size_t size) override {
        if (IrSend(socket_, data, size) == long(size)) return true;
        const int error = IrLastError();
        if (!sendError_) sendError_ = error ? error : -1;
        return false;
    }
    long Recv(uint8_t* buffer, size_t capacity) override {
        const Clock::time_point deadline = Clock::now() + idle_;
        for (;;) {
            const Clock::time_point now = Clock::now();
            if (now >= nextCancelCheck_) {
                if (cancelled_ && cancelled_(user_)) return -1;
                nextCancelCheck_ = now + std::chrono::milliseconds(kWaitSliceMs);
            }
            if (now >= deadline) return -1;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            const int ready = IrWaitReadable(socket_, int(std::min<long long>(left, kWaitSliceMs)) + 1);
            if (ready < 0) return -1;
            if (ready > 0) return IrRecv(socket_, buffer, capacity);
        }
    }
    // The system's code of the first failed send (-1 when it gave none); 0 while none failed.
    int sendError() const { return sendError_; }

private:
    IrSocket socket_;
    Clock::duration idle_;
    CancelQuery cancelled_;
    void* user_;
    Clock::time_point nextCancelCheck_{};
    int sendError_ = 0;
};

// The socket library for the length of one call.
class IrSession {
public:
    IrSession() : started_(IrStartup() == 0) {}
    ~IrSession() {
        if (started_) IrCleanup();
    }
    IrSession(const IrSession&) = delete;
    IrSession& operator=(const IrSession&) = delete;
    bool started() const { return started_; }

private:
    bool started_;
};

class IrSocketHolder {
public:
    explicit IrSocketHolder(IrSocket socket) : socket_(socket) {}
    ~IrSocketHolder() { Reset(); }
    IrSocketHolder(const IrSocketHolder&) = delete;
    IrSocketHolder& operator=(const IrSocketHolder&) = delete;
    IrSocket get() const { return socket_; }
    void Reset() {
        if (socket_ != kIrInvalidSocket) IrClose(socket_);
        socket_ = kIrInvalidSocket;
    }

private:
    IrSocket socket_;
};

int Ask(IrdaProgressCallback callback, void* context, int value) {
    return callback ? callback(context, nullptr, value) : 0;
}

// The receiver's callback asked with no text and value 0, as while it waits
// for a connection.
struct ReceiveProgress {
    IrdaProgressCallback callback;
    void* context;
    static int Cancelled(void* self) {
        auto* p = static_cast<ReceiveProgress*>(self);
        return Ask(p->callback, p->context, 0);
    }
};

// The sender's callback, remembering the value it was given last, so that
// the wait for the device can ask again without changing what is shown.
struct SendProgress {
    IrdaProgressCallback callback;
    void* context;
    int last = 0;
    bool cancelled = false;
    static int Forward(void* self, const wchar_t* text, int value) {
        auto* p = static_cast<SendProgress*>(self);
        p->last = value;
        const int stop = p->callback ? p->callback(p->context, text, value) : 0;
        if (stop) p->cancelled = true;
        return stop;
    }
    int Ask(int value) { return Forward(this, nullptr, value); }
    static int Cancelled(void* self) {
        auto* p = static_cast<SendProgress*>(self);
        return p->Ask(p->last);
    }
};

}  // namespace

int IrdaReceiveFile(const wchar_t* folder, std::vector<std::wstring>* names, IrdaProgressCallback callback,
                    void* context, int* sendError, int idleTimeoutMs) {
    if (sendError) *sendError = 0;
    if (names) names->clear();
    IrSession session;
    if (!session.started()) return 0;
    IrSocketHolder listening(IrOpenStream());
    if (listening.get() == kIrInvalidSocket) return 0;
    static const uint8_t kTinyTp[12] = {'P', 'i', 'c', 't', 'u', 'r', 'e', ' ', 'O', 'B', 'E', 'X'};
    if (IrSetIasString(listening.get(), "OBEX", "IrDA:TinyTP", kTinyTp, sizeof kTinyTp) != 0 ||
        IrBind(listening.get(), "OBEX") != 0 || IrListen(listening.get(), 2) != 0)
        return 0;
    for (;;) {
        const int ready = IrWaitReadable(listening.get(), kWaitSliceMs);
        if (ready < 0) return 0;
        if (ready > 0) break;
        if (Ask(callback, context, 0)) return 0;
    }
    IrSocketHolder connection(IrAccept(listening.get()));
    listening.Reset();
    if (connection.get() == kIrInvalidSocket) return 0;
    ReceiveProgress progress{callback, context};
    IrLink link(connection.get(), idleTimeoutMs, ReceiveProgress::Cancelled, &progress);
    const int result = ObexServeConnection(link, folder ? folder : L"", callback, context, names);
    if (sendError) *sendError = link.sendError();
    if (result == kObexReceiveDone) {
        // The peer closes first after DISCONNECT, so the closing wait stays on
        // its side and a fixed service port can be bound again at once. A peer
        // that keeps sending instead is not waited for past kPeerCloseWaitMs.
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kPeerCloseWaitMs);
        uint8_t rest[256];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || IrWaitReadable(connection.get(), int(left)) <= 0 ||
                IrRecv(connection.get(), rest, sizeof rest) <= 0)
                break;
        }
    }
    return result;
}

int IrdaSendFile(const wchar_t* folder, const wchar_t* file, IrdaProgressCallback callback, void* context,
                 int idleTimeoutMs) {
    if (!file) return kIrdaSendFailed;
    IrSession session;
    if (!session.started()) return kIrdaSendFailed;
    IrSocketHolder socket(IrOpenStream());
    if (socket.get() == kIrInvalidSocket) return kIrdaSendFailed;
    SendProgress progress{callback, context};

    IrDeviceInfo devices[8];
    int found = 0;
    for (int attempt = 0; attempt < kIrdaAttempts && found == 0; ++attempt) {
        if (progress.Ask(-attempt)) return kIrdaSendCancelled;
        found = IrEnumerateDevices(devices, 8);
        if (found < 0) return kIrdaSendFailed;
        if (found == 0) std::this_thread::sleep_for(std::chrono::milliseconds(kIrdaRetryMs));
    }
    if (found == 0) return kIrdaSendNoDevice;

    int32_t lsap = 0;
    // The answer comes from the other device: only a real selector names a service.
    if (IrQueryIasInteger(devices[0].id, "OBEX", "IrDA:TinyTP:LsapSel", &lsap) != 0 || lsap < kIrLsapMin ||
        lsap > kIrLsapMax)
        return kIrdaSendFailed;
    char service[32];
    std::snprintf(service, sizeof service, "LSAP-SEL%d", int(lsap));
    bool connected = false;
    for (int attempt = 0; attempt < kIrdaAttempts && !connected; ++attempt) {
        if (progress.Ask(-attempt)) return kIrdaSendCancelled;
        connected = IrConnect(socket.get(), devices[0].id, service) == 0;
        if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(kIrdaRetryMs));
    }
    if (!connected) return kIrdaSendFailed;

    IrLink link(socket.get(), idleTimeoutMs, SendProgress::Cancelled, &progress);
    const std::wstring path = std::wstring(folder ? folder : L"") + file;
    if (ObexPushFile(link, path, SendProgress::Forward, &progress)) return kIrdaSendDone;
    return progress.cancelled ? kIrdaSendCancelled : kIrdaSendFailed;
}
