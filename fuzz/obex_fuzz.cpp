// The OBEX receiving server: the input is the byte stream a peer sends,
// reassembled into packets by their length and answered request by request,
// as on an accepted infrared connection. After a DISCONNECT (or an end at
// the exchange's limits) the objects are stored under their new names in a
// scratch folder, checked to be there and removed again; nothing else may be
// left in the folder.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tempfiles.h"
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

// A folder of this process's own, so that it can be checked to be empty;
// removed at exit.
const std::wstring& Folder() {
    static const struct Scratch {
        std::wstring path = fuzzing::ScratchStem() + L"-obex/";
        Scratch() { MakeWideFolder(path.c_str()); }
        ~Scratch() {
            std::error_code ignored;
            std::filesystem::remove(fuzzing::FsPath(path), ignored);
        }
    } scratch;
    return scratch.path;
}

bool FolderIsEmpty(const std::wstring& folder) {
    std::error_code error;
    return std::filesystem::is_empty(fuzzing::FsPath(folder), error) || error;
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
    while (ObexReadPacket(link, state.maxPacket, &request) == 1) {
        if (!ObexHandleRequest(&state, request.data(), request.size(), &response)) break;
    }
    std::vector<std::wstring> names;
    if ((state.disconnected || state.limited) && ObexStoreReceived(&state, &names)) {
        for (const std::wstring& name : names) {
            if (!WidePathIsPlainFile((state.folder + name).c_str())) std::abort();
            RemoveWidePath((state.folder + name).c_str());
        }
    }
    ObexReceiveFinish(&state);
    if (!FolderIsEmpty(state.folder)) std::abort();
    return 0;
}
