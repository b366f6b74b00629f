// The OBEX receiving server: the input is the byte stream a peer sends,
// reassembled into packets by their length and answered request by request,
// as on an accepted infrared connection. Stored files go to a scratch folder
// and are removed again.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/osfile.h"
#include "tools/obex.h"

namespace {

class MemoryLink : public ObexLink {
public:
    MemoryLink(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Send(const uint8_t*, size_t) override { return true; }
    long Recv(uint8_t* buffer, size_t capacity) override {
        size_t n = size_ - pos_;
        if (n > capacity) n = capacity;
        if (n > 7) n = 7 + (data_[pos_] & 7);  // split reads, as a socket may
        if (n > capacity) n = capacity;
        if (n > size_ - pos_) n = size_ - pos_;
        std::memcpy(buffer, data_ + pos_, n);
        pos_ += n;
        return long(n);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

const std::wstring& Folder() {
    static const std::wstring folder = [] {
        std::wstring f = SystemTempFolder() + L"pv-obex-fuzz";
        MakeWideFolder(f.c_str());
        return f + L"/";
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ObexPacket packet;
    ObexParsePacket(data, size, true, &packet);
    ObexParsePacket(data, size, false, &packet);

    MemoryLink link(data, size);
    ObexReceiveState state;
    state.folder = Folder();
    std::vector<uint8_t> request, response;
    while (ObexReadPacket(link, kObexServerMaxPacket, &request) == 1) {
        const bool more = ObexHandleRequest(&state, request.data(), request.size(), &response);
        if (state.haveFile) {
            RemoveWidePath(state.finalPath.c_str());
            state.haveFile = false;
        }
        if (!more) break;
    }
    ObexReceiveFinish(&state);
    return 0;
}
