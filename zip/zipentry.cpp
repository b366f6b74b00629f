// Raw item data -> decryption -> raw inflate -> size and CRC-32 check.
#include "zipentry.h"

#include <cstdlib>

#include <minizip/unzip.h>
#include <zlib.h>

#include "zip/zip.h"
#include "zip/zipcrypt.h"

struct ZipEntryStream {
    unzFile archive;
    int method;               // 0 stored, 8 deflated
    uint8_t encrypted;
    uint8_t ended;            // the data ended and were checked
    uint8_t inflating;        // `z` is initialised
    ZipKeys keys;
    uint64_t rawLeft;         // compressed bytes not fetched yet
    uint64_t expectedSize;
    uint32_t expectedCrc;
    uint64_t produced;
    uint32_t crc;
    z_stream z;
    uint8_t input[16384];
};

namespace {

constexpr unsigned kEncryptionHeaderSize = 12;
constexpr unsigned kEncryptedFlag = 0x01;
constexpr unsigned kStrongEncryptionFlag = 0x40;
constexpr unsigned kDataDescriptorFlag = 0x08;

// Fetches up to `length` raw bytes (minizip stops at the item's compressed
// size) and decrypts them. Returns the count, or -1 when the archive ends
// first or cannot be read.
int FetchRaw(ZipEntryStream* s, uint8_t* buffer, uint32_t length) {
    if (length > s->rawLeft) length = uint32_t(s->rawLeft);
    if (length == 0) return 0;
    const int n = unzReadCurrentFile(s->archive, buffer, length);
    if (n <= 0) return -1;
    if (s->encrypted)
        for (int i = 0; i < n; ++i) buffer[i] = DecryptByte(&s->keys, buffer[i]);
    s->rawLeft -= uint32_t(n);
    return n;
}

uint32_t Finish(ZipEntryStream* s) {
    s->ended = 1;
    return (s->produced == s->expectedSize && s->crc == s->expectedCrc) ? kZipOk : kZipDataError;
}

uint32_t ReadStored(ZipEntryStream* s, uint8_t* out, uint32_t length, uint32_t* got) {
    while (*got < length && s->rawLeft > 0) {
        uint32_t piece = length - *got;
        if (piece > 65536) piece = 65536;
        const int n = FetchRaw(s, out + *got, piece);
        if (n <= 0) return kZipDataError;
        s->crc = ZipCrc32(s->crc, out + *got, uint32_t(n));
        s->produced += uint32_t(n);
        *got += uint32_t(n);
    }
    return s->rawLeft == 0 ? Finish(s) : kZipMoreData;
}

uint32_t ReadDeflated(ZipEntryStream* s, uint8_t* out, uint32_t length, uint32_t* got) {
    z_stream& z = s->z;
    // Room for no more than the item still owes. Once all is delivered, one
    // spare byte of room in which the stream must end without filling it: a
    // stream that goes on is longer than its entry says, and not a byte of
    // that is delivered.
    const uint64_t owed = s->expectedSize - s->produced;
    uint8_t spare;
    const bool endCheck = owed == 0;
    z.next_out = endCheck ? &spare : out;
    z.avail_out = endCheck ? 1u : uInt(owed < length ? owed : length);
    const uInt room = z.avail_out;
    uint32_t result = kZipMoreData;
    for (;;) {
        if (z.avail_in == 0 && s->rawLeft > 0) {
            const int n = FetchRaw(s, s->input, sizeof s->input);
            if (n <= 0) {
                result = kZipDataError;
                break;
            }
            z.next_in = s->input;
            z.avail_in = uInt(n);
        }
        Bytef* const before = z.next_out;
        const int r = inflate(&z, Z_NO_FLUSH);
        const uint32_t made = uint32_t(z.next_out - before);
        if (endCheck && made) {
            result = kZipDataError;
            break;
        }
        s->crc = ZipCrc32(s->crc, before, made);
        s->produced += made;
        if (r == Z_STREAM_END) {
            result = Finish(s);
            break;
        }
        // A full buffer waits for the next call.
        if (r == Z_BUF_ERROR) {
            if (z.avail_out != 0) result = kZipDataError;  // the input ended early
            break;
        }
        if (r != Z_OK) {
            result = kZipDataError;
            break;
        }
        if (z.avail_out == 0) break;
    }
    *got = endCheck ? 0 : uint32_t(room - z.avail_out);
    if (result == kZipDataError) s->ended = 1;
    return result;
}

}  // namespace

