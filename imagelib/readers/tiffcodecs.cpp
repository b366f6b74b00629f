// The byte codecs of TIFF strips: PackBits, LZW (current and old form),
// Deflate, ThunderScan 4-bit and the SGI LogLuv encodings, and the choice of
// a strip's codec. Each decodes one strip held in memory, in the pieces the
// driver asks for, reading no further than the strip's bytes and writing no
// further than the piece.
//
// Portable: libdeflate and zlib for Deflate; nothing else beyond the
// standard library.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include <libdeflate.h>
#include <zlib.h>

#include "tiff.h"

namespace {

constexpr double kLn2 = 0.69314718055994530942;

// --- PackBits ----------------------------------------------------------------

// Runs and literals; one that passes the end of a piece goes on in the
// next. Header 128 is no operation (TIFF 6.0, section 9).
class PackBitsCodec final : public TiffCodec {
public:
    void Start(const uint8_t* in, size_t inSize, size_t) override {
        in_ = in;
        inSize_ = inSize;
        ip_ = 0;
        literal_ = run_ = 0;
    }

    int Decode(uint8_t* out, size_t outSize, size_t* produced) override {
        size_t op = 0;
        int status = kLoadOk;
        while (op < outSize) {
            if (literal_ > 0) {
                const size_t n = std::min({literal_, outSize - op, inSize_ - ip_});
                if (n == 0) {
                    status = kLoadIncomplete;
                    break;
                }
                std::memcpy(out + op, in_ + ip_, n);
                op += n, ip_ += n, literal_ -= n;
            } else if (run_ > 0) {
                const size_t n = std::min(run_, outSize - op);
                std::memset(out + op, runByte_, n);
                op += n, run_ -= n;
            } else if (ip_ >= inSize_) {
                status = kLoadIncomplete;
                break;
            } else {
                const int header = in_[ip_++];
                // With room for the longest packet in the piece (and the
                // strip), a packet is copied or set at that fixed length,
                // cheaper than at its own; the next packets write over the
                // bytes past its end.
                const bool room = outSize - op >= kLongestPacket;
                if (header < 128) {
                    const size_t n = size_t(header) + 1;
                    if (room && inSize_ - ip_ >= kLongestPacket) {
                        std::memcpy(out + op, in_ + ip_, kLongestPacket);
                        op += n, ip_ += n;
                    } else {
                        literal_ = n;
                    }
                } else if (header > 128) {
                    if (ip_ >= inSize_) {
                        status = kLoadIncomplete;
                        break;
                    }
                    const uint8_t value = in_[ip_++];
                    const size_t n = size_t(257 - header);
                    if (room) {
                        std::memset(out + op, value, kLongestPacket);
                        op += n;
                    } else {
                        runByte_ = value;
                        run_ = n;
                    }
                }
            }
        }
        *produced = op;
        return status;
    }

private:
    static constexpr size_t kLongestPacket = 128;
    const uint8_t* in_ = nullptr;
    size_t inSize_ = 0, ip_ = 0;
    size_t literal_ = 0, run_ = 0;  // bytes of the packet under way still to come
    uint8_t runByte_ = 0;
};

// --- LZW ---------------------------------------------------------------------

constexpr int kLzwClear = 256;
constexpr int kLzwEnd = 257;
constexpr int kLzwFirstFree = 258;
constexpr int kLzwMaxCodes = 4096;
// The longest string a code can name: a byte, then one more per entry.
constexpr size_t kLzwMaxString = kLzwMaxCodes - kLzwFirstFree + 2;
// Short strings are copied 16 bytes at a time, a few bytes past their end
// where there is room for that.
constexpr size_t kLzwCopyBytes = 16;

// The string of every entry from 258 on was written whole into the output
// once already (the previous code's string and the next byte lie side by
// side there), so an entry is its place in the output and its length, and
// decoding a code copies those bytes. A strip decoded in one piece is
// decoded straight into the caller's block; one decoded in pieces goes
// through a history of its own that holds the output since the last clear
// code (which restarts the table), each piece copied out of it.
class LzwCodec final : public TiffCodec {
public:
    LzwCodec(bool oldForm, TiffMemory* memory) : oldForm_(oldForm), memory_(memory) {}

    void Start(const uint8_t* in, size_t inSize, size_t decodedSize) override {
        in_ = in;
        inSize_ = inSize;
        bit_ = 0;
        width_ = 9;
        next_ = kLzwFirstFree;
        prevAt_ = 0;
        prevLength_ = 0;
        started_ = ended_ = false;
        status_ = kLoadOk;
        whole_ = decodedSize;
        firstPiece_ = true;
        used_ = taken_ = 0;
    }

