// The animated GIF loader: reads every image of the file in turn, composes
// each onto a copy of the previous frame (after the previous image's
// disposal) and keeps the result as a complete palette frame.
#include "display/anigif.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int kTrailer = 0x3B;
constexpr int kExtensionIntroducer = 0x21;
constexpr int kImageSeparator = 0x2C;
constexpr int kGraphicControlLabel = 0xF9;
constexpr int kMaxCodeSize = 12;
// Writers may declare roots of up to 9 bits for 8-bit pixels; a literal code
// above 255 keeps its low byte.
constexpr int kMaxRootSize = 9;
constexpr int kTableSize = 1 << kMaxCodeSize;
constexpr int kMaxString = kTableSize - 1;
constexpr int kPaletteEntries = 256;

// Disposal methods of the graphic control extension.
constexpr int kDisposeBackground = 2;
constexpr int kDisposePrevious = 3;
constexpr int kDisposePreviousToo = 4;

// Reads one image's data sub-blocks a byte at a time.
struct SubBlocks {
    PictureFile* file;
    uint8_t block[255];
    int length = 0;
    int pos = 0;
    bool ended = false;      // the zero-length terminator was read
    bool truncated = false;  // the file ended inside the data

    // The next data byte; -1 at the end of the data (terminator or file end).
    int Next() {
        if (pos == length) {
            if (ended || truncated) return -1;
            const int n = ReadFileByte(file);
            if (n < 0) {
                truncated = true;
                return -1;
            }
            if (n == 0) {
                ended = true;
                return -1;
            }
            if (ReadFileBytes(file, block, size_t(n)) != size_t(n)) {
                truncated = true;
                return -1;
            }
            length = n;
            pos = 0;
        }
        return block[pos++];
    }

    // Consumes what is left up to the terminator.
    void SkipRest() {
        while (Next() >= 0) pos = length;
    }
};

// Skips data sub-blocks (length byte, data) up to a zero length or the end.
void SkipSubBlocks(PictureFile* file) {
    for (;;) {
        const int n = ReadFileByte(file);
        if (n <= 0 || SkipFileBytes(file, n) != 0 || PictureFileFailed(file)) return;
    }
}

int SkipSubBlocksAfter(PictureFile* file, int firstLength) {
    if (firstLength <= 0) return 0;
    if (SkipFileBytes(file, firstLength) != 0 || PictureFileFailed(file)) return 0;
    SkipSubBlocks(file);
    return 0;
}

// Delivers decoded rows to the canvas in the image's rectangle, interlaced
// or not, writing only inside the frame and skipping transparent pixels.
class RowSink {
public:
    explicit RowSink(const AniGifTarget& t) : t_(t) {}

    bool Done() const { return row_ >= t_.height; }

    void Put(const uint8_t* indices) {
        const int32_t y = t_.top + ImageRow(row_);
        ++row_;
        Bitmap* f = t_.frame;
        if (y < 0 || y >= f->height) return;
        const int32_t x0 = std::max<int32_t>(t_.left, 0);
        const int32_t x1 = std::min<int32_t>(t_.left + t_.width, f->width);
        uint8_t* out = f->pixels + size_t(y) * size_t(f->bytesPerRow);
        for (int32_t x = x0; x < x1; ++x) {
            const uint8_t raw = indices[x - t_.left];
            // Transparency is a property of the file's index, not of the
            // colour it maps to in the merged palette.
            if (t_.transparency && raw == t_.transparentIndex) continue;
            out[x] = t_.indexMap[raw];
        }
    }

private:
    // Which row of the image the r-th decoded row is.
    int32_t ImageRow(int32_t r) const {
        if (!t_.interlaced) return r;
        const int32_t h = t_.height - 1;
        if (r <= h / 8) return r * 8;
        if (r <= h / 4) return (r - h / 8) * 8 - 4;
        if (r <= h / 2) return (r - h / 4) * 4 - 2;
        return (r - h / 2) * 2 - 1;
    }

    const AniGifTarget& t_;
    int32_t row_ = 0;
};

// Palette entries of a Bitmap are planar: 256 red, then green, then blue.
struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb PaletteAt(const uint8_t* palette, int i) {
    return {palette[i], palette[kPaletteEntries + i], palette[2 * kPaletteEntries + i]};
}

void SetPaletteAt(uint8_t* palette, int i, const Rgb& c) {
    palette[i] = c.r;
    palette[kPaletteEntries + i] = c.g;
    palette[2 * kPaletteEntries + i] = c.b;
}

