// Reading the show appended to the player. Portable: no platform headers.
#include "player/showfile.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imagelib/bytereader.h"

namespace {

// The magic XOR 0x5A, unmasked through a volatile key so that no build
// folds it back into plain text in the program image.
constexpr uint8_t kMaskedMagic[kShowMagicLength] = {0x0E, 0x08, 0x1F, 0x16, 0x17, 0x15, 0x77, 0x09, 0x19, 0x08};
volatile uint8_t g_magicKey = 0x5A;

int64_t FileSizeOf(const PictureFile* file) {
    return file->memory ? int64_t(file->memorySize) : file->size;
}

bool ReadU32(PictureFile* file, uint32_t* value) {
    *value = ReadUInt32Le(file);
    return !file->eof;
}

// Position of the first magic at or after `start`, or -1.
int64_t FindMagic(PictureFile* file, int64_t start) {
    uint8_t magic[kShowMagicLength];
    ShowMagic(magic);
    if (SeekPictureFile(file, start, SEEK_SET) != 0) return -1;
    std::vector<uint8_t> block(size_t(64) << 10);
    size_t kept = 0;  // bytes carried over from the previous block
    int64_t blockStart = start;
    for (;;) {
        const size_t got = ReadFileBytes(file, block.data() + kept, block.size() - kept);
        const size_t have = kept + got;
        if (have >= kShowMagicLength) {
            const auto end = block.begin() + long(have);
            const auto at = std::search(block.begin(), end, magic, magic + kShowMagicLength);
            if (at != end) return blockStart + (at - block.begin());
        }
        if (got == 0) return -1;
        kept = std::min(have, kShowMagicLength - 1);
        std::memmove(block.data(), block.data() + have - kept, kept);
        blockStart += int64_t(have - kept);
    }
}

}  // namespace

void ShowMagic(uint8_t out[kShowMagicLength]) {
    for (size_t i = 0; i < kShowMagicLength; ++i) out[i] = uint8_t(kMaskedMagic[i] ^ g_magicKey);
}

int64_t PeImageEnd(const uint8_t* headers, size_t size) {
    ByteReader r(headers, size);
    if (r.U16Le() != 0x5A4D) return 0;  // "MZ"
    r.Seek(0x3C);
    const uint32_t pe = r.U32Le();
    if (!r.Seek(pe) || r.U32Le() != 0x00004550) return 0;  // "PE\0\0"
    r.Skip(2);  // machine
    const uint16_t sections = r.U16Le();
    r.Skip(4);  // time stamp
    const uint32_t symbols = r.U32Le();
    const uint32_t symbolCount = r.U32Le();
    const uint16_t optionalSize = r.U16Le();
    r.Skip(2);  // characteristics
    if (!r.ok || !r.Skip(optionalSize)) return 0;
    int64_t end = 0;
    for (uint16_t i = 0; i < sections; ++i) {
        r.Skip(16);  // name, virtual size, virtual address
        const uint32_t rawSize = r.U32Le();
        const uint32_t rawPointer = r.U32Le();
        r.Skip(16);
        if (!r.ok) return 0;
        if (rawSize) end = std::max(end, int64_t(rawPointer) + rawSize);
    }
    // COFF symbols (18 bytes each) follow the sections in unstripped builds.
    if (symbols) end = std::max(end, int64_t(symbols) + int64_t(symbolCount) * 18);
    return end;
}

int ReadAppendedShow(PictureFile* file, int64_t start, AppendedShow* show) {
    *show = AppendedShow{};
    const int64_t size = FileSizeOf(file);
    const int64_t at = FindMagic(file, std::max<int64_t>(start, 0));
    if (at < 0) return kShowNoMagic;
    if (SeekPictureFile(file, at + int64_t(kShowMagicLength), SEEK_SET) != 0) return kShowTruncated;

    uint32_t reserved;
    if (!ReadU32(file, &show->flags) || !ReadU32(file, &show->delay) || !ReadU32(file, &show->background) ||
        !ReadU32(file, &reserved))
        return kShowTruncated;
    if (show->flags & kShowHasSound) {
        uint32_t soundSize;
        if (!ReadU32(file, &soundSize)) return kShowTruncated;
        const int64_t here = TellPictureFile(file);
        if (int64_t(soundSize) > size - here) return kShowTruncated;
        // A sound that cannot be held is skipped; the show plays silently.
        try {
            show->sound.resize(soundSize);
        } catch (const std::bad_alloc&) {
            show->sound.clear();
        }
        if (!show->sound.empty()) {
            if (ReadFileBytes(file, show->sound.data(), soundSize) != soundSize) return kShowTruncated;
        } else if (SeekPictureFile(file, here + soundSize, SEEK_SET) != 0) {
            return kShowTruncated;
        }
    }
    uint32_t count;
    if (!ReadU32(file, &count)) return kShowTruncated;
    const int64_t tableAt = TellPictureFile(file);
    if (int64_t(count) > (size - tableAt) / 4) return kShowTruncated;
    std::vector<uint8_t> table(size_t(count) * 4);
    if (ReadFileBytes(file, table.data(), table.size()) != table.size()) return kShowTruncated;
    ByteReader r(table.data(), table.size());
    show->offsets.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t offset = r.U32Le();
        // An offset at the very end belongs to a picture that could not be
        // made: decoding it fails and the show skips it.
        if (offset > size) return kShowBadOffset;
        show->offsets[i] = offset;
    }
    return kShowRead;
}