    int Decode(uint8_t* out, size_t outSize, size_t* produced) override {
        *produced = 0;
        if (firstPiece_ && outSize >= whole_) {
            firstPiece_ = false;
            size_t op = 0;
            if (oldForm_) Run<true, true>(out, &op, outSize, outSize);
            else Run<true, false>(out, &op, outSize, outSize);
            *produced = op;
            return status_;
        }
        firstPiece_ = false;
        while (*produced < outSize) {
            const size_t n = std::min(used_ - taken_, outSize - *produced);
            if (n > 0) {
                std::memcpy(out + *produced, history_.data + taken_, n);
                taken_ += n;
                *produced += n;
                continue;
            }
            if (ended_) break;
            const size_t want = outSize - *produced;
            // Room for the rest of the piece and one more string, doubling the
            // history as it grows (a table generation may name megabytes).
            const size_t need = used_ + want + kLzwMaxString + kLzwCopyBytes;
            if (need > history_.size && !memory_->Reserve(&history_, std::max(need, 2 * history_.size)) &&
                !memory_->Reserve(&history_, need))
                return kLoadNoMemory;
            if (oldForm_) Run<false, true>(history_.data, &used_, want, history_.size);
            else Run<false, false>(history_.data, &used_, want, history_.size);
        }
        // A fault found while decoding ahead belongs to the bytes after
        // those handed out: it is told when they are asked for.
        return ended_ && taken_ == used_ ? status_ : kLoadOk;
    }

private:
    // Decodes codes into `base` from *op on. Straight into a block (kInBlock)
    // it stops at `limit`, cutting the last string there; into the history
    // it stops once `limit` bytes wait past those taken, or when `capacity`
    // has no room for another string. At a clear code the history drops what
    // was taken. The state lives in locals meanwhile: stores into `base`
    // could otherwise alias it, and it would be reloaded for every code.
    template <bool kInBlock, bool kOldForm>
    void Run(uint8_t* base, size_t* opInOut, size_t limit, size_t capacity) {
        const uint8_t* const in = in_;
        const size_t inSize = inSize_;
        size_t bit = bit_, op = *opInOut, prevAt = prevAt_;
        int width = width_, next = next_;
        uint32_t prevLength = prevLength_;
        // The width grows when the next free entry reaches this; in the
        // current form one code early, as TIFF writers do.
        const int early = kOldForm ? 0 : 1;
        int widthLimit = (1 << width) - early;

        // The next code of `width` bits at bit `bit` of the strip: the old
        // form takes bits least significant first, the current form most
        // significant first. Eight bytes are read from the code's first byte
        // wherever the strip has them, so the reads hang on nothing but the
        // bit position and one code's need not wait for the last one's.
        // False when the strip's bytes are used up.
        auto nextCode = [&](int* code) {
            const size_t at = bit >> 3;
            uint64_t w;
            if (at + 8 <= inSize) {
                std::memcpy(&w, in + at, 8);
                w = kOldForm ? FromLittleEndian64(w) : FromBigEndian64(w);
            } else {
                if (bit + size_t(width) > inSize * 8) return false;
                w = 0;
                for (size_t i = 0; at + i < inSize; ++i)
                    w |= uint64_t(in[at + i]) << (kOldForm ? 8 * i : 56 - 8 * i);
            }
            if (kOldForm) *code = int((w >> (bit & 7)) & ((uint64_t(1) << width) - 1));
            else *code = int((w << (bit & 7)) >> (64 - width));
            bit += size_t(width);
            return true;
        };
        // A new table after a clear code: its first code is a byte (an end
        // code ends the strip, a further clear code is a clear code again).
        // False when decoding stops.
        auto startTable = [&]() {
            int code = kLzwClear;
            while (code == kLzwClear) {
                width = 9;
                widthLimit = (1 << width) - early;
                next = kLzwFirstFree;
                if (!kInBlock) {
                    // Only the bytes not yet taken stay in the history.
                    std::memmove(base, base + taken_, op - taken_);
                    op -= taken_;
                    taken_ = 0;
                }
                if (!nextCode(&code)) {
                    ended_ = true;
                    return false;
                }
            }
            if (code >= 256) {
                // The end code, or a string code with no table to name it.
                if (code != kLzwEnd) status_ = kLoadRefused;
                ended_ = true;
                return false;
            }
            prevAt = op;
            base[op++] = uint8_t(code);
            prevLength = 1;
            return true;
        };

        // The entry after the last: at most 4096, the width growing as it
        // passes its bound (12 bits at most).
        // With the table full, entries go to a spare place past its end
        // that no code names, so that only the one bound is tested.
        auto addEntry = [&](size_t at, uint32_t length) {
            offset_[next] = uint32_t(at);
            length_[next] = uint16_t(length);
            if (++next >= widthLimit) {
                if (width < 12) widthLimit = (1 << ++width) - early;
                if (next > kLzwMaxCodes) next = kLzwMaxCodes;
                if (width == 12) widthLimit = kLzwMaxCodes;
            }
        };
        auto full = [&] {
            return kInBlock ? op >= limit : op - taken_ >= limit || op + kLzwMaxString + kLzwCopyBytes > capacity;
        };

        bool going = true;
        if (!started_) {
            // The strip must begin with a clear code; an end code ends an
            // empty one.
            int code;
            started_ = true;
            if (!nextCode(&code)) {
                ended_ = true;
                going = false;
            } else if (code != kLzwClear) {
                if (code != kLzwEnd) status_ = kLoadRefused;
                ended_ = true;
                going = false;
            } else {
                going = startTable();
            }
        }
        int code = 0;
        bool pending = false;  // a code read and not yet decoded
        while (going) {
            if (!pending) {
                if (full()) break;
                if (!nextCode(&code)) {
                    ended_ = true;
                    break;
                }
            }
            pending = false;
            if (code < 256) {
                // A byte: the new entry is the previous string and it.
                addEntry(prevAt, prevLength + 1);
                base[op++] = uint8_t(code);
                // Bytes come in runs (all the more in pictures that do not
                // compress); in a run each new entry is the byte before and
                // this one, and nothing else need be carried from code to code.
                while (!full()) {
                    if (!nextCode(&code)) {
                        ended_ = true;
                        going = false;
                        break;
                    }
                    if (code >= 256) {
                        pending = true;
                        break;
                    }
                    addEntry(op - 1, 2);
                    base[op++] = uint8_t(code);
                }
                prevAt = op - 1;
                prevLength = 1;
                continue;
            }
            if (code == kLzwClear) {
                going = startTable();
                continue;
            }
            // The end code, or a code naming an entry not yet made.
            if (code == kLzwEnd || code > next) {
                if (code != kLzwEnd) status_ = kLoadRefused;
                ended_ = true;
                break;
            }
            // The new entry: the previous string and the first byte of this
            // one (its own first byte when it names the entry being made).
            addEntry(prevAt, prevLength + 1);
            const size_t from = offset_[code];
            const uint32_t length = length_[code];
            size_t n = length;
            if (kInBlock) n = std::min<size_t>(n, limit - op);
            if (from + n > op) {
                // The entry being made: its bytes are being written.
                for (size_t i = 0; i < n; ++i) base[op + i] = base[from + i];
            } else if (n <= kLzwCopyBytes && (!kInBlock || op + kLzwCopyBytes <= limit)) {
                uint8_t chunk[kLzwCopyBytes];
                std::memcpy(chunk, base + from, kLzwCopyBytes);
                std::memcpy(base + op, chunk, kLzwCopyBytes);
            } else {
                std::memcpy(base + op, base + from, n);
            }
            prevAt = op;
            op += n;
            prevLength = length;
        }
        *opInOut = op;
        bit_ = bit;
        prevAt_ = prevAt;
        prevLength_ = prevLength;
        width_ = width;
        next_ = next;
    }

