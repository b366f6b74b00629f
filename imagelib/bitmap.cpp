// Bitmap allocation, copying and freeing; row bits; rectangle clipping; the
// defaults of the load and save settings records.
#include "bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "checked.h"
#include "metadata.h"
#include "textutil.h"

void InitLoadOptions(LoadOptions* o) {
    std::memset(o, 0, sizeof *o);
    o->formatIndex = -1;
    o->rowAlignment = 4;
    o->alphaValue = 255;
    o->targetWidth = -1;
    o->targetHeight = -1;
    o->referenceWidth = 768;
    o->referenceHeight = 576;
    o->referenceDpi = 72;
    o->rawSwitches[0] = 1;
    o->rawSwitches[1] = 1;
    static const float kRawReals[8] = {0.6f, 0.8f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f};
    std::memcpy(o->rawReals, kRawReals, sizeof kRawReals);
}

int InitSaveOptions(SaveOptions* o) {
    std::memset(o, 0, sizeof *o);
    o->formatIndex = -1;
    o->quality = 100;
    o->compressionLevel = 6;
    o->jpegDctMethod = 65535;
    o->jpegSubsampling = -1;  // 65535 as a 16-bit field: the library's default
    o->keepExif = 1;
    o->keepIptc = 1;
    return 1;
}

uint8_t* AllocBitmapPalette(uint16_t pixelType) {
    if (!(pixelType & kPixelPalette)) return nullptr;
    return static_cast<uint8_t*>(std::calloc(1, kPaletteBytes));
}

