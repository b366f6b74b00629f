// The ZIP writer, write then read: entries of fuzzed names, sizes and
// contents, stored or deflated (the name decides), encrypted or not, written
// to memory or to a stream, then read back by our reader. Every entry the
// writer took must come back with its name, size and bytes; nothing may
// crash, hang or leak.
//
// Input: byte 0 holds the switches (bit 0 encrypts, bit 1 writes to a
// stream, bits 2-3 choose the stored suffix's place). Then per entry: a
// name length (low 5 bits; bit 5 makes a folder, bit 6 a stored ".gz"
// name, bit 7 a size of up to 64 KiB instead of up to 255 bytes), the name's
// bytes, the size (one or two bytes) and the data: the input's next bytes,
// repeated with a twist when the size asks for more than is left, so small
// inputs reach long matches and window slides.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zip/zipreader.h"
#include "zip/zipwriter.h"
#include "zip_fuzz.h"

namespace {

constexpr size_t kMaxEntries = 12;
constexpr char kPassword[] = "fuzz pw";

struct Entry {
    std::wstring name;  // as the reader gives it back
    std::vector<uint8_t> data;
    bool folder;
};

// The encryption header's bytes: the same for every run of an input.
uint8_t FixedRandom(void* user) {
    auto* state = static_cast<uint32_t*>(user);
    *state = *state * 1103515245u + 12345u;
    return uint8_t(*state >> 16);
}

// A name character from a fuzz byte: ASCII but NUL, or a letter of the
// Latin ranges (non-ASCII names are stored as UTF-8).
wchar_t NameChar(uint8_t b) {
    if (b == 0) return L'_';
    if (b < 0x80) return wchar_t(b);
    return wchar_t(0xA0 + b);
}

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool More() const { return at < size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

// The archive's bytes after the writer closed: from the memory block, or
// read back from the stream.
std::vector<uint8_t> ReadStream(FILE* f) {
    std::vector<uint8_t> bytes;
    if (std::fseek(f, 0, SEEK_SET) != 0) return bytes;
    uint8_t buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint32_t randomState = 1;
    static const bool seeded = (SetZipRandomSource(FixedRandom, &randomState), true);
    (void)seeded;
    if (size < 1 || size > (1u << 16)) return 0;
    randomState = 1;
    Input in{data, size};
    const uint8_t switches = in.Byte();
    const bool encrypted = switches & 1;
    const bool toStream = switches & 2;

    std::vector<Entry> wanted;
    std::vector<std::vector<uint8_t>> sources;
    struct Add {
        std::wstring name;
        size_t source;
        bool folder;
    };
    std::vector<Add> adds;
    size_t total = 0;
    while (in.More() && adds.size() < kMaxEntries) {
        const uint8_t head = in.Byte();
        std::wstring name;
        for (size_t i = 0, n = head & 31; i < n; ++i) name += NameChar(in.Byte());
        if (head & 64) name += L".gz";
        const size_t length = (head & 128) ? size_t(in.Byte()) << 8 | in.Byte() : in.Byte();
        std::vector<uint8_t> bytes(length);
        const size_t start = in.at;
        for (size_t i = 0; i < length; ++i) {
            const size_t round = start + i < size ? 0 : (start + i - size) / (size - start > 0 ? size - start : 1) + 1;
            bytes[i] = start < size ? uint8_t(data[start + (i % (size - start))] ^ (round * 0x1D & switches & 0xF0))
                                    : uint8_t(i * 7);
        }
        in.at = start + length < size ? start + length : size;
        total += length;
        sources.push_back(std::move(bytes));
        adds.push_back(Add{name, sources.size() - 1, (head & 32) != 0});
    }

    ZipWriter* w = CreateZipWriter(encrypted ? kPassword : nullptr);
    Check(w != nullptr);
    FILE* stream = nullptr;
    std::vector<uint8_t> block;
    uint32_t opened;
    if (toStream) {
        stream = std::tmpfile();
        if (!stream) {
            FreeZipWriter(w);
            return 0;
        }
        opened = ZipWriterOpen(w, stream, 0, kZipKindHandle);
    } else {
        // Room for any entry stored, with its headers, twice over.
        block.resize(2 * total + adds.size() * 1200 + 4096);
        opened = ZipWriterOpen(w, block.data(), uint32_t(block.size()), kZipKindMemory);
    }
    Check(opened == kZipOk);

    for (const Add& a : adds) {
        const std::vector<uint8_t>& bytes = sources[a.source];
        const uint32_t r = a.folder ? ZipWriterAdd(w, a.name.c_str(), nullptr, 0, kZipKindFolder)
                                    : ZipWriterAdd(w, a.name.c_str(), bytes.data(), uint32_t(bytes.size()),
                                                   kZipKindMemory);
        // Only a name the format cannot hold (empty, too long) is refused.
        Check(r == kZipOk || r == kZipBadArguments);
        if (r != kZipOk) continue;
        std::wstring stored = a.name;
        for (wchar_t& c : stored)
            if (c == L'\\') c = L'/';
        if (a.folder && stored.back() != L'/') stored += L'/';
        wanted.push_back(Entry{stored, a.folder ? std::vector<uint8_t>() : bytes, a.folder});
    }
    Check(ZipWriterClose(w) == kZipOk);
    const uint32_t archiveSize = w->written;
    FreeZipWriter(w);
    std::vector<uint8_t> archive;
    if (toStream) {
        archive = ReadStream(stream);
        std::fclose(stream);
    } else {
        archive.assign(block.begin(), block.begin() + archiveSize);
    }

    ZipHandle* h = OpenZipMemory(archive.data(), uint32_t(archive.size()), encrypted ? kPassword : nullptr);
    Check(h != nullptr);
    ZipItem all;
    Check(GetZipItem(h, -1, &all) == kZipOk && all.index == int32_t(wanted.size()));
    std::vector<uint8_t> buffer(3000);
    for (size_t i = 0; i < wanted.size(); ++i) {
        ZipItem item;
        Check(GetZipItem(h, int32_t(i), &item) == kZipOk);
        Check(wanted[i].name == item.name);
        Check(item.uncompressedSize == wanted[i].data.size());
        Check(((item.attributes & 0x10) != 0) == wanted[i].folder);
        // Each piece fills the buffer up to what is left of the item; the
        // item's end comes as kZipOk with nothing more.
        std::vector<uint8_t> back;
        uint32_t r;
        while ((r = UnzipItemToMemory(h, int32_t(i), buffer.data(), uint32_t(buffer.size()))) == kZipMoreData) {
            const size_t left = wanted[i].data.size() - std::min(back.size(), wanted[i].data.size());
            Check(left > 0);
            back.insert(back.end(), buffer.begin(), buffer.begin() + std::ptrdiff_t(std::min(left, buffer.size())));
        }
        Check(r == kZipOk);
        Check(back == wanted[i].data);
    }
    Check(CloseZipReader(h) == kZipOk);
    return 0;
}