    static uint64_t FromBigEndian64(uint64_t v) {
        const auto* b = reinterpret_cast<const uint8_t*>(&v);
        uint64_t r = 0;
        for (int i = 0; i < 8; ++i) r = r << 8 | b[i];
        return r;
    }
    static uint64_t FromLittleEndian64(uint64_t v) {
        const auto* b = reinterpret_cast<const uint8_t*>(&v);
        uint64_t r = 0;
        for (int i = 7; i >= 0; --i) r = r << 8 | b[i];
        return r;
    }

    const bool oldForm_;
    TiffMemory* const memory_;
    const uint8_t* in_ = nullptr;
    size_t inSize_ = 0;
    size_t bit_ = 0;                 // the next code's first bit in the strip
    int width_ = 9, next_ = kLzwFirstFree;
    size_t prevAt_ = 0;              // where the previous code's string was written
    uint32_t prevLength_ = 0;        // its length; 0 right after a clear code
    bool started_ = false, ended_ = false;
    int status_ = kLoadOk;
    size_t whole_ = 0;
    bool firstPiece_ = true;
    TiffBuffer history_;
    size_t used_ = 0, taken_ = 0;    // history bytes written, and handed out
    uint32_t offset_[kLzwMaxCodes + 1];
    uint16_t length_[kLzwMaxCodes + 1];
};

// --- Deflate -----------------------------------------------------------------

class DeflateCodec final : public TiffCodec {
public:
    explicit DeflateCodec(TiffMemory* memory) : memory_(memory) {}
    ~DeflateCodec() override {
        if (ready_) inflateEnd(&stream_);
        if (whole_) libdeflate_free_decompressor(whole_);
    }