uint32_t OpenEntryStream(void* archive, const char* password, ZipEntryStream** out) {
    *out = nullptr;
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return kZipBadLocalHeader;
    int method = 0;
    if (unzOpenCurrentFile2(archive, &method, nullptr, 1) != UNZ_OK) return kZipBadLocalHeader;
    auto* s = static_cast<ZipEntryStream*>(std::calloc(1, sizeof(ZipEntryStream)));
    if (!s) {
        unzCloseCurrentFile(archive);
        return kZipNoMemory;
    }
    s->archive = archive;
    s->method = method;
    s->rawLeft = info.compressed_size;
    s->expectedSize = info.uncompressed_size;
    s->expectedCrc = uint32_t(info.crc);
    if ((method != 0 && method != Z_DEFLATED) ||
        (method == Z_DEFLATED && s->expectedSize > kZipRatioFreeBytes &&
         s->expectedSize / kZipMaxInflateRatio > s->rawLeft)) {
        CloseEntryStream(s);
        return kZipDataError;
    }
    if (info.flag & kEncryptedFlag) {
        if (info.flag & kStrongEncryptionFlag) {
            CloseEntryStream(s);
            return kZipDataError;
        }
        if (!password) {
            CloseEntryStream(s);
            return kZipBadPassword;
        }
        s->encrypted = 1;
        InitKeys(&s->keys, password);
        uint8_t header[kEncryptionHeaderSize];
        if (s->rawLeft < kEncryptionHeaderSize || FetchRaw(s, header, kEncryptionHeaderSize) != int(kEncryptionHeaderSize)) {
            CloseEntryStream(s);
            return kZipDataError;
        }
        // With a data descriptor the CRC is not known when the header is
        // made, so the check byte is the high byte of the DOS time instead.
        const uint8_t check = (info.flag & kDataDescriptorFlag) ? uint8_t(info.dosDate >> 8) : uint8_t(info.crc >> 24);
        if (header[kEncryptionHeaderSize - 1] != check) {
            CloseEntryStream(s);
            return kZipBadPassword;
        }
    }
    if (method == Z_DEFLATED) {
        if (inflateInit2(&s->z, -MAX_WBITS) != Z_OK) {
            CloseEntryStream(s);
            return kZipNoMemory;
        }
        s->inflating = 1;
    }
    *out = s;
    return kZipOk;
}

uint32_t ReadEntryStream(ZipEntryStream* s, uint8_t* out, uint32_t length, uint32_t* got) {
    *got = 0;
    if (s->ended) return s->produced == s->expectedSize && s->crc == s->expectedCrc ? kZipOk : kZipDataError;
    // Some writers store an empty deflated item with no bytes at all.
    if (s->method == Z_DEFLATED && s->rawLeft == 0 && s->z.avail_in == 0 && s->produced == 0 && s->expectedSize == 0)
        return Finish(s);
    return s->method == 0 ? ReadStored(s, out, length, got) : ReadDeflated(s, out, length, got);
}

uint64_t EntryStreamSize(const ZipEntryStream* s) { return s->expectedSize; }

void CloseEntryStream(ZipEntryStream* s) {
    if (!s) return;
    if (s->inflating) inflateEnd(&s->z);
    unzCloseCurrentFile(s->archive);
    std::free(s);
}
