// Adobe Photoshop documents (version 1): the merged composite image, or one
// layer chosen by the load's image index, in bitmap, grey, indexed, RGB,
// CMYK, multichannel, duotone and L*a*b* modes at 1, 8 or 16 bits. The
// image resources that carry metadata (IPTC, EXIF, XMP, ICC profile) and the
// resolution are kept.
//
// Portable: talks to the library only through the load context's callbacks
// and the picture file. Every length read from the file is checked against
// the section that holds it, in 64 bits.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../bytereader.h"
#include "../metadata.h"
#include "../readconvert.h"
#include "../textutil.h"
#include "psd.h"
#include "readerio.h"
#include "readers.h"

namespace {

constexpr int kMaxChannels = 56;
constexpr uint16_t kCompressionRaw = 0;
constexpr uint16_t kCompressionRle = 1;
constexpr size_t kIndexedPaletteBytes = 768;  // 256 reds, 256 greens, 256 blues
// Metadata resources larger than this are skipped.
constexpr uint64_t kMetadataLimit = uint64_t(64) << 20;

enum PsdMode : int {
    kModeBitmap = 0, kModeGrey = 1, kModeIndexed = 2, kModeRgb = 3, kModeCmyk = 4,
    kModeMultichannel = 7, kModeDuotone = 8, kModeLab = 9,
};

enum PsdResource : int {
    kResourceResolution = 1005, kResourceIptc = 1028, kResourceIcc = 1039, kResourceExif = 1058,
    kResourceXmp = 1060,
};

constexpr uint16_t kColourSpaceCmyk = 3;
constexpr uint16_t kColourSpaceLab = 6;

const char kBadDepth[] = "PSD: Depth != 8/16!";
const char kBadMode[] = "PSD: Invalid Picture Mode !";

struct PsdHeader {
    int channels;
    uint32_t height;
    uint32_t width;
    int depth;
    int mode;
};

struct PsdChannel {
    int id;
    uint64_t length;  // bytes of its data, the compression word included
};

// The layer to load: its rectangle, its channels in record order and its name.
struct PsdLayer {
    int32_t top, left, bottom, right;
    int channelCount;
    PsdChannel channels[kMaxChannels];
    char name[kPsdLayerNameMax + 1];
};

bool SeekTo(PictureFile* f, uint64_t offset) {
    return offset <= uint64_t(INT64_MAX) && SeekWithinFile(f, int64_t(offset));
}

uint64_t Position(PictureFile* f) {
    const int64_t p = TellPictureFile(f);
    return p < 0 ? 0 : uint64_t(p);
}

// A section's 32-bit length and where it ends; false when the file ends at
// the length.
bool ReadSectionEnd(PictureFile* f, uint64_t* end) {
    const uint32_t length = ReadUInt32Be(f);
    *end = Position(f) + length;
    return !f->eof;
}

// 0, 2 (not a version 1 document), 4 (the file ends first), or 9 or 10 for
// depths, modes and channel counts the reader does not take.
int ReadPsdHeader(PictureFile* f, LoadContext* ctx, PsdHeader* h) {
    uint8_t b[26];
    const size_t got = ReadFileBytes(f, b, sizeof b);
    if (got < 4 || std::memcmp(b, "8BPS", 4) != 0) return got < 4 ? kLoadIncomplete : kLoadNotRecognised;
    if (got < 6) return kLoadIncomplete;
    if ((b[4] << 8 | b[5]) != 1) return kLoadNotRecognised;
    if (got < sizeof b) return kLoadIncomplete;
    ByteReader r(b, sizeof b);
    r.Skip(12);  // signature, version, reserved
    h->channels = r.U16Be();
    h->height = r.U32Be();
    h->width = r.U32Be();
    h->depth = r.U16Be();
    h->mode = r.U16Be();
    if (h->depth != 1 && h->depth != 8 && h->depth != 16) return RefusePicture(ctx, kBadDepth);
    switch (h->mode) {
        case kModeBitmap: case kModeGrey: case kModeIndexed: case kModeRgb: case kModeCmyk:
        case kModeMultichannel: case kModeDuotone: case kModeLab: break;
        default: return RefusePicture(ctx, kBadMode);
    }
    // Bitmap mode is 1-bit and 1 bit means bitmap mode.
    if ((h->depth == 1) != (h->mode == kModeBitmap)) return RefusePicture(ctx, kBadDepth);
    if (h->channels < 1 || h->channels > kMaxChannels) return kLoadCorrupt;
    return kLoadOk;
}

// A metadata resource in the layout the JPEG markers use: IPTC behind
// "Photoshop 3.0" and the 12-byte head of a complete "8BIM" resource (id, an
// empty padded name, the 32-bit size), its data padded to even; EXIF behind
// "Exif\0\0"; XMP and ICC profiles as they are. The data is read straight
// behind that prefix and the block handed on. False when the file ends
// first, which is known before anything is allocated when the file's size
// is; a block that cannot be allocated is left out.
bool KeepMetadataResource(PictureFile* f, LoadContext* ctx, int id, uint32_t size) {
    const int64_t left = RemainingFileBytes(f);
    if (left >= 0 && uint64_t(left) < size) return false;
    const bool iptc = id == kResourceIptc;
    const size_t prefix = iptc ? kPhotoshopIptcHeaderSize + 12 : id == kResourceExif ? 6 : 0;
    const size_t total = prefix + size + (iptc ? size & 1 : 0);
    uint8_t* block = static_cast<uint8_t*>(std::calloc(total ? total : 1, 1));
    if (!block) return true;
    if (ReadFileBytes(f, block + prefix, size) != size) {
        std::free(block);
        return false;
    }
    uint32_t kind = kMetadataIcc;
    if (iptc) {
        kind = kMetadataIptc;
        uint8_t* resource = block + kPhotoshopIptcHeaderSize;
        std::memcpy(block, kPhotoshopIptcHeader, kPhotoshopIptcHeaderSize);
        std::memcpy(resource, "8BIM\x04\x04\0\0", 8);
        resource[8] = uint8_t(size >> 24);
        resource[9] = uint8_t(size >> 16);
        resource[10] = uint8_t(size >> 8);
        resource[11] = uint8_t(size);
    } else if (id == kResourceExif) {
        kind = kMetadataExif;
        std::memcpy(block, "Exif\0\0", 6);
    } else if (id == kResourceXmp) {
        kind = kMetadataXmp;
    }
    ctx->callbacks.addMetadataBlock(ctx, kind, block, uint32_t(total));
    std::free(block);
    return true;
}

bool IsMetadataResource(int id) {
    return id == kResourceIptc || id == kResourceExif || id == kResourceXmp || id == kResourceIcc;
}

// Walks the image resources up to `end`: the resolution and, when the load
// keeps metadata, the metadata resources. A resource that does not fit its
// section ends the walk. False when the file ends first.
bool ReadPsdResources(PictureFile* f, LoadContext* ctx, uint64_t end, int32_t* xDpi, int32_t* yDpi) {
    const bool keep = (ctx->options.flags & kLoadKeepMetadata) && ctx->callbacks.addMetadataBlock;
    for (;;) {
        const uint64_t start = Position(f);
        if (start >= end || end - start < 12) return true;
        uint8_t head[7];
        if (ReadFileBytes(f, head, sizeof head) != sizeof head) return false;
        const int id = head[4] << 8 | head[5];
        const int nameLength = head[6];
        // The name with its length byte is padded to an even size.
        if (SkipFileBytes(f, nameLength + ((nameLength & 1) ? 0 : 1))) return false;
        const uint32_t size = ReadUInt32Be(f);
        if (f->eof) return false;
        const uint64_t dataStart = Position(f);
        const uint64_t padded = uint64_t(size) + (size & 1);
        if (dataStart > end || padded > end - dataStart) return true;

        if (id == kResourceResolution && size >= 16) {
            uint8_t r[16];
            if (ReadFileBytes(f, r, sizeof r) != sizeof r) return false;
            // 16.16 fixed point values; the whole part is the resolution.
            *xDpi = int32_t(r[0] << 8 | r[1]);
            *yDpi = int32_t(r[8] << 8 | r[9]);
        } else if (keep && IsMetadataResource(id) && size <= kMetadataLimit) {
            if (!KeepMetadataResource(f, ctx, id, size)) return false;
        }
        if (!SeekTo(f, dataStart + padded)) return false;
    }
}

// The layer's name from its extra data (`extra` bytes from where the file
// stands): after the mask and blending-ranges sections, each behind its
// 32-bit length. A name that does not fit the extra data is not kept.
// False when the file ends first.
bool ReadLayerName(PictureFile* f, uint64_t extra, char* name) {
    name[0] = '\0';
    uint64_t used = 0;
    for (int section = 0; section < 2; ++section) {  // mask, then blending ranges
        if (extra - used < 4) return true;
        const uint32_t length = ReadUInt32Be(f);
        if (f->eof) return false;
        used += 4;
        if (length > extra - used) return true;
        if (SkipFileBytes(f, length)) return false;
        used += length;
    }
    if (extra - used < 2) return true;
    uint32_t size = 0;
    char* text = ReadLengthPrefixedText(f, &size);
    if (size == 0) return !f->eof;
    if (text && size <= extra - used) CopyTextBounded(name, kPsdLayerNameMax + 1, text);
    std::free(text);
    return true;
}

// What the walk over the layer records found.
struct LayerScan {
    bool mergedAlpha;    // a negative layer count: the composite's first extra channel is its transparency
    int nonEmpty;        // layers that hold pixels
    bool found;          // the wanted one is among them
    uint64_t skip;       // channel data of the layers before it
    uint64_t dataStart;  // where the layers' channel data begins
};

// The layer records of the layer info section, which ends at `end`. The
// `wanted`-th layer with pixels (counted from 1) is copied into `layer`.
// 0, 4 (the file ends first) or 10 (a record that does not fit).

int ReadPsdLayers(PictureFile* f, uint64_t end, uint32_t wanted, PsdLayer* layer, LayerScan* scan) {
    *scan = LayerScan{};
    const int signedCount = int16_t(ReadUInt16Be(f));
    if (f->eof) return kLoadIncomplete;
    scan->mergedAlpha = signedCount < 0;
    const int count = std::abs(signedCount);
    for (int i = 0; i < count; ++i) {
        uint8_t rect[18];
        if (ReadFileBytes(f, rect, sizeof rect) != sizeof rect) return kLoadIncomplete;
        ByteReader r(rect, sizeof rect);
        PsdLayer record;
        record.top = int32_t(r.U32Be());
        record.left = int32_t(r.U32Be());
        record.bottom = int32_t(r.U32Be());
        record.right = int32_t(r.U32Be());
        record.channelCount = r.U16Be();
        if (record.channelCount > kMaxChannels) return kLoadCorrupt;
        uint64_t dataBytes = 0;
        for (int c = 0; c < record.channelCount; ++c) {
            uint8_t ch[6];
            if (ReadFileBytes(f, ch, sizeof ch) != sizeof ch) return kLoadIncomplete;
            ByteReader cr(ch, sizeof ch);
            record.channels[c].id = int16_t(cr.U16Be());
            record.channels[c].length = cr.U32Be();
            dataBytes += record.channels[c].length;
        }
        // Blend signature and key, opacity, clipping, flags, filler.
        if (SkipFileBytes(f, 12)) return kLoadIncomplete;
        const uint32_t extra = ReadUInt32Be(f);
        if (f->eof) return kLoadIncomplete;
        const uint64_t extraStart = Position(f);
        if (extraStart > end || extra > end - extraStart) return kLoadCorrupt;
        if (!ReadLayerName(f, extra, record.name)) return kLoadIncomplete;
        if (!SeekTo(f, extraStart + extra)) return kLoadIncomplete;

        const bool hasPixels = int64_t(record.bottom) > record.top && int64_t(record.right) > record.left;
        if (hasPixels && uint32_t(++scan->nonEmpty) == wanted) {
            *layer = record;
            scan->found = true;
        }
        if (!scan->found) scan->skip += dataBytes;
    }
    scan->dataStart = Position(f);
    return scan->dataStart > end ? kLoadCorrupt : kLoadOk;
}

// Reads one row of `rowBytes` stored bytes (16-bit samples: twice the plane
// bytes) into `line`, raw or PackBits of `packedBytes` stored bytes, and
// leaves the file at the next row. 0 or 4.
int ReadPsdRow(PictureFile* f, uint16_t compression, uint32_t packedBytes, uint8_t* line, size_t rowBytes) {
    if (compression == kCompressionRaw) return ReadFileBytes(f, line, rowBytes) == rowBytes ? kLoadOk : kLoadIncomplete;
    const uint64_t start = Position(f);
    if (UnpackBitsFromFile(f, line, int64_t(rowBytes))) return kLoadIncomplete;
    if (Position(f) != start + packedBytes && !SeekTo(f, start + packedBytes)) return kLoadIncomplete;
    return kLoadOk;
}

// What the row loops share.
struct PsdRows {
    PictureFile* file;
    LoadContext* ctx;
    const ImageHeader* header;
    uint8_t* wide;       // a line of 16-bit samples, or null at 1 and 8 bits
    size_t rowBytes;     // stored bytes of one row
};

// One plane of `height` rows, narrowed to 8 bits, handed to the load.
int ReadPsdPlane(const PsdRows& r, int plane, uint16_t compression, const uint16_t* rowCounts) {
    uint8_t* out = r.header->rowBuffer;
    uint8_t* line = r.wide ? r.wide : out;
    for (int32_t y = 0; y < r.header->height; ++y) {
        const int read = ReadPsdRow(r.file, compression, rowCounts ? rowCounts[y] : 0, line, r.rowBytes);
        if (read) return read;
        if (r.wide) {
            // Big-endian samples: the high byte is the first.
            for (size_t i = 0; i < r.rowBytes / 2; ++i) out[i] = r.wide[2 * i];
        }
        const int put = r.ctx->callbacks.putScanlines(r.ctx, plane, y, 1);
        if (put) return put;
    }
    return kLoadOk;
}

// The row byte counts of `rows` run-length rows, or null (with *result 1 or
// 4) when they cannot be had. The file must still hold them.
uint16_t* ReadRowCounts(PictureFile* f, uint64_t rows, int* result) {
    const int64_t left = RemainingFileBytes(f);
    if (left >= 0 && uint64_t(left) < rows * 2) {
        *result = kLoadIncomplete;
        return nullptr;
    }
    uint8_t* raw = static_cast<uint8_t*>(std::malloc(size_t(rows) * 2));
    uint16_t* counts = static_cast<uint16_t*>(std::malloc(size_t(rows) * sizeof(uint16_t)));
    if (!raw || !counts) {
        std::free(raw);
        std::free(counts);
        *result = kLoadNoMemory;
        return nullptr;
    }
    if (ReadFileBytes(f, raw, size_t(rows) * 2) != size_t(rows) * 2) {
        std::free(raw);
        std::free(counts);
        *result = kLoadIncomplete;
        return nullptr;
    }
    for (uint64_t i = 0; i < rows; ++i) counts[i] = uint16_t(raw[2 * i] << 8 | raw[2 * i + 1]);
    std::free(raw);
    return counts;
}

int ReadCompositeRows(const PsdRows& r, int channels, int planes) {
    PictureFile* f = r.file;
    const uint16_t compression = uint16_t(ReadUInt16Be(f));
    if (f->eof) return kLoadIncomplete;
    if (compression != kCompressionRaw && compression != kCompressionRle) return kLoadCorrupt;
    uint16_t* counts = nullptr;
    if (compression == kCompressionRle) {
        int failed = kLoadOk;
        counts = ReadRowCounts(f, uint64_t(channels) * uint64_t(r.header->height), &failed);
        if (!counts) return failed;
    }
    int result = kLoadOk;
    for (int p = 0; p < planes && result == kLoadOk; ++p)
        result = ReadPsdPlane(r, p, compression, counts ? counts + size_t(p) * size_t(r.header->height) : nullptr);
    std::free(counts);
    return result;
}

// The plane a layer channel goes to, or -1 when it is not delivered (masks,
// alpha without room for it, channels beyond the mode's colours).
int LayerPlane(int id, int colourPlanes, int planes) {
    if (id >= 0 && id < colourPlanes) return id;
    if (id == -1 && planes == 4 && colourPlanes == 3) return 3;
    return -1;
}

int ReadLayerRows(const PsdRows& r, const PsdLayer& layer, int colourPlanes, int planes) {
    PictureFile* f = r.file;
    for (int c = 0; c < layer.channelCount; ++c) {
        const PsdChannel& ch = layer.channels[c];
        const uint64_t start = Position(f);
        const int plane = LayerPlane(ch.id, colourPlanes, planes);
        if (plane >= 0) {
            if (ch.length < 2) return kLoadCorrupt;
            const uint16_t compression = uint16_t(ReadUInt16Be(f));
            if (f->eof) return kLoadIncomplete;
            if (compression != kCompressionRaw && compression != kCompressionRle) return kLoadCorrupt;
            uint16_t* counts = nullptr;
            if (compression == kCompressionRle) {
                if (uint64_t(r.header->height) * 2 > ch.length - 2) return kLoadCorrupt;
                int failed = kLoadOk;
                counts = ReadRowCounts(f, uint64_t(r.header->height), &failed);
                if (!counts) return failed;
            }
            const int result = ReadPsdPlane(r, plane, compression, counts);
            std::free(counts);
            if (result) return result;
        }
        if (!SeekTo(f, start + ch.length)) return kLoadIncomplete;
    }
    return kLoadOk;
}

// Colour channels of one pixel in a mode. Multichannel documents show their
// first three channels as red, green and blue (one alone as grey).
int ColourPlanes(int mode, int channels) {
    switch (mode) {
        case kModeRgb: case kModeLab: return 3;
        case kModeCmyk: return 4;
        case kModeMultichannel: return channels < 3 ? 1 : 3;
        default: return 1;
    }
}

// Planes of the composite: the mode's colour channels, and behind three of
// them the first extra channel as transparency, but only where the file says
// the merged picture has one (a negative layer count) and the load wants it.
// Other extra channels are spot colours and saved selections.
int CompositePlanes(const PsdHeader& ph, bool mergedAlpha, bool dropAlpha) {
    const int colour = ColourPlanes(ph.mode, ph.channels);
    const bool alpha = mergedAlpha && !dropAlpha && colour == 3 && ph.channels > colour;
    return colour + (alpha ? 1 : 0);
}

int ReadPsd(PictureFile* f, LoadContext* ctx) {
    PsdHeader ph;
    const int checked = ReadPsdHeader(f, ctx, &ph);
    if (checked) return checked;

    // Colour mode data: the palette of indexed pictures; skipped otherwise.
    uint64_t end;
    if (!ReadSectionEnd(f, &end)) return kLoadIncomplete;
    uint8_t palette[kIndexedPaletteBytes];
    if (ph.mode == kModeIndexed) {
        if (end - Position(f) < kIndexedPaletteBytes) return kLoadCorrupt;
        if (ReadFileBytes(f, palette, sizeof palette) != sizeof palette) return kLoadIncomplete;
    }
    if (!SeekTo(f, end)) return kLoadIncomplete;

    int32_t xDpi = 0, yDpi = 0;
    if (!ReadSectionEnd(f, &end) || !ReadPsdResources(f, ctx, end, &xDpi, &yDpi) || !SeekTo(f, end))
        return kLoadIncomplete;

    // Layer and mask information, then the layer info inside it.
    uint64_t layerMaskEnd;
    if (!ReadSectionEnd(f, &layerMaskEnd)) return kLoadIncomplete;
    const uint32_t wanted = ctx->callbacks.getCallerValue ? ctx->callbacks.getCallerValue(ctx, 0) : 0;
    PsdLayer* layer = static_cast<PsdLayer*>(std::malloc(sizeof(PsdLayer)));
    if (!layer) return kLoadNoMemory;
    LayerScan scan{};
    int result = kLoadOk;
    if (layerMaskEnd - Position(f) >= 4) {
        uint64_t layerInfoEnd;
        if (!ReadSectionEnd(f, &layerInfoEnd)) result = kLoadIncomplete;
        else if (layerInfoEnd > layerMaskEnd) result = kLoadCorrupt;
        else if (layerInfoEnd - Position(f) >= 2) result = ReadPsdLayers(f, layerInfoEnd, wanted, layer, &scan);
    }
    ctx->imageCount = 1 + uint32_t(scan.nonEmpty);
    const bool useLayer = result == kLoadOk && scan.found;
    if (result == kLoadOk && !SeekTo(f, useLayer ? scan.dataStart + scan.skip : layerMaskEnd))
        result = kLoadIncomplete;
    if (result) {
        std::free(layer);
        return result;
    }

    ImageHeader h;
    ctx->callbacks.clearImageHeader(&h);
    CopyTextBounded(h.description, sizeof h.description, "Adobe Photoshop Document");
    int planes;
    int colourPlanes = 0;
    if (useLayer) {
        const int64_t width = int64_t(layer->right) - layer->left;
        const int64_t height = int64_t(layer->bottom) - layer->top;
        // Sides BeginImage cannot take are declared as 0, which it refuses.
        h.width = width < INT32_MAX ? int32_t(width) : 0;
        h.height = height < INT32_MAX ? int32_t(height) : 0;
        colourPlanes = ColourPlanes(ph.mode, ph.channels);
        bool alpha = false;
        for (int c = 0; c < layer->channelCount; ++c) alpha = alpha || layer->channels[c].id == -1;
        planes = colourPlanes + (alpha && colourPlanes == 3 ? 1 : 0);
        ctx->readerValues[0] = uint32_t(layer->left);
        ctx->readerValues[1] = uint32_t(layer->top);
    } else {
        h.width = ph.width < INT32_MAX ? int32_t(ph.width) : 0;
        h.height = ph.height < INT32_MAX ? int32_t(ph.height) : 0;
        planes = CompositePlanes(ph, scan.mergedAlpha, ctx->options.psdDropAlpha != 0);
    }
    h.compression = kCompressionRle;
    h.planes = int16_t(planes);
    h.bitsPerPlane = int16_t(ph.depth > 8 ? 8 : ph.depth);
    h.bytesPerPlane = ph.depth < 8 ? (uint32_t(h.width) + 7) / 8 : uint32_t(h.width);
    if (ph.mode != kModeBitmap && ph.mode != kModeGrey) h.flags = kHeaderSeparatePlanes;
    if (ph.mode == kModeCmyk) {
        h.flags |= kHeaderCmykInverted;
        h.colourSpace = kColourSpaceCmyk;
    } else if (ph.mode == kModeLab) {
        h.flags |= kHeaderLabUnsignedD50;
        h.colourSpace = kColourSpaceLab;
    } else if (ph.depth == 16) {
        h.fullWidth = h.width;
        h.fullHeight = h.height;
        h.fullBytesPerPlane = 2 * h.bytesPerPlane;
        h.fullBitsPerSample = 16;
        h.fullComponents = uint32_t(planes);
    }
    h.xResolution = xDpi;
    h.yResolution = yDpi;
    // One plane holds palette indexes or grey levels.
    if (ph.mode == kModeIndexed) {
        h.palette = palette;
        h.paletteLayout = kPalettePlanes | kPaletteTriples;
        h.paletteBits = 8;
    } else if (planes == 1) {
        h.flags |= kHeaderGreyLevels;
    }

    // The picture's data must begin inside the file: a stream of unknown
    // size lets a seek pass its end, so its first compression word is read
    // (and read again later). Uncompressed composite rows must all be there
    // before room is made for them.
    if (h.width > 0 && h.height > 0) {
        const uint64_t at = Position(f);
        const uint16_t compression = uint16_t(ReadUInt16Be(f));
        const uint64_t rowBytes = uint64_t(h.bytesPerPlane) * (ph.depth == 16 ? 2 : 1);
        if (f->eof) result = kLoadIncomplete;
        else if (!useLayer && compression == kCompressionRaw)
            result = CheckStoredRowsFit(f, ctx, int64_t(at + 2), rowBytes, uint64_t(planes) * uint64_t(h.height));
        if (result == kLoadOk && !SeekTo(f, at)) result = kLoadIncomplete;
        if (result != kLoadOk) {
            std::free(layer);
            return result;
        }
    }

    const int begun = ctx->callbacks.beginImage(ctx, &h);
    if (BeginImageStops(begun)) {
        std::free(layer);
        return begun;
    }
    // 16-bit rows are read whole and narrowed into the row buffer; the
    // line is sized once BeginImage has accepted the width.
    PsdRows rows{f, ctx, &h, nullptr, size_t(h.bytesPerPlane) * (ph.depth == 16 ? 2 : 1)};
    if (ph.depth == 16) rows.wide = static_cast<uint8_t*>(std::malloc(rows.rowBytes));
    if (ph.depth == 16 && !rows.wide) result = kLoadNoMemory;
    else if (useLayer) result = ReadLayerRows(rows, *layer, colourPlanes, planes);
    else result = ReadCompositeRows(rows, ph.channels, planes);

    if (ph.mode == kModeIndexed) result = FinishReaderPicture(ctx, result, h.paletteLayout, h.paletteBits, palette);
    else if (ph.depth == 1) result = FinishReaderPicture(ctx, result, kPaletteGreyInverted);
    else result = FinishReaderPicture(ctx, result);
    std::free(rows.wide);
    std::free(layer);
    return result;
}

}  // namespace

int ReadPsdEntry(FileSource* source, LoadContext* ctx) { return RunReaderOnSource(source, ctx, ReadPsd); }

char* ReadLengthPrefixedText(PictureFile* f, uint32_t* size) {
    *size = 0;
    const int n = ReadFileByte(f);
    if (n < 0) return nullptr;
    if (n == 0) {
        if (ReadFileByte(f) < 0) return nullptr;
        *size = 2;
        return nullptr;
    }
    // With its length byte, the text takes an even number of bytes.
    const uint32_t padded = uint32_t(n) + ((n & 1) ? 0 : 1);
    auto* text = static_cast<char*>(std::malloc(padded + 1));
    if (!text) {
        SkipFileBytes(f, padded);
        return nullptr;
    }
    if (ReadFileBytes(f, text, padded) != padded) {
        std::free(text);
        return nullptr;
    }
    text[n] = '\0';
    *size = padded + 1;
    return text;
}