    // A well-formed zlib header is stepped over and the data inflated raw:
    // the trailing checksum would cost a pass over every decoded byte and
    // tells nothing the decoded rows do not.
    void Start(const uint8_t* in, size_t inSize, size_t decodedSize) override {
        zlibHeader_ = inSize >= 2 && (in[0] & 0x0F) == 8 && (in[0] >> 4) <= 7 && !(in[1] & 0x20) &&
                      ((in[0] << 8) | in[1]) % 31 == 0;
        if (zlibHeader_) {
            in += 2;
            inSize -= 2;
        }
        in_ = in;
        inSize_ = inSize;
        decodedSize_ = decodedSize;
        streaming_ = false;
        held_ = heldAt_ = 0;
        ended_ = resynced_ = false;
        status_ = kLoadOk;
    }

    int Decode(uint8_t* out, size_t outSize, size_t* produced) override {
        *produced = 0;
        if (!streaming_ && heldAt_ == 0 && held_ == 0) {
            // The first piece of a raw stream whose decoded size is known:
            // inflated whole, into the piece when it holds the strip, else
            // into a buffer the pieces are taken from. A stream the whole
            // inflate refuses (damaged, cut short, or longer than the strip)
            // is decoded again as a stream, which keeps what came before
            // the damage.
            if (zlibHeader_ && decodedSize_ > 0 && Whole(out, outSize)) return TakeHeld(out, outSize, produced);
            if (!streaming_ && !StartStream()) return status_;
        }
        if (!streaming_) return TakeHeld(out, outSize, produced);
        if (!ready_) return status_;
        stream_.next_out = out;
        stream_.avail_out = uInt(std::min<size_t>(outSize, UINT_MAX));
        while (stream_.avail_out > 0 && !ended_) {
            const int r = inflate(&stream_, Z_NO_FLUSH);
            if (r == Z_OK) continue;
            if (r == Z_DATA_ERROR && !resynced_) {
                // Decoding goes on at the next flush point, if there is one.
                resynced_ = true;
                if (inflateSync(&stream_) == Z_OK) continue;
            }
            ended_ = true;
            if (r != Z_STREAM_END && r != Z_BUF_ERROR) status_ = kLoadIncomplete;
        }
        *produced = size_t(stream_.next_out - out);
        return ended_ ? status_ : kLoadOk;
    }

private:
    // Inflates the whole strip with libdeflate: straight into `out` when it
    // holds the strip (held_ then counts what came, already in place), else
    // into buffer_. False when it was not done.
    bool Whole(uint8_t* out, size_t outSize) {
        if (!whole_ && !(whole_ = libdeflate_alloc_decompressor())) return false;
        direct_ = outSize >= decodedSize_;
        if (!direct_ && !memory_->Reserve(&buffer_, decodedSize_)) return false;
        size_t came = 0;
        if (libdeflate_deflate_decompress(whole_, in_, inSize_, direct_ ? out : buffer_.data, decodedSize_, &came) !=
            LIBDEFLATE_SUCCESS)
            return false;
        held_ = came;
        heldAt_ = 0;
        return true;
    }

    // The next bytes of what Whole inflated (none once all were handed
    // out: the buffer is not then indexed by the end mark).
    int TakeHeld(uint8_t* out, size_t outSize, size_t* produced) {
        const size_t n = std::min(outSize, held_ - heldAt_);
        if (n && !direct_) std::memcpy(out, buffer_.data + heldAt_, n);
        heldAt_ += n;
        if (heldAt_ == held_) heldAt_ = held_ = SIZE_MAX;  // all handed out: nothing more comes
        *produced = n;
        return kLoadOk;
    }