void SetPaletteFromTable(Bitmap* frame, const uint8_t* table, int count) {
    for (int i = 0; i < count; ++i) SetPaletteAt(frame->palette, i, {table[3 * i], table[3 * i + 1], table[3 * i + 2]});
    frame->paletteCount = int16_t(count);
}

int ClosestEntry(const uint8_t* palette, int count, const Rgb& c) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < count; ++i) {
        const Rgb p = PaletteAt(palette, i);
        const long d = long(p.r - c.r) * (p.r - c.r) + long(p.g - c.g) * (p.g - c.g) + long(p.b - c.b) * (p.b - c.b);
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

// A frame that keeps the previous frame's palette (the canvas shows through
// it) takes the new image's colours into it: each colour goes to the first
// equal entry not yet taken, else to a free entry after the previous ones,
// else to an entry no canvas pixel uses, else (the palette is full of used
// colours) to the closest entry. Entries the canvas uses are never changed,
// so what shows through keeps its colours.
void MergePalette(Bitmap* frame, const Bitmap& previous, const uint8_t* table, int count, uint8_t* map) {
    std::memcpy(frame->palette, previous.palette, kPaletteBytes);
    int paletteCount = previous.paletteCount;
    frame->paletteCount = previous.paletteCount;
    bool same = count == paletteCount;
    for (int i = 0; same && i < count; ++i)
        same = PaletteAt(previous.palette, i) == Rgb{table[3 * i], table[3 * i + 1], table[3 * i + 2]};
    if (same) return;

    bool taken[kPaletteEntries] = {};
    bool unmatched[kPaletteEntries] = {};
    bool anyUnmatched = false;
    for (int i = 0; i < count; ++i) {
        const Rgb c{table[3 * i], table[3 * i + 1], table[3 * i + 2]};
        unmatched[i] = true;
        for (int j = 0; j < paletteCount; ++j) {
            if (!taken[j] && PaletteAt(previous.palette, j) == c) {
                taken[j] = true;
                map[i] = uint8_t(j);
                unmatched[i] = false;
                break;
            }
        }
        anyUnmatched = anyUnmatched || unmatched[i];
    }
    if (!anyUnmatched) return;

    bool used[kPaletteEntries] = {};
    for (int32_t y = 0; y < frame->height; ++y) {
        const uint8_t* row = frame->pixels + size_t(y) * size_t(frame->bytesPerRow);
        for (int32_t x = 0; x < frame->width; ++x) used[row[x]] = true;
    }
    int freeSearch = 0;
    for (int i = 0; i < count; ++i) {
        if (!unmatched[i]) continue;
        const Rgb c{table[3 * i], table[3 * i + 1], table[3 * i + 2]};
        int slot = -1;
        if (paletteCount < kPaletteEntries) {
            slot = paletteCount++;
        } else {
            while (freeSearch < kPaletteEntries && (used[freeSearch] || taken[freeSearch])) ++freeSearch;
            if (freeSearch < kPaletteEntries) slot = freeSearch++;
        }
        if (slot < 0) {
            map[i] = uint8_t(ClosestEntry(frame->palette, paletteCount, c));
            continue;
        }
        SetPaletteAt(frame->palette, slot, c);
        taken[slot] = true;
        map[i] = uint8_t(slot);
    }
    frame->paletteCount = int16_t(paletteCount);
}

// The previous image's rectangle clipped to the canvas; false when nothing
// of it lies on the canvas.
bool ClipToCanvas(const Bitmap& canvas, const PictureRect& r, PictureRect* out) {
    const int64_t x0 = std::max<int64_t>(r.x, 0), y0 = std::max<int64_t>(r.y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(r.x) + r.width, canvas.width);
    const int64_t y1 = std::min<int64_t>(int64_t(r.y) + r.height, canvas.height);
    if (x1 <= x0 || y1 <= y0) return false;
    *out = {int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
    return true;
}

void FillRect(Bitmap* canvas, const PictureRect& r, uint8_t value) {
    for (int32_t y = r.y; y < r.y + r.height; ++y)
        std::memset(canvas->pixels + size_t(y) * size_t(canvas->bytesPerRow) + size_t(r.x), value, size_t(r.width));
}

void CopyRect(Bitmap* canvas, const Bitmap& from, const PictureRect& r) {
    for (int32_t y = r.y; y < r.y + r.height; ++y) {
        const size_t at = size_t(y) * size_t(canvas->bytesPerRow) + size_t(r.x);
        std::memcpy(canvas->pixels + at, from.pixels + at, size_t(r.width));
    }
}

size_t PixelBytes(const Bitmap& b) { return size_t(b.bytesPerRow) * size_t(b.height); }

// One graphic control extension; it applies to the image that follows it.
struct GraphicControl {
    bool present = false;
    uint8_t packed = 0;
    uint32_t delay = 0;  // hundredths of a second
    uint8_t transparentIndex = 0;

    int Disposal() const { return (packed >> 2) & 7; }
    bool Transparency() const { return packed & 1; }
};

// The state carried from one image to the next.
struct Loader {
    PictureFile* file = nullptr;
    AniGifAnimation* out = nullptr;
    int32_t screenWidth = 0, screenHeight = 0;
    uint8_t background = 0;
    uint8_t globalTable[768] = {};
    int globalCount = 0;
    uint8_t localTable[768] = {};
    GraphicControl control;
    AniGifWork work;
    Bitmap saved{};          // the canvas kept for disposal method 3
    bool haveSaved = false;
    // What the previous image left for the next one.
    int previousDisposal = 0;
    PictureRect previousRect{};
    int firstTransparentIndex = -1;
    size_t totalBytes = 0;  // pixel bytes of the frames so far

    ~Loader() {
        if (haveSaved) FreeBitmap(&saved);
    }

    int Image();
    int ComposeCanvas(Bitmap* frame, const Bitmap* previous, bool transparency, uint8_t transparent);
    bool SaveCanvas(const Bitmap& frame);
};

bool Loader::SaveCanvas(const Bitmap& frame) {
    if (!haveSaved) {
        if (!AllocBitmap(&saved, kPixelPalette, 4, frame.width, frame.height)) return false;
        haveSaved = true;
    }
    std::memcpy(saved.pixels, frame.pixels, PixelBytes(frame));
    return true;
}

// Fills the new frame with what shows through the image about to be
// decoded. 0, or 1 when the saved canvas could not be made.
int Loader::ComposeCanvas(Bitmap* frame, const Bitmap* previous, bool transparency, uint8_t transparent) {
    const uint8_t fill = transparency ? transparent : background;
    if (!previous) {
        std::memset(frame->pixels, fill, PixelBytes(*frame));
        return 0;
    }
    std::memcpy(frame->pixels, previous->pixels, PixelBytes(*frame));
    if (previousDisposal == kDisposePrevious && !haveSaved && !SaveCanvas(*previous)) return kAniGifNoMemory;
    PictureRect r;
    if (!ClipToCanvas(*frame, previousRect, &r)) return 0;
    if (previousDisposal == kDisposeBackground) FillRect(frame, r, fill);
    else if ((previousDisposal == kDisposePrevious || previousDisposal == kDisposePreviousToo) && haveSaved)
        CopyRect(frame, saved, r);
    return 0;
}

int Loader::Image() {
    AniGifImageDescriptor d;
    if (!AniGifReadImageDescriptor(&d, file)) return kAniGifTruncated;
    const bool first = out->frames.empty();
    if (!first && (d.width > screenWidth || d.height > screenHeight)) return -1;  // ends the reading
    if (d.width < 1 || d.height < 1 || d.width >= kAniGifMaxSide || d.height >= kAniGifMaxSide)
        return kAniGifBadFrame;
    if (first) {
        screenWidth = std::max<int32_t>(screenWidth, d.width);
        screenHeight = std::max<int32_t>(screenHeight, d.height);
    }

    // The colour table of this image.
    const uint8_t* table = globalTable;
    int count = globalCount;
    if (d.flags & 0x80) {
        count = 1 << ((d.flags & 7) + 1);
        if (ReadFileBytes(file, localTable, size_t(3 * count)) != size_t(3 * count)) return kAniGifTruncated;
        table = localTable;
    }
    const int minCodeSize = ReadFileByte(file);
    if (minCodeSize < 0) return kAniGifTruncated;
    if (minCodeSize < 2 || minCodeSize > kMaxRootSize) return kAniGifBadFrame;

    AniGifFrame record{};
    const size_t frameBytes =
        size_t(BitmapRowBytes(kPixelPalette, 4, screenWidth, screenHeight, 8)) * size_t(screenHeight);
    if (frameBytes > kAniGifMaxTotalBytes - totalBytes) return kAniGifNoMemory;
    if (!AllocBitmap(&record.bitmap, kPixelPalette, 4, screenWidth, screenHeight)) return kAniGifNoMemory;
    try {
        out->frames.push_back(record);
    } catch (const std::bad_alloc&) {
        FreeBitmap(&record.bitmap);
        return kAniGifNoMemory;
    }
    Bitmap* frame = &out->frames.back().bitmap;
    const Bitmap* previous = first ? nullptr : &out->frames[out->frames.size() - 2].bitmap;
    const auto drop = [&] {
        FreeBitmap(&out->frames.back().bitmap);
        out->frames.pop_back();
    };
    out->frames.back().delayMs = control.present ? control.delay * 10 : 0;

    const bool transparency = control.present && control.Transparency();
    const uint8_t transparent = control.transparentIndex;
    if (const int rc = ComposeCanvas(frame, previous, transparency, transparent)) {
        drop();
        return rc;
    }

    uint8_t map[kPaletteEntries];
    for (int i = 0; i < kPaletteEntries; ++i) map[i] = uint8_t(i);
    const bool coversScreen = d.left == 0 && d.top == 0 && d.width == screenWidth && d.height == screenHeight;
    if (previous && (!coversScreen || transparency))
        MergePalette(frame, *previous, table, count, map);
    else
        SetPaletteFromTable(frame, table, count);

    if (!transparency || (first ? false : firstTransparentIndex < 0)) frame->transparentIndex = -1;
    else if (!first && previousDisposal == 0) frame->transparentIndex = int16_t(firstTransparentIndex);
    else frame->transparentIndex = transparent;
    if (first) firstTransparentIndex = frame->transparentIndex;

    const int disposal = control.present ? control.Disposal() : 0;
    if (disposal == kDisposePrevious && !SaveCanvas(*frame)) {
        drop();
        return kAniGifNoMemory;
    }

    const AniGifTarget target{frame, d.left, d.top, d.width, d.height, (d.flags & 0x40) != 0,
                              map, transparency, transparent};
    const int rc = AniGifDecodeFrame(file, minCodeSize, &work, target);
    previousRect = {d.left, d.top, d.width, d.height};
    previousDisposal = disposal;
    control = GraphicControl{};
    if (rc != 0) {
        drop();
        return rc;
    }
    totalBytes += frameBytes;
    return 0;
}

int Load(PictureFile* file, AniGifAnimation* out) {
    AniGifScreen screen;
    if (!AniGifReadScreen(&screen, file) || std::memcmp(screen.signature, "GIF", 3) != 0 ||
        screen.signature[3] < '0' || screen.signature[3] > '9' || screen.signature[4] < '0' ||
        screen.signature[4] > '9')
        return kAniGifNotGif;
    if (screen.width >= kAniGifMaxSide || screen.height >= kAniGifMaxSide) return kAniGifBadFrame;

    std::unique_ptr<Loader> loader(new (std::nothrow) Loader);
    if (!loader) return kAniGifNoMemory;
    Loader& l = *loader;
    l.file = file;
    l.out = out;
    l.screenWidth = screen.width;
    l.screenHeight = screen.height;
    l.background = screen.background;
    l.globalCount = 1 << ((screen.flags & 7) + 1);
    try {
        l.work.row.resize(size_t(kAniGifMaxSide));
    } catch (const std::bad_alloc&) {
        return kAniGifNoMemory;
    }
    int pending = 0;
    if ((screen.flags & 0x80) &&
        ReadFileBytes(file, l.globalTable, size_t(3 * l.globalCount)) != size_t(3 * l.globalCount))
        pending = kAniGifTruncated;

    for (int c; pending == 0 && (c = ReadFileByte(file)) >= 0 && c != kTrailer;) {
        if (c == kExtensionIntroducer) {
            const int label = ReadFileByte(file);
            if (label < 0) break;
            if (label != kGraphicControlLabel) {
                SkipSubBlocks(file);
                continue;
            }
            const int size = ReadFileByte(file);
            if (size != 4) {
                SkipSubBlocksAfter(file, size);
                continue;
            }
            l.control.present = true;
            l.control.packed = uint8_t(ReadFileByte(file));
            const uint32_t delay = ReadUInt16Le(file);
            l.control.delay = delay < 2 ? 10 : delay;
            l.control.transparentIndex = uint8_t(ReadFileByte(file));
            // The block's terminator is skipped as a stray byte.
        } else if (c == kImageSeparator) {
            const int rc = l.Image();
            if (rc < 0) break;
            pending = rc;
        }
    }
    if (out->frames.empty()) return kAniGifNotGif;
    return pending;
}

}  // namespace

int AniGifReadScreen(AniGifScreen* header, PictureFile* file) {
    uint8_t b[13];
    if (ReadFileBytes(file, b, sizeof b) != sizeof b) return 0;
    std::memcpy(header->signature, b, 6);
    header->width = uint16_t(b[6] | b[7] << 8);
    header->height = uint16_t(b[8] | b[9] << 8);
    header->flags = b[10];
    header->background = b[11];
    header->aspect = b[12];
    return 1;
}

int AniGifReadImageDescriptor(AniGifImageDescriptor* descriptor, PictureFile* file) {
    uint8_t b[9];
    if (ReadFileBytes(file, b, sizeof b) != sizeof b) return 0;
    descriptor->left = uint16_t(b[0] | b[1] << 8);
    descriptor->top = uint16_t(b[2] | b[3] << 8);
    descriptor->width = uint16_t(b[4] | b[5] << 8);
    descriptor->height = uint16_t(b[6] | b[7] << 8);
    descriptor->flags = b[8];
    return 1;
}

int AniGifDecodeFrame(PictureFile* file, int minCodeSize, AniGifWork* work, const AniGifTarget& target) {
    if (minCodeSize < 2 || minCodeSize > kMaxRootSize) return kAniGifBadFrame;
    if (work->row.size() < size_t(target.width)) {
        try {
            work->row.resize(size_t(target.width));
        } catch (const std::bad_alloc&) {
            return kAniGifNoMemory;
        }
    }
    SubBlocks data{file};
    RowSink sink(target);
    uint8_t* row = work->row.data();
    int32_t column = 0;

    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    int codeSize = minCodeSize + 1;
    int limit = 1 << codeSize;
    int next = clear + 2;
    int previous = -1;  // no string yet (start, or just after a clear)
    uint8_t firstByte = 0;
    uint32_t bits = 0;
    int bitCount = 0;
    int result = 0;

    while (!sink.Done()) {
        while (bitCount < codeSize) {
            const int b = data.Next();
            if (b < 0) break;
            bits |= uint32_t(b) << bitCount;
            bitCount += 8;
        }
        if (bitCount < codeSize) break;  // the data ended
        int code = int(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        bitCount -= codeSize;

        if (code == clear) {
            codeSize = minCodeSize + 1;
            limit = 1 << codeSize;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end) break;

        int depth = 0;
        if (previous < 0) {
            if (code >= clear) code = 0;
            work->stack[depth++] = uint8_t(code);
            firstByte = uint8_t(code);
        } else {
            if (code > next || (code == next && next >= kTableSize)) break;
            int walk = code;
            if (code == next) {
                work->stack[depth++] = firstByte;
                walk = previous;
            }
            while (walk > end) {
                if (depth >= kMaxString) {
                    result = kAniGifStringTooLong;
                    break;
                }
                work->stack[depth++] = work->suffix[walk];
                walk = work->prefix[walk];
            }
            if (result) break;
            if (depth >= kMaxString) {
                result = kAniGifStringTooLong;
                break;
            }
            firstByte = uint8_t(walk);
            work->stack[depth++] = firstByte;
            // The table stops growing when it is full; later codes use it as
            // it stands.
            if (next < kTableSize) {
                work->prefix[next] = uint16_t(previous);
                work->suffix[next] = firstByte;
                ++next;
                if (next == limit && codeSize < kMaxCodeSize) {
                    ++codeSize;
                    limit <<= 1;
                }
            }
        }
        previous = code;

        while (depth > 0 && !sink.Done()) {
            row[column++] = work->stack[--depth];
            if (column == target.width) {
                sink.Put(row);
                column = 0;
            }
        }
    }
    if (data.truncated) return result ? result : kAniGifTruncated;
    data.SkipRest();
    if (data.truncated && result == 0) result = kAniGifTruncated;
    return result;
}

int AniGifLoadSource(const FileSource* source, AniGifAnimation* out) {
    AniGifFree(out);
    PictureFile* file = OpenPictureFile(source, kOpenReadBinary);
    if (!file) return kAniGifCannotOpen;
    const int rc = Load(file, out);
    ClosePictureFile(file);
    return rc;
}

int AniGifLoad(const wchar_t* path, AniGifAnimation* out) {
    FileSource source;
    InitFileSource(&source, path);
    return AniGifLoadSource(&source, out);
}

void AniGifFree(AniGifAnimation* animation) {
    for (AniGifFrame& f : animation->frames) FreeBitmap(&f.bitmap);
    animation->frames.clear();
}
