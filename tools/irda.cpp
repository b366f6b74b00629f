// Infrared send and receive over the OBEX exchanges.
#include "tools/irda.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "imagelib/textutil.h"
#include "platform/irsock.h"

namespace {

class IrLink : public ObexLink {
public:
    explicit IrLink(IrSocket socket) : socket_(socket) {}
    bool Send(const uint8_t* data, size_t size) override {
        if (IrSend(socket_, data, size) == long(size)) return true;
        const int error = IrLastError();
        if (!sendError_) sendError_ = error ? error : -1;
        return false;
    }
    long Recv(uint8_t* buffer, size_t capacity) override { return IrRecv(socket_, buffer, capacity); }
    // The system's code of the first failed send (-1 when it gave none); 0 while none failed.
    int sendError() const { return sendError_; }

private:
    IrSocket socket_;
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

constexpr int kWaitSliceMs = 100;
constexpr int kPeerCloseWaitMs = 500;

int Ask(IrdaProgressCallback callback, void* context, int value) {
    return callback ? callback(context, nullptr, value) : 0;
}

}  // namespace

int IrdaReceiveFile(const wchar_t* folder, wchar_t* name, size_t nameCapacity, IrdaProgressCallback callback,
                    void* context, int* sendError) {
    if (sendError) *sendError = 0;
    if (!name || nameCapacity == 0) return 0;
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
    IrLink link(connection.get());
    std::wstring received;
    const int result = ObexServeConnection(link, folder ? folder : L"", callback, context, &received);
    if (sendError) *sendError = link.sendError();
    // The peer closes first after DISCONNECT, so the closing wait stays on its
    // side and a fixed service port can be bound again at once.
    uint8_t rest[256];
    while (IrWaitReadable(connection.get(), kPeerCloseWaitMs) > 0 && IrRecv(connection.get(), rest, sizeof rest) > 0) {
    }
    if (!result) return 0;
    CopyWideTextBounded(name, nameCapacity, received.c_str());
    return 1;
}

int IrdaSendFile(const wchar_t* folder, const wchar_t* file, IrdaProgressCallback callback, void* context) {
    if (!file) return 0;
    IrSession session;
    if (!session.started()) return 0;
    IrSocketHolder socket(IrOpenStream());
    if (socket.get() == kIrInvalidSocket) return 0;

    IrDeviceInfo devices[8];
    int found = 0;
    for (int attempt = 0; attempt < kIrdaAttempts && found == 0; ++attempt) {
        if (Ask(callback, context, -attempt)) return 0;
        found = IrEnumerateDevices(devices, 8);
        if (found < 0) return 0;
        if (found == 0) std::this_thread::sleep_for(std::chrono::milliseconds(kIrdaRetryMs));
    }
    if (found == 0) return 0;

    int32_t lsap = 0;
    // The answer comes from the other device: only a real selector names a service.
    if (IrQueryIasInteger(devices[0].id, "OBEX", "IrDA:TinyTP:LsapSel", &lsap) != 0 || lsap < kIrLsapMin ||
        lsap > kIrLsapMax)
        return 0;
    char service[32];
    std::snprintf(service, sizeof service, "LSAP-SEL%d", int(lsap));
    bool connected = false;
    for (int attempt = 0; attempt < kIrdaAttempts && !connected; ++attempt) {
        if (Ask(callback, context, -attempt)) return 0;
        connected = IrConnect(socket.get(), devices[0].id, service) == 0;
        if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(kIrdaRetryMs));
    }
    if (!connected) return 0;

    IrLink link(socket.get());
    const std::wstring path = std::wstring(folder ? folder : L"") + file;
    return ObexPushFile(link, path, callback, context);
}