    bool StartStream() {
        streaming_ = true;
        const int windowBits = zlibHeader_ ? -15 : 15;
        if (!ready_) {
            std::memset(&stream_, 0, sizeof stream_);
            ready_ = inflateInit2(&stream_, windowBits) == Z_OK;
        } else {
            ready_ = inflateReset2(&stream_, windowBits) == Z_OK;
        }
        stream_.next_in = const_cast<Bytef*>(in_);
        stream_.avail_in = uInt(std::min<size_t>(inSize_, UINT_MAX));
        status_ = ready_ ? kLoadOk : kLoadNoMemory;
        return ready_;
    }

    TiffMemory* memory_;
    libdeflate_decompressor* whole_ = nullptr;
    TiffBuffer buffer_;
    const uint8_t* in_ = nullptr;
    size_t inSize_ = 0, decodedSize_ = 0;
    size_t held_ = 0, heldAt_ = 0;   // what Whole inflated, and how much of it was handed out
    bool zlibHeader_ = false, streaming_ = false, direct_ = false;
    z_stream stream_;
    bool ready_ = false, ended_ = false, resynced_ = false;
    int status_ = kLoadOk;
};

// --- Row codecs ----------------------------------------------------------------

// A codec that decodes whole rows: ThunderScan and the SGILog forms.
class RowCodec : public TiffCodec {
public:
    RowCodec(uint32_t width, size_t rowBytes) : width_(width), rowBytes_(rowBytes) {}

    void Start(const uint8_t* in, size_t inSize, size_t) override {
        in_ = in;
        inSize_ = inSize;
        ip_ = 0;
    }

    int Decode(uint8_t* out, size_t outSize, size_t* produced) override {
        *produced = 0;
        for (; outSize - *produced >= rowBytes_; *produced += rowBytes_) {
            const int status = DecodeRow(out + *produced);
            if (status != kLoadOk) return status;
        }
        return kLoadOk;
    }

protected:
    // One row into `row` (rowBytes bytes): 0, or 4 when the data ends first.
    virtual int DecodeRow(uint8_t* row) = 0;

