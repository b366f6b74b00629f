// The OBEX pushing client against a hostile server: the input is every byte
// the server sends back, in reads of varying size. Whatever it answers, the
// client sends only whole packets that parse, never larger than the largest
// the server allowed (within the client's own bounds), the body in the
// file's order, and reports success only after every byte went out, its
// final PUT was answered with success and it said DISCONNECT; a push that
// fails ends with ABORT.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tempfiles.h"
#include "imagelib/osfile.h"
#include "tools/obex.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

constexpr size_t kFileSize = 5000;

uint8_t FileByte(size_t i) { return uint8_t(i * 7 + i / 251); }

// The pushed file, made once per process and removed at exit.
const std::wstring& File() {
    static const struct Scratch {
        std::wstring path = fuzzing::ScratchStem() + L"-push.jpg";
        Scratch() {
            std::vector<uint8_t> bytes(kFileSize);
            for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = FileByte(i);
            FILE* f = OpenWidePath(path.c_str(), "wb");
            if (f) {
                std::fwrite(bytes.data(), 1, bytes.size(), f);
                std::fclose(f);
            }
        }
        ~Scratch() { RemoveWidePath(path.c_str()); }
    } scratch;
    return scratch.path;
}

class HostileServer : public ObexLink {
public:
    HostileServer(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Send(const uint8_t* data, size_t size) override {
        ObexPacket packet;
        const bool connect = data[0] == kObexConnect;
        Check(size >= 3 && ObexPacketLength(data, size) == size && ObexParsePacket(data, size, connect, &packet));
        if (connect) {
            Check(!connected_);
            connected_ = true;
        } else {
            Check(size <= kObexClientMaxPacket && (!connected_ || size <= allowed_));
        }
        if (packet.hasBody) {
            for (size_t i = 0; i < packet.bodySize; ++i) Check(packet.body[i] == FileByte(bodySent_ + i));
            bodySent_ += packet.bodySize;
            finalPut_ = packet.code == kObexPutFinal;
        }
        lastCode_ = data[0];
        return true;
    }

    long Recv(uint8_t* buffer, size_t capacity) override {
        if (pos_ == size_) return 0;
        size_t n = 1 + data_[pos_] % 9;  // reads split as a socket may split them
        if (n > capacity) n = capacity;
        if (n > size_ - pos_) n = size_ - pos_;
        std::memcpy(buffer, data_ + pos_, n);
        // The CONNECT answer's largest packet, as the client will read it.
        for (size_t i = 0; i < n; ++i) NoteAnswerByte(data_[pos_ + i]);
        pos_ += n;
        return long(n);
    }

    size_t bodySent() const { return bodySent_; }
    bool finalPut() const { return finalPut_; }
    uint8_t lastCode() const { return lastCode_; }

private:
    // Follows the first response (to CONNECT) byte by byte to learn the
    // largest packet it allows.
    void NoteAnswerByte(uint8_t b) {
        if (answerBytes_ < 7) first_[answerBytes_] = b;
        if (++answerBytes_ == 7) {
            size_t announced = size_t(first_[5]) << 8 | first_[6];
            if (announced < kObexMinMaxPacket) announced = kObexMinMaxPacket;
            if (announced > kObexClientMaxPacket) announced = kObexClientMaxPacket;
            allowed_ = announced;
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint8_t first_[7] = {};
    size_t answerBytes_ = 0;
    size_t allowed_ = kObexMinMaxPacket;
    bool connected_ = false;
    size_t bodySent_ = 0;
    bool finalPut_ = false;
    uint8_t lastCode_ = 0;
};

int CancelHalfWay(void*, const wchar_t*, int value) { return value > 50; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    HostileServer server(data + 1, size - 1);
    const bool cancels = data[0] & 1;
    const int result = ObexPushFile(server, File(), cancels ? CancelHalfWay : nullptr, nullptr);
    if (result == 1) {
        // A whole push: every byte went out and the final PUT was the last body.
        Check(server.bodySent() == kFileSize && server.finalPut());
        Check(server.lastCode() == kObexDisconnect);
    } else {
        Check(server.lastCode() == kObexAbort);  // a push that fails says so to the server
    }
    return 0;
}
