// The TIFF strip codecs over memory: the first byte picks the codec, the
// next three the block's width and rows, the fourth the codec's options and
// the size of the pieces; the rest is the strip. The strip is decoded whole
// and again in pieces, which must give the same bytes and the same result;
// no codec may read past the strip or write past a piece, and every result
// is one the driver knows.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imagelib/readers/tiff.h"

namespace {

struct Outcome {
    int result = kLoadOk;
    std::vector<uint8_t> bytes;
};

// `total` bytes in pieces of `piece` (rounded to whole rows for row codecs).
Outcome Decode(const TiffCodecSetup& setup, const uint8_t* in, size_t inSize, size_t total, size_t piece) {
    TiffMemory memory;
    memory.limit = uint64_t(64) << 20;
    Outcome o;
    std::unique_ptr<TiffCodec> codec = MakeTiffCodec(setup, &memory);
    if (!codec) {
        o.result = kLoadNoMemory;
        return o;
    }
    codec->Start(in, inSize, total);
    for (size_t at = 0; at < total && o.result == kLoadOk;) {
        const size_t want = std::min(piece, total - at);
        // An exact-size piece, so a write past it shows under AddressSanitizer.
        std::vector<uint8_t> out(want);
        size_t produced = 0;
        o.result = codec->Decode(out.data(), want, &produced);
        if (produced > want) std::abort();
        o.bytes.insert(o.bytes.end(), out.begin(), out.begin() + long(produced));
        if (produced < want) break;
        at += want;
    }
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    static const uint32_t kCompressions[] = {kTiffPackBits,    kTiffLzw,    kTiffDeflate, kTiffCcittRle,
                                             kTiffCcittG3,     kTiffCcittG4, kTiffThunderScan, kTiffSgiLog,
                                             kTiffSgiLog24};
    TiffCodecSetup s{};
    s.compression = kCompressions[data[0] % (sizeof kCompressions / sizeof kCompressions[0])];
    s.width = 1 + (data[1] | (data[2] & 0x0F) << 8);  // up to 4096
    const uint32_t rows = 1 + data[3] % 64;
    const uint8_t flags = data[4];
    s.oldLzw = flags & 1;
    s.twoDimensional = flags & 2;
    s.logL = flags & 8;
    const bool rgb = s.compression == kTiffSgiLog24 || (s.compression == kTiffSgiLog && !s.logL);
    s.rowBytes = s.compression == kTiffThunderScan ? (size_t(s.width) + 1) / 2
                 : rgb                             ? size_t(s.width) * 3
                 : s.compression == kTiffSgiLog    ? s.width
                                                   : (size_t(s.width) + 7) / 8;
    const size_t total = s.rowBytes * rows;
    const bool byRows = s.compression != kTiffPackBits && s.compression != kTiffLzw && s.compression != kTiffDeflate;
    size_t piece = 1 + (flags >> 4) * 37;
    if (byRows) piece = s.rowBytes * (1 + (flags >> 4) % rows);
    const Outcome whole = Decode(s, data + 5, size - 5, total, total);
    const Outcome pieces = Decode(s, data + 5, size - 5, total, piece);
    const int r = whole.result;
    if (r != kLoadOk && r != kLoadIncomplete && r != kLoadRefused && r != kLoadNoMemory) std::abort();
    // Pieces give what the whole gives (a strip that ends partway through a
    // row gives its whole rows either way).
    if (r != kLoadNoMemory && pieces.result != kLoadNoMemory) {
        const size_t n = byRows ? std::min(whole.bytes.size(), pieces.bytes.size()) : whole.bytes.size();
        if (pieces.result != r || pieces.bytes.size() < n ||
            (n > 0 && std::memcmp(whole.bytes.data(), pieces.bytes.data(), n) != 0))
            std::abort();
    }
    return 0;
}