    const uint32_t width_;
    const size_t rowBytes_;
    const uint8_t* in_ = nullptr;
    size_t inSize_ = 0, ip_ = 0;
};

// ThunderScan 4-bit: two pixels a byte, first pixel in the high half.
class ThunderScanCodec final : public RowCodec {
public:
    using RowCodec::RowCodec;

private:
    int DecodeRow(uint8_t* row) override {
        static const int kTwoBitDeltas[4] = {0, 1, 0, -1};
        static const int kThreeBitDeltas[8] = {0, 1, 2, 3, 0, -3, -2, -1};
        std::memset(row, 0, rowBytes_);
        uint32_t n = 0;
        int last = 0;
        auto put = [&](int v) {
            if (n < width_) row[n >> 1] = uint8_t(row[n >> 1] | ((n & 1) ? v : v << 4));
            ++n;
        };
        while (n < width_) {
            if (ip_ >= inSize_) return kLoadIncomplete;
            const int b = in_[ip_++];
            switch (b >> 6) {
            case 0:
                for (int i = b & 0x3F; i > 0 && n < width_; --i) put(last);
                break;
            case 1:
                for (int shift = 4; shift >= 0; shift -= 2) {
                    const int code = (b >> shift) & 3;
                    if (code == 2) continue;
                    last = (last + kTwoBitDeltas[code]) & 0xF;
                    put(last);
                }
                break;
            case 2:
                for (int shift = 3; shift >= 0; shift -= 3) {
                    const int code = (b >> shift) & 7;
                    if (code == 4) continue;
                    last = (last + kThreeBitDeltas[code]) & 0xF;
                    put(last);
                }
                break;
            default:
                last = b & 0xF;
                put(last);
                break;
            }
        }
        return kLoadOk;
    }
};

// The u'v' chromaticity code of 24-bit LogLuv pixels: the gamut is cut into
// square cells of kUvCell, in rows of v' from kUvFirstV, each row a starting
// u', its cell count and the cells of the rows before it. These are the
// values published with the encoding (its uv_row table).
constexpr float kUvCell = 0.0035f;
constexpr float kUvFirstV = 0.01694f;
constexpr int kUvCodes = 16289;
struct UvRow {
    float firstU;
    int16_t cells;
    int16_t cellsBefore;
};
constexpr UvRow kUvRows[163] = {
    {0.247663f, 4, 0}, {0.243779f, 6, 4}, {0.241684f, 7, 10}, {0.237874f, 9, 17}, {0.235906f, 10, 26},
    {0.232153f, 12, 36}, {0.228352f, 14, 48}, {0.226259f, 15, 62}, {0.222371f, 17, 77}, {0.220410f, 18, 94},
    {0.214710f, 21, 112}, {0.212714f, 22, 133}, {0.210721f, 23, 155}, {0.204976f, 26, 178},
    {0.202986f, 27, 204}, {0.199245f, 29, 231}, {0.195525f, 31, 260}, {0.193560f, 32, 291},
    {0.189878f, 34, 323}, {0.186216f, 36, 357}, {0.186216f, 36, 393}, {0.182592f, 38, 429},
    {0.179003f, 40, 467}, {0.175466f, 42, 507}, {0.172001f, 44, 549}, {0.172001f, 44, 593},
    {0.168612f, 46, 637}, {0.168612f, 46, 683}, {0.163575f, 49, 729}, {0.158642f, 52, 778},
    {0.158642f, 52, 830}, {0.158642f, 52, 882}, {0.153815f, 55, 934}, {0.153815f, 55, 989},
    {0.149097f, 58, 1044}, {0.149097f, 58, 1102}, {0.142746f, 62, 1160}, {0.142746f, 62, 1222},
    {0.142746f, 62, 1284}, {0.138270f, 65, 1346}, {0.138270f, 65, 1411}, {0.138270f, 65, 1476},
    {0.132166f, 69, 1541}, {0.132166f, 69, 1610}, {0.126204f, 73, 1679}, {0.126204f, 73, 1752},
    {0.126204f, 73, 1825}, {0.120381f, 77, 1898}, {0.120381f, 77, 1975}, {0.120381f, 77, 2052},
    {0.120381f, 77, 2129}, {0.112962f, 82, 2206}, {0.112962f, 82, 2288}, {0.112962f, 82, 2370},
    {0.107450f, 86, 2452}, {0.107450f, 86, 2538}, {0.107450f, 86, 2624}, {0.107450f, 86, 2710},
    {0.100343f, 91, 2796}, {0.100343f, 91, 2887}, {0.100343f, 91, 2978}, {0.095126f, 95, 3069},
    {0.095126f, 95, 3164}, {0.095126f, 95, 3259}, {0.095126f, 95, 3354}, {0.088276f, 100, 3449},
    {0.088276f, 100, 3549}, {0.088276f, 100, 3649}, {0.088276f, 100, 3749}, {0.081523f, 105, 3849},
    {0.081523f, 105, 3954}, {0.081523f, 105, 4059}, {0.081523f, 105, 4164}, {0.074861f, 110, 4269},
    {0.074861f, 110, 4379}, {0.074861f, 110, 4489}, {0.074861f, 110, 4599}, {0.068290f, 115, 4709},
    {0.068290f, 115, 4824}, {0.068290f, 115, 4939}, {0.068290f, 115, 5054}, {0.063573f, 119, 5169},
    {0.063573f, 119, 5288}, {0.063573f, 119, 5407}, {0.063573f, 119, 5526}, {0.057219f, 124, 5645},
    {0.057219f, 124, 5769}, {0.057219f, 124, 5893}, {0.057219f, 124, 6017}, {0.050985f, 129, 6141},
    {0.050985f, 129, 6270}, {0.050985f, 129, 6399}, {0.050985f, 129, 6528}, {0.050985f, 129, 6657},
    {0.044859f, 134, 6786}, {0.044859f, 134, 6920}, {0.044859f, 134, 7054}, {0.044859f, 134, 7188},
    {0.040571f, 138, 7322}, {0.040571f, 138, 7460}, {0.040571f, 138, 7598}, {0.040571f, 138, 7736},
    {0.036339f, 142, 7874}, {0.036339f, 142, 8016}, {0.036339f, 142, 8158}, {0.036339f, 142, 8300},
    {0.032139f, 146, 8442}, {0.032139f, 146, 8588}, {0.032139f, 146, 8734}, {0.032139f, 146, 8880},
    {0.027947f, 150, 9026}, {0.027947f, 150, 9176}, {0.027947f, 150, 9326}, {0.023739f, 154, 9476},
    {0.023739f, 154, 9630}, {0.023739f, 154, 9784}, {0.023739f, 154, 9938}, {0.019504f, 158, 10092},
    {0.019504f, 158, 10250}, {0.019504f, 158, 10408}, {0.016976f, 161, 10566}, {0.016976f, 161, 10727},
    {0.016976f, 161, 10888}, {0.016976f, 161, 11049}, {0.012639f, 165, 11210}, {0.012639f, 165, 11375},
    {0.012639f, 165, 11540}, {0.009991f, 168, 11705}, {0.009991f, 168, 11873}, {0.009991f, 168, 12041},
    {0.009016f, 170, 12209}, {0.009016f, 170, 12379}, {0.009016f, 170, 12549}, {0.006217f, 173, 12719},
    {0.006217f, 173, 12892}, {0.005097f, 175, 13065}, {0.005097f, 175, 13240}, {0.005097f, 175, 13415},
    {0.003909f, 177, 13590}, {0.003909f, 177, 13767}, {0.002340f, 177, 13944}, {0.002389f, 170, 14121},
    {0.001068f, 164, 14291}, {0.001653f, 157, 14455}, {0.000717f, 150, 14612}, {0.001614f, 143, 14762},
    {0.000270f, 136, 14905}, {0.000484f, 129, 15041}, {0.001103f, 123, 15170}, {0.001242f, 115, 15293},
    {0.001188f, 109, 15408}, {0.001011f, 103, 15517}, {0.000709f, 97, 15620}, {0.000301f, 89, 15717},
    {0.002416f, 82, 15806}, {0.003251f, 76, 15888}, {0.003246f, 69, 15964}, {0.004141f, 62, 16033},
    {0.005963f, 55, 16095}, {0.008839f, 47, 16150}, {0.010490f, 40, 16197}, {0.016994f, 31, 16237},
    {0.023659f, 21, 16268},
};

// The cell's centre for a code; false for a code outside the table.
bool DecodeUvCode(uint32_t code, double* u, double* v) {
    if (code >= uint32_t(kUvCodes)) return false;
    int lower = 0, upper = int(sizeof kUvRows / sizeof kUvRows[0]);
    while (upper - lower > 1) {
        const int mid = (lower + upper) / 2;
        const int d = int(code) - kUvRows[mid].cellsBefore;
        if (d > 0) {
            lower = mid;
        } else if (d < 0) {
            upper = mid;
        } else {
            lower = mid;
            break;
        }
    }
    *u = kUvRows[lower].firstU + (int(code) - kUvRows[lower].cellsBefore + 0.5) * kUvCell;
    *v = kUvFirstV + (lower + 0.5) * kUvCell;
    return true;
}

// Log luminance (15 bits and a sign) to Y.
double LogL16ToY(uint32_t p) {
    const uint32_t le = p & 0x7FFF;
    if (le == 0) return 0;
    const double y = std::exp(kLn2 / 256 * (le + 0.5) - kLn2 * 64);
    return (p & 0x8000) ? -y : y;
}

uint8_t GammaByte(double c) { return c <= 0 ? 0 : c >= 1 ? 255 : uint8_t(256 * std::sqrt(c)); }

void XyzToRgb24(double x, double y, double z, uint8_t* rgb) {
    rgb[0] = GammaByte(2.690 * x - 1.276 * y - 0.414 * z);
    rgb[1] = GammaByte(-1.022 * x + 1.978 * y + 0.044 * z);
    rgb[2] = GammaByte(0.061 * x - 0.224 * y + 1.163 * z);
}

// Luminance and u'v' chromaticity to 8-bit R, G, B (X, Y and Z held as
// floats on the way, as the encoding's own conversion keeps them).
void LuvToRgb(double l, double u, double v, uint8_t* rgb) {
    const double s = 1 / (6 * u - 16 * v + 12);
    const double x = 9 * u * s, y = 4 * v * s;
    XyzToRgb24(float(x / y * l), float(l), float((1 - x - y) / y * l), rgb);
}

void LogLuv32ToRgb(uint32_t p, uint8_t* rgb) {
    const double l = LogL16ToY(p >> 16);
    if (l <= 0) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    LuvToRgb(l, (((p >> 8) & 0xFF) + 0.5) / 410, ((p & 0xFF) + 0.5) / 410, rgb);
}

// 10 bits of log luminance and a 14-bit u'v' code; a code outside the table
// stands for the neutral chromaticity.
void LogLuv24ToRgb(uint32_t p, uint8_t* rgb) {
    const uint32_t le = (p >> 14) & 0x3FF;
    if (le == 0) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    const double l = std::exp(kLn2 / 64 * (le + 0.5) - kLn2 * 12);
    double u, v;
    if (!DecodeUvCode(p & 0x3FFF, &u, &v)) u = 0.210526316, v = 0.473684211;
    LuvToRgb(l, u, v, rgb);
}


// SGILog (34676): 32-bit LogLuv pixels (or, for log luminance, 16-bit
// values) run-length coded by byte planes, most significant plane first.
class SgiLogCodec final : public RowCodec {
public:
    SgiLogCodec(uint32_t width, size_t rowBytes, bool logL) : RowCodec(width, rowBytes), logL_(logL) {}