int32_t AlignedRowBytes(int64_t width, int64_t bitsPerPixel, int32_t alignment) {
    if (width < 1 || bitsPerPixel < 1 || alignment < 1) return 0;
    // width and bits are both below 2^31 and 2^6, so the product fits in 64 bits.
    const int64_t bytes = (width * bitsPerPixel + 7) / 8;
    const int64_t aligned = (bytes + alignment - 1) / alignment * alignment;
    if (aligned > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(aligned);
}

int PixelTypeComponents(uint16_t type) {
    switch (type) {
    case kPixelBilevel:
    case kPixelGrey:
    case kPixelPalette:
        return 1;
    case kPixelRGB:
    case kPixelBGR:
        return 3;
    case kPixelRGBA:
    case kPixelABGR:
    case kPixelBGRA:
    case kPixelARGB:
    case kPixelCMYK:
        return 4;
    default:
        return 0;
    }
}

bool CheckBitmapLayout(const Bitmap* b, PixelLayout* layout) {
    if (!b || !b->pixels || b->width < 1 || b->height < 1 || b->bytesPerRow < 1) return false;
    const int components = PixelTypeComponents(b->pixelType);
    if (components == 0) return false;
    PixelLayout l{1, 1, 0};
    if (b->pixelType == kPixelBilevel) {
        const int32_t minRow = AlignedRowBytes(b->width, 1, 1);
        if (minRow == 0 || b->bytesPerRow < minRow) return false;
    } else {
        const int sampleBytes = PixelSampleBytes(b->bitsPerSample);
        if (sampleBytes == 0 || b->bitsPerSample < 1) return false;
        if (b->pixelType == kPixelPalette && sampleBytes != 1) return false;
        if (b->bytesPerPixel != components * sampleBytes) return false;
        const int32_t minRow = AlignedRowBytes(b->width, int64_t(b->bytesPerPixel) * 8, 1);
        if (minRow == 0 || b->bytesPerRow < minRow) return false;
        l = PixelLayout{components, sampleBytes, components * sampleBytes};
    }
    if (!FitsInt32(int64_t(b->bytesPerRow) * b->height)) return false;
    if (layout) *layout = l;
    return true;
}

int PixelSampleBytes(uint16_t bitsPerSample) {
    if (bitsPerSample <= 8) return 1;
    if (bitsPerSample <= 16) return 2;
    if (bitsPerSample <= 32) return 4;
    return 0;
}

// Components of a (possibly family) pixel type, and the type it resolves to.
// Values that name no type are laid out with one component.
static void ResolvePixelType(uint16_t type, uint16_t* resolved, int* components) {
    if (type == kPixelBilevel) {
        *resolved = type;
        *components = 1;
    } else if ((type & kPixelMask3Byte) || type == kPixelMaskColour) {
        *resolved = (type == kPixelMask3Byte || type == kPixelMaskColour) ? uint16_t(kPixelRGB) : type;
        *components = 3;
    } else if (type & kPixelMask4Byte) {
        *resolved = type == kPixelMask4Byte ? uint16_t(kPixelRGBA) : type;
        *components = 4;
    } else {
        *resolved = type;
        *components = 1;
    }
}

int32_t BitmapRowBytes(uint16_t type, int16_t alignment, int32_t width, int32_t height, uint16_t bitsPerSample) {
    if (width < 1 || height < 1) return 0;
    if (alignment < 1) alignment = 1;
    uint16_t resolved;
    int components;
    ResolvePixelType(type, &resolved, &components);
    int64_t bitsPerPixel = 1;
    if (resolved != kPixelBilevel) {
        const int sampleBytes = PixelSampleBytes(bitsPerSample);
        if (sampleBytes == 0) return 0;
        bitsPerPixel = int64_t(components) * sampleBytes * 8;
    }
    const int32_t rowBytes = AlignedRowBytes(width, bitsPerPixel, alignment);
    if (rowBytes == 0 || int64_t(rowBytes) * height > std::numeric_limits<int32_t>::max()) return 0;
    return rowBytes;
}

int AllocBitmapWithDepth(Bitmap* b, uint16_t type, int16_t alignment, int32_t width, int32_t height,
                         uint16_t bitsPerSample) {
    std::memset(b, 0, sizeof *b);
    if (alignment < 1) alignment = 1;
    b->rowAlignment = alignment;
    if (width < 1 || height < 1 || bitsPerSample > 32) return 0;
    const int32_t rowBytes = BitmapRowBytes(type, alignment, width, height, bitsPerSample);
    if (rowBytes == 0) return 0;

    uint16_t resolved;
    int components;
    ResolvePixelType(type, &resolved, &components);
    if (resolved == kPixelBilevel) {
        b->bytesPerPixel = 1;
        b->components = 1;
        b->bitsPerSample = 1;
    } else {
        b->bytesPerPixel = uint16_t(components * PixelSampleBytes(bitsPerSample));
        b->components = uint16_t(components);
        b->bitsPerSample = bitsPerSample > 8 ? bitsPerSample : 8;
    }
    b->pixels = static_cast<uint8_t*>(std::calloc(size_t(rowBytes) * size_t(height), 1));
    if (!b->pixels) {
        std::memset(b, 0, sizeof *b);
        b->rowAlignment = alignment;
        return 0;
    }
    if (resolved & kPixelPalette) {
        b->palette = AllocBitmapPalette(resolved);
        if (!b->palette) {
            std::free(b->pixels);
            std::memset(b, 0, sizeof *b);
            b->rowAlignment = alignment;
            return 0;
        }
    }
    b->bytesPerRow = rowBytes;
    b->width = width;
    b->height = height;
    b->pixelType = resolved;
    b->paletteCount = resolved == kPixelBilevel ? 2 : (resolved == kPixelGrey || resolved == kPixelPalette) ? 256 : 0;
    b->transparentIndex = -1;
    return 1;
}

int AllocBitmap(Bitmap* b, uint16_t type, int16_t alignment, int32_t width, int32_t height) {
    return AllocBitmapWithDepth(b, type, alignment, width, height, 8);
}

void FreeMetadataList(MetadataBlock** head) {
    MetadataBlock* node = *head;
    while (node) {
        MetadataBlock* next = node->next;
        std::free(node->data);
        if (node->kind == kMetadataTagLists) {
            FreeTagList(node->makerNotes);
            std::free(node->make);
            std::free(node->model);
        }
        std::free(node);
        node = next;
    }
    *head = nullptr;
}

void FreeBitmap(Bitmap* b) {
    std::free(b->pixels);
    b->pixels = nullptr;
    std::free(b->palette);
    b->palette = nullptr;
    std::free(b->comment);
    b->comment = nullptr;
    FreeMetadataList(&b->metadata);
}

// A deep copy of one node, or null when it cannot be made whole. A node
// whose data cannot be copied is dropped rather than kept without data.
static MetadataBlock* CopyMetadataNode(const MetadataBlock* src) {
    auto* node = static_cast<MetadataBlock*>(std::calloc(1, sizeof(MetadataBlock)));
    if (!node) return nullptr;
    node->kind = src->kind;
    if (src->length > 0 && src->data) {
        node->data = static_cast<uint8_t*>(std::malloc(src->length));
        if (!node->data) {
            std::free(node);
            return nullptr;
        }
        std::memcpy(node->data, src->data, src->length);
        node->length = src->length;
        return node;
    }
    if (src->kind == kMetadataTagLists) {
        bool ok = true;
        if (src->make && !(node->make = DuplicateText(src->make))) ok = false;
        if (src->model && !(node->model = DuplicateText(src->model))) ok = false;
        if (src->makerNotes && !(node->makerNotes = CopyTagList(src->makerNotes))) ok = false;
        if (!ok) {
            std::free(node->make);
            std::free(node->model);
            FreeTagList(node->makerNotes);
            std::free(node);
            return nullptr;
        }
        return node;
    }
    // A node without data of another kind carries nothing worth copying.
    std::free(node);
    return nullptr;
}

void CopyBitmapMetadata(Bitmap* dst, const Bitmap* src) {
    dst->orientation = src->orientation;
    dst->xResolution = src->xResolution;
    dst->yResolution = src->yResolution;
    std::free(dst->comment);
    dst->comment = src->comment ? DuplicateText(src->comment) : nullptr;
    FreeMetadataList(&dst->metadata);
    MetadataBlock** tail = &dst->metadata;
    for (const MetadataBlock* node = src->metadata; node; node = node->next) {
        MetadataBlock* copy = CopyMetadataNode(node);
        if (!copy) continue;
        *tail = copy;
        tail = &copy->next;
    }
}

int CreateBitmapLike(Bitmap* dst, uint16_t type, const Bitmap* src) {
    if (!AllocBitmap(dst, type, src->rowAlignment, src->width, src->height)) return 1;
    CopyBitmapMetadata(dst, src);
    return 0;
}

int GetRowBit(const uint8_t* row, int32_t x) {
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

void OrRowBit(uint8_t* row, int32_t x, int value) {
    row[x >> 3] |= uint8_t((value & 0xFF) << (7 - (x & 7)));
}

void PutRowBit(uint8_t* row, int32_t x, int value) {
    const uint8_t mask = uint8_t(0x80 >> (x & 7));
    if (value) row[x >> 3] |= mask;
    else row[x >> 3] &= uint8_t(~mask);
}

int ClipRectToBitmap(const Bitmap* b, const PictureRect* r, PictureRect* out) {
    if (!r) {
        *out = PictureRect{0, 0, b->width, b->height};
        return 0;
    }
    // 64-bit so that x + width cannot wrap.
    const int64_t x0 = r->x > 0 ? r->x : 0;
    const int64_t y0 = r->y > 0 ? r->y : 0;
    const int64_t x1 = std::min<int64_t>(int64_t(r->x) + r->width, b->width);
    const int64_t y1 = std::min<int64_t>(int64_t(r->y) + r->height, b->height);
    out->x = int32_t(x0);
    out->y = int32_t(y0);
    out->width = int32_t(std::max<int64_t>(x1 - x0, INT32_MIN));
    out->height = int32_t(std::max<int64_t>(y1 - y0, INT32_MIN));
    return (x1 - x0 >= 1 && y1 - y0 >= 1) ? 0 : 16;
}