    TiffBuffer values;               // the row's pixels as their planes arrive, width x 32 bits

private:
    int DecodeRow(uint8_t* row) override {
        auto* v = reinterpret_cast<uint32_t*>(values.data);
        std::memset(v, 0, size_t(width_) * 4);
        const int planes = logL_ ? 2 : 4;
        for (int plane = 0; plane < planes; ++plane) {
            const int shift = 8 * (planes - 1 - plane);
            uint32_t i = 0;
            while (i < width_) {
                if (ip_ >= inSize_) return kLoadIncomplete;
                const int b = in_[ip_++];
                if (b >= 128) {
                    if (ip_ >= inSize_) return kLoadIncomplete;
                    const uint32_t byte = uint32_t(in_[ip_++]) << shift;
                    for (int k = b - 126; k > 0 && i < width_; --k) v[i++] |= byte;
                } else {
                    // Literals past the row's end are dropped.
                    if (inSize_ - ip_ < size_t(b)) return kLoadIncomplete;
                    for (int k = 0; k < b; ++k, ++ip_)
                        if (i < width_) v[i++] |= uint32_t(in_[ip_]) << shift;
                }
            }
        }
        for (uint32_t x = 0; x < width_; ++x) {
            if (logL_) row[x] = GammaByte(float(LogL16ToY(v[x])));
            else LogLuv32ToRgb(v[x], row + 3 * size_t(x));
        }
        return kLoadOk;
    }

    const bool logL_;
};

// SGILog24 (34677): 24-bit LogLuv pixels stored raw, three bytes each, most
// significant first.
class SgiLog24Codec final : public RowCodec {
public:
    using RowCodec::RowCodec;

private:
    int DecodeRow(uint8_t* row) override {
        if (inSize_ - ip_ < size_t(width_) * 3) return kLoadIncomplete;
        const uint8_t* p = in_ + ip_;
        for (uint32_t x = 0; x < width_; ++x, p += 3)
            LogLuv24ToRgb(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2], row + 3 * size_t(x));
        ip_ += size_t(width_) * 3;
        return kLoadOk;
    }
};

std::unique_ptr<TiffCodec> MakeSgiLogCodec(const TiffCodecSetup& s, TiffMemory* memory) {
    std::unique_ptr<SgiLogCodec> codec(new (std::nothrow) SgiLogCodec(s.width, s.rowBytes, s.logL));
    if (!codec || !memory->Reserve(&codec->values, size_t(s.width) * 4)) return nullptr;
    return codec;
}

}  // namespace

std::unique_ptr<TiffCodec> MakeTiffCodec(const TiffCodecSetup& setup, TiffMemory* memory) {
    switch (setup.compression) {
    case kTiffPackBits: return std::unique_ptr<TiffCodec>(new (std::nothrow) PackBitsCodec);
    case kTiffLzw: return std::unique_ptr<TiffCodec>(new (std::nothrow) LzwCodec(setup.oldLzw, memory));
    case kTiffDeflate:
    case kTiffDeflateOld: return std::unique_ptr<TiffCodec>(new (std::nothrow) DeflateCodec(memory));
    case kTiffThunderScan:
        return std::unique_ptr<TiffCodec>(new (std::nothrow) ThunderScanCodec(setup.width, setup.rowBytes));
    case kTiffSgiLog: return MakeSgiLogCodec(setup, memory);
    case kTiffSgiLog24:
        return std::unique_ptr<TiffCodec>(new (std::nothrow) SgiLog24Codec(setup.width, setup.rowBytes));
    case kTiffCcittRle:
    case kTiffCcittG3:
    case kTiffCcittG4: return MakeFaxCodec(setup, memory);
    case kTiffJpeg:
    case kTiffOldJpeg: return MakeJpegCodec(setup, memory);
    default: return nullptr;
    }
}
