// TIFF 6.0: the header, the chain of directories (pages), the chosen
// directory's fields, texts and metadata blocks, and the declaration of the
// picture; the strips and tiles are decoded by tiffstrips.cpp.
//
// Every count and offset read from the file is checked against the file's
// size before anything is allocated for it, and the directory chain is
// walked with a visited list, so a file that points back into itself ends.
//
// Portable: talks to the library only through the load context's callbacks
// and the picture file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "../bytereader.h"
#include "../checked.h"
#include "../formats.h"
#include "../metadata.h"
#include "../pixelrows.h"
#include "jpeg.h"
#include "readerio.h"
#include "readers.h"
#include "tiff.h"

namespace {

constexpr uint32_t kMaxEntries = 20000;
constexpr uint32_t kMaxPages = 65536;
constexpr uint32_t kNone = 0xFFFFFFFFu;

const char kBadCompression[] = "TIFF : Bad data compression algorithm !";
const char kBadPhotometric[] = "TIFF : Bad photometric interpretation !";
const char kLzwDisabled[] = "TIFF : Bad compression (LZW) !";
const char kBadLzwCodes[] = "TIFF : Bad LZW codes !";
const char kBadSamples[] = "TIFF : Bad bits per sample !";
const char kBadPredictor[] = "TIFF : Bad predictor !";
const char kBadSampleFormat[] = "TIFF : Bad sample format !";

// Bytes per element of TIFF field types 0..13 (0 unknown).
constexpr uint8_t kTypeSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 8};

uint32_t TypeSize(uint32_t type) { return type < 14 ? kTypeSizes[type] : 0; }

struct TiffEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint8_t raw[4] = {};             // the value field as stored
    uint32_t offset = 0;             // the value field as a 32-bit number

    uint64_t ByteSize() const { return uint64_t(count) * TypeSize(type); }
    bool Inline() const { return ByteSize() <= 4; }
};

// Where a field's data lies: inline or at an offset.
struct FieldRef {
    bool present = false;
    TiffEntry entry;
};

struct TiffReader {
    PictureFile* file;
    LoadContext* ctx;
    int64_t fileSize;
    bool big;

    uint16_t U16(const uint8_t* p) const { return TiffU16(p, big); }
    uint32_t U32(const uint8_t* p) const { return TiffU32(p, big); }
    bool Seek(uint64_t offset) const {
        return int64_t(offset) <= fileSize && SeekPictureFile(file, int64_t(offset), SEEK_SET) == 0;
    }
    // The first value of a BYTE, SHORT or LONG field.
    uint32_t First(const TiffEntry& e) const {
        if (e.type == 3 || e.type == 8) return U16(e.raw);
        if (e.type == 1 || e.type == 6 || e.type == 7) return e.raw[0];
        return U32(e.raw);
    }
    // A field's bytes (inline or at its offset), bounded by the file; false
    // when they are not all in the file or memory runs out.
    bool Bytes(const TiffEntry& e, TiffBuffer* out, uint64_t maxBytes = uint64_t(1) << 31) const {
        const uint64_t n = e.ByteSize();
        if (TypeSize(e.type) == 0 || n > maxBytes || !out->Reserve(size_t(n))) return false;
        if (n <= 4) {
            std::memcpy(out->data, e.raw, size_t(n));
            return true;
        }
        if (!RangeInside(e.offset, n, uint64_t(fileSize)) || !Seek(e.offset)) return false;
        return ReadFileBytes(file, out->data, size_t(n)) == n;
    }
    // Value i of an unsigned array field (BYTE, SHORT or LONG) in `bytes`.
    uint32_t Value(const TiffEntry& e, const uint8_t* bytes, uint32_t i) const {
        switch (TypeSize(e.type)) {
        case 1: return bytes[i];
        case 2: return U16(bytes + 2 * size_t(i));
        case 4: return U32(bytes + 4 * size_t(i));
        default: return 0;  // not an unsigned integer type
        }
    }
    // `n` bytes at `offset`; false when they are not all in the file.
    bool ReadAt(uint64_t offset, uint8_t* out, size_t n) const {
        return RangeInside(offset, n, uint64_t(fileSize)) && Seek(offset) && ReadFileBytes(file, out, n) == n;
    }
    // A RATIONAL as a double; false when absent, unreadable or 0 over 0.
    bool Rational(const FieldRef& f, double* out) const {
        if (!f.present || f.entry.type != 5) return false;
        uint8_t b[8];
        if (!ReadAt(f.entry.offset, b, 8)) return false;
        const uint32_t den = U32(b + 4);
        if (den == 0) return false;
        *out = double(U32(b)) / double(den);
        return true;
    }
};

// What the reader notes from the chosen directory beyond TiffDirectory.
struct DirectoryNotes {
    FieldRef bitsPerSample, sampleFormat, extraSamples, colourMap, xRes, yRes, xPos, yPos, coefficients, jpegTables;
    FieldRef jpegQTables, jpegDcTables, jpegAcTables;  // old-style JPEG: offsets of each table
    FieldRef offsets, counts, referenceBlackWhite;
    FieldRef xmp, iptc, photoshop, exif, gps, icc;
    FieldRef texts[10];              // by kTextTags order
    uint32_t resolutionUnit = 2;
    uint32_t orientation = 1;
    FieldRef orientationEntry;
    uint32_t jpegInterchange = kNone;
    uint32_t jpegInterchangeLength = 0;
    uint32_t jpegProc = 1;           // 1 baseline, 14 lossless
    uint32_t jpegRestartInterval = 0;
    bool havePhotometric = false;
};

// Text tags: the order the picture texts are added in, then the comment.
struct TextTag {
    uint16_t tag;
    const char* key;
};
constexpr TextTag kTextTags[] = {
    {315, "Artist"}, {33432, "Copyright"}, {306, "DateTime"}, {316, "HostComputer"}, {271, "Make"},
    {272, "Model"},  {305, "Software"},    {269, "DocumentName"}, {270, nullptr},
};
constexpr int kDescriptionText = 8;

int TextIndex(uint16_t tag) {
    for (int i = 0; i < int(sizeof kTextTags / sizeof kTextTags[0]); ++i)
        if (kTextTags[i].tag == tag) return i;
    return -1;
}

// Reads the 12-byte entries of the directory at `offset`. False when the
// count is above the limit or the entries are not all in the file.
bool ReadEntries(const TiffReader& r, uint32_t offset, std::vector<TiffEntry>* entries) {
    uint8_t b[2];
    if (!RangeInside(offset, 2, uint64_t(r.fileSize)) || !r.Seek(offset) || ReadFileBytes(r.file, b, 2) != 2)
        return false;
    const uint32_t n = r.U16(b);
    if (n > kMaxEntries || !RangeInside(uint64_t(offset) + 2, uint64_t(n) * 12, uint64_t(r.fileSize))) return false;
    TiffBuffer raw;
    if (!raw.Reserve(size_t(n) * 12 + 1) || ReadFileBytes(r.file, raw.data, size_t(n) * 12) != size_t(n) * 12)
        return false;
    entries->resize(n);
    ByteReader br(raw.data, size_t(n) * 12);
    for (TiffEntry& e : *entries) {
        e.tag = br.U16(r.big);
        e.type = br.U16(r.big);
        e.count = br.U32(r.big);
        br.Read(e.raw, 4);
        e.offset = r.U32(e.raw);
    }
    return br.ok;
}

// Walks the chain of directories from `first`: counts the pages into the
// load's imageCount and gives the offset of the wanted one (the first when
// the wanted page is not there, which is then set back to 0). A directory
// visited twice ends the chain. *broken tells whether the chain ran out of
// the file (rather than ending with offset 0 or a loop).
uint32_t WalkPages(const TiffReader& r, uint32_t first, bool* broken) {
    LoadContext* ctx = r.ctx;
    std::vector<uint32_t> seen;
    uint32_t chosen = first;
    const uint32_t wanted = ctx->options.imageIndex;
    uint32_t offset = first;
    ctx->imageCount = 0;
    *broken = false;
    while (offset != 0 && ctx->imageCount < kMaxPages) {
        const auto at = std::lower_bound(seen.begin(), seen.end(), offset);
        if (at != seen.end() && *at == offset) break;
        seen.insert(at, offset);
        uint8_t b[2];
        if (!RangeInside(offset, 2, uint64_t(r.fileSize)) || !r.Seek(offset) || ReadFileBytes(r.file, b, 2) != 2 ||
            r.U16(b) > kMaxEntries) {
            *broken = true;
            break;
        }
        const uint32_t n = r.U16(b);
        if (ctx->imageCount == wanted) chosen = offset;
        ++ctx->imageCount;
        uint8_t next[4];
        if (!r.Seek(uint64_t(offset) + 2 + uint64_t(n) * 12) || ReadFileBytes(r.file, next, 4) != 4) {
            *broken = true;
            break;
        }
        offset = r.U32(next);
    }
    if (wanted >= ctx->imageCount && !*broken) ctx->options.imageIndex = 0;
    return chosen;
}

TiffTable TableOf(const TiffEntry& e) {
    TiffTable t{e.count, e.type, {}};
    std::memcpy(t.field, e.raw, 4);
    return t;
}

void Note(FieldRef* f, const TiffEntry& e) {
    f->present = true;
    f->entry = e;
}

// Fills the directory and notes from the entries.
void ParseEntries(const TiffReader& r, const std::vector<TiffEntry>& entries, TiffDirectory* d, DirectoryNotes* n) {
    for (const TiffEntry& e : entries) {
        const uint32_t v = r.First(e);
        switch (e.tag) {
        case 256: d->width = v; break;
        case 257: d->height = v; break;
        case 258: Note(&n->bitsPerSample, e); d->bitsPerSample = v; break;
        case 259:
            d->compression = v;
            if ((v == kTiffCcittRle || v == kTiffCcittG3 || v == kTiffCcittG4) && !n->havePhotometric)
                d->photometric = kTiffWhiteIsZero;
            break;
        case 262:
            d->photometric = v;
            n->havePhotometric = true;
            if (v == kTiffWhiteIsZero || v == kTiffBlackIsZero)
                AddPictureText(r.ctx, "Photometric Interpretation", v == kTiffWhiteIsZero ? "White=0" : "Black=0", 7);
            break;
        case 266: d->fillOrder = v; break;
        case 273:
        case 324: Note(&n->offsets, e); break;
        case 274:
            n->orientation = v;
            Note(&n->orientationEntry, e);
            break;
        case 277: d->samplesPerPixel = v; break;
        case 278: d->rowsPerStrip = v; break;
        case 279:
        case 325: Note(&n->counts, e); break;
        case 282: Note(&n->xRes, e); break;
        case 283: Note(&n->yRes, e); break;
        case 284: d->planarConfig = v; break;
        case 286: Note(&n->xPos, e); break;
        case 287: Note(&n->yPos, e); break;
        case 292: d->t4Options = v; break;
        case 296: n->resolutionUnit = v; break;
        case 317: d->predictor = v; break;
        case 320: Note(&n->colourMap, e); break;
        case 322: d->tileWidth = v; break;
        case 323: d->tileLength = v; break;
        case 339: Note(&n->sampleFormat, e); d->sampleFormat = v; break;
        case 338:
            Note(&n->extraSamples, e);
            d->extraSamples = e.count;
            d->firstExtraSample = v;
            break;
        case 347: Note(&n->jpegTables, e); break;
        case 512: n->jpegProc = v; break;
        case 513: n->jpegInterchange = v; break;
        case 514: n->jpegInterchangeLength = v; break;
        case 515: n->jpegRestartInterval = v; break;
        case 519: Note(&n->jpegQTables, e); break;
        case 520: Note(&n->jpegDcTables, e); break;
        case 521: Note(&n->jpegAcTables, e); break;
        case 529: Note(&n->coefficients, e); break;
        case 532: Note(&n->referenceBlackWhite, e); break;
        case 530:
            d->subsamplingH = v;
            d->subsamplingV = e.count >= 2 && (e.type == 3) ? r.U16(e.raw + 2) : v;
            break;
        case 700: Note(&n->xmp, e); break;
        case 33628:
        case 34361:
        case 34362: d->stretch = true; break;
        case 33723: Note(&n->iptc, e); break;
        case 34377: Note(&n->photoshop, e); break;
        case 34665: Note(&n->exif, e); break;
        case 34675: Note(&n->icc, e); break;
        case 34853: Note(&n->gps, e); break;
        default: {
            const int t = TextIndex(e.tag);
            if (t >= 0) Note(&n->texts[t], e);
            break;
        }
        }
    }
}

// Dots per inch from a resolution rational: unit 1 (none) the plain
// quotient, 2 inches, 3 centimetres (x 2.54); 0 when unknown.
int32_t ToDotsPerInch(double q, uint32_t unit) {
    double dpi;
    if (unit == 1 || unit == 2) dpi = q;
    else if (unit == 3) dpi = q * 2.54;
    else return 0;
    return dpi >= 0 && dpi < 2147483647.0 ? int32_t(dpi) : 0;
}

void ReadResolution(const TiffReader& r, const DirectoryNotes& n, ImageHeader* h) {
    double q;
    if (r.Rational(n.xRes, &q)) h->xResolution = ToDotsPerInch(q, n.resolutionUnit);
    if (r.Rational(n.yRes, &q)) h->yResolution = ToDotsPerInch(q, n.resolutionUnit);
    double px, py;
    if (r.Rational(n.xPos, &px) && r.Rational(n.yPos, &py) && (n.resolutionUnit == 2 || n.resolutionUnit == 3)) {
        const double f = n.resolutionUnit == 3 ? 2.54 : 1.0;
        const double x = px * f * h->xResolution, y = py * f * h->yResolution;
        r.ctx->readerValues[0] = x >= 0 && x < 4e9 ? uint32_t(x) : 0;
        r.ctx->readerValues[1] = y >= 0 && y < 4e9 ? uint32_t(y) : 0;
    }
}

// The texts and the comment (ImageDescription, with load flag 0x10000).
void ReadTexts(const TiffReader& r, const DirectoryNotes& n) {
    LoadContext* ctx = r.ctx;
    const uint32_t flags = ctx->options.flags;
    TiffBuffer text;
    // A field of no bytes is no text (a length of 0 would have the comment
    // measured as a terminated string).
    const FieldRef& description = n.texts[kDescriptionText];
    if ((flags & kLoadKeepComment) && description.present && description.entry.count > 0 &&
        r.Bytes(description.entry, &text, 1u << 20))
        SetPictureComment(ctx, reinterpret_cast<const char*>(text.data), size_t(description.entry.ByteSize()));
    // With metadata kept and an EXIF directory, the texts go to its tag list.
    if ((flags & kLoadKeepMetadata) && n.exif.present) return;
    for (int i = 0; i < kDescriptionText; ++i) {
        const FieldRef& f = n.texts[i];
        if (!f.present || f.entry.count == 0 || !r.Bytes(f.entry, &text, 1u << 16)) continue;
        AddPictureText(ctx, kTextTags[i].key, reinterpret_cast<const char*>(text.data), size_t(f.entry.ByteSize()));
    }
}

// The most bytes of values the EXIF tag list copies: entries may all name
// the same bytes of the file, so the file's size does not bound them.
constexpr uint64_t kMaxTagListBytes = uint64_t(4) << 20;

// One directory of the EXIF or GPS kind into the EXIF tag list, at `offset`.
// Nested directories are not followed. A value of four bytes or less is
// the entry's field read as one 32-bit number in the file's byte order (a
// SHORT of a big-endian file is its high half), so the field's bytes can
// be written back as they were; *copied counts the bytes of longer values.
void ReadIfdToTagList(const TiffReader& r, uint32_t offset, int32_t directoryCode, uint64_t* copied) {
    std::vector<TiffEntry> entries;
    if (!ReadEntries(r, offset, &entries)) return;
    TiffBuffer data;
    for (const TiffEntry& e : entries) {
        const uint64_t size = e.ByteSize();
        if (e.type > 12 || size == 0) break;
        if (e.tag == kTagMakerNote) continue;  // the maker note adds no record
        TagRecord* t = AppendExifTag(r.ctx);
        if (!t) return;
        t->tag = e.tag;
        t->type = e.type;
        t->directory = directoryCode;
        t->count = e.count;
        if (size <= 4) {
            t->value = r.U32(e.raw);
            continue;
        }
        t->value = e.offset;
        if (*copied + size > kMaxTagListBytes || !r.Bytes(e, &data, kMaxTagListBytes)) continue;
        t->data = static_cast<uint8_t*>(std::malloc(size_t(size)));
        if (!t->data) continue;
        std::memcpy(t->data, data.data, size_t(size));
        t->dataLength = uint32_t(size);
        *copied += size;
    }
}

void AppendTextTag(const TiffReader& r, const FieldRef& f) {
    TiffBuffer text;
    if (!f.present || f.entry.count == 0 || !r.Bytes(f.entry, &text, 1u << 16)) return;
    TagRecord* t = AppendExifTag(r.ctx);
    if (!t) return;
    const size_t n = size_t(f.entry.ByteSize());
    t->tag = f.entry.tag;
    t->type = 2;
    t->directory = 1;
    t->count = f.entry.count;
    t->data = static_cast<uint8_t*>(std::malloc(n));
    if (!t->data) return;
    std::memcpy(t->data, text.data, n);
    t->dataLength = uint32_t(n);
}

uint16_t OrientationCode(uint32_t o);

// Orientation, a single SHORT, kept as ReadIfdToTagList keeps short values
// (the field as one 32-bit number in the file's byte order). The load
// delivers the picture turned as the tag says, so a turning value is kept
// as 1: the block describes the bitmap it comes with, and whoever turns
// pictures by their EXIF orientation does not turn this one twice.
void AppendOrientationTag(const TiffReader& r, const FieldRef& f) {
    if (!f.present || f.entry.type != kTiffShort || f.entry.count != 1) return;
    TagRecord* t = AppendExifTag(r.ctx);
    if (!t) return;
    t->tag = f.entry.tag;
    t->type = kTiffShort;
    t->directory = kIfdMain;
    t->count = 1;
    const bool turned = OrientationCode(r.First(f.entry)) != 0;
    t->value = turned ? (r.big ? 1u << 16 : 1u) : r.U32(f.entry.raw);
}

// One entry of an IFD being written: a value of four bytes or less as the
// field's 32-bit number, or the bytes of a longer one.
struct OutEntry {
    uint16_t tag, type;
    uint32_t count;
    uint32_t field;
    const uint8_t* bytes;  // null: `field` is the value
    uint32_t size;
};

// The EXIF tag list handed on as an EXIF block ("Exif", two zero bytes and a
// TIFF structure in the list's byte order: IFD0 with the main directory's
// records and pointers to an Exif and a GPS IFD holding theirs), the form in
// which every reader of EXIF (the property list, the writers) takes it.
// Records whose long value was not copied are left out.
void AddExifBlock(LoadContext* ctx) {
    const TagList* list = ctx->exifTags;
    if (!list || !ctx->callbacks.addMetadataBlock) return;
    const bool big = list->bigEndian != 0;
    const uint32_t kinds[3] = {kIfdMain, kIfdExif, kIfdGps};
    std::vector<OutEntry> ifds[3];
    for (uint32_t i = 0; i < list->count; ++i) {
        const TagRecord& t = list->records[i];
        const uint64_t size = uint64_t(TiffTypeSize(t.type)) * t.count;
        // Pointers to other directories are made anew below.
        if (size == 0 || t.tag == kTagExifIfd || t.tag == kTagGpsIfd || t.tag == kTagInteropIfd) continue;
        const bool hasBytes = t.data && t.dataLength >= size;
        if (size > 4 && !hasBytes) continue;
        for (int k = 0; k < 3; ++k)
            if (uint32_t(t.directory) == kinds[k])
                ifds[k].push_back({t.tag, t.type, t.count, t.value, hasBytes ? t.data : nullptr, uint32_t(size)});
    }
    if (ifds[0].empty() && ifds[1].empty() && ifds[2].empty()) return;
    // IFD0 at 8, then the Exif and GPS IFDs, then the long values, each at
    // an even offset.
    const size_t pointers = (ifds[1].empty() ? 0 : 1) + (ifds[2].empty() ? 0 : 1);
    uint64_t at = 8, ifdAt[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        if (k > 0 && ifds[k].empty()) continue;
        ifdAt[k] = at;
        at += 2 + 12 * uint64_t(ifds[k].size() + (k == 0 ? pointers : 0)) + 4;
    }
    if (ifdAt[1]) ifds[0].push_back({kTagExifIfd, kTiffLong, 1, uint32_t(ifdAt[1]), nullptr, 4});
    if (ifdAt[2]) ifds[0].push_back({kTagGpsIfd, kTiffLong, 1, uint32_t(ifdAt[2]), nullptr, 4});
    const uint64_t valuesAt = at;
    for (const auto& entries : ifds)
        for (const OutEntry& e : entries)
            if (e.size > 4) at += (e.size + 1) & ~1u;
    std::vector<uint8_t> block(6 + size_t(at), 0);
    uint8_t* tiff = block.data() + 6;
    std::memcpy(block.data(), "Exif", 4);
    auto put16 = [&](uint64_t pos, uint32_t v) {
        tiff[pos + (big ? 0 : 1)] = uint8_t(v >> 8), tiff[pos + (big ? 1 : 0)] = uint8_t(v);
    };
    auto put32 = [&](uint64_t pos, uint32_t v) {
        put16(pos + (big ? 0 : 2), v >> 16), put16(pos + (big ? 2 : 0), v & 0xFFFF);
    };
    tiff[0] = tiff[1] = big ? 'M' : 'I';
    put16(2, 42);
    put32(4, 8);
    uint64_t value = valuesAt;
    for (int k = 0; k < 3; ++k) {
        if (!ifdAt[k]) continue;
        std::vector<OutEntry>& entries = ifds[k];
        std::stable_sort(entries.begin(), entries.end(), [](const OutEntry& a, const OutEntry& b) { return a.tag < b.tag; });
        uint64_t pos = ifdAt[k];
        put16(pos, uint32_t(entries.size()));
        pos += 2;
        for (const OutEntry& e : entries) {
            put16(pos, e.tag);
            put16(pos + 2, e.type);
            put32(pos + 4, e.count);
            if (e.size > 4) {
                put32(pos + 8, uint32_t(value));
                std::memcpy(tiff + value, e.bytes, e.size);
                value += (e.size + 1) & ~1u;
            } else if (e.bytes) {
                std::memcpy(tiff + pos + 8, e.bytes, e.size);
            } else {
                put32(pos + 8, e.field);
            }
            pos += 12;
        }
    }
    ctx->callbacks.addMetadataBlock(ctx, kMetadataExif, block.data(), uint32_t(block.size()));
}

// Metadata blocks and tag lists, with load flag 0x40000.
void ReadMetadata(const TiffReader& r, const DirectoryNotes& n, const TiffDirectory& d) {
    LoadContext* ctx = r.ctx;
    if (!(ctx->options.flags & kLoadKeepMetadata)) return;
    uint64_t copied = 0;
    // DocumentName, Make, Model, Software, DateTime, Artist.
    static const int kMainTexts[] = {7, 4, 5, 6, 2, 0};
    bool mainTags = n.orientationEntry.present;
    for (int i : kMainTexts) mainTags = mainTags || (n.texts[i].present && n.texts[i].entry.count > 0);
    // The main directory's texts and orientation make an EXIF block of
    // their own when the file has no EXIF directory.
    if (n.exif.present || mainTags) {
        StartExifTagList(ctx, r.big ? 1 : 0);
        for (int i : kMainTexts) AppendTextTag(r, n.texts[i]);
        AppendOrientationTag(r, n.orientationEntry);
        if (n.exif.present) ReadIfdToTagList(r, r.First(n.exif.entry), kIfdExif, &copied);
    }
    if (n.gps.present) {
        StartExifTagList(ctx, r.big ? 1 : 0);
        ReadIfdToTagList(r, r.First(n.gps.entry), kIfdGps, &copied);
    }
    AddExifBlock(ctx);
    if (!ctx->callbacks.addMetadataBlock) return;
    TiffBuffer data;
    if (n.xmp.present && r.Bytes(n.xmp.entry, &data, uint64_t(1) << 26))
        ctx->callbacks.addMetadataBlock(ctx, kMetadataXmp, data.data, uint32_t(n.xmp.entry.ByteSize()));
    // IPTC becomes a Photoshop resource block: the header, then one "8BIM"
    // resource 0x0404 with an empty name and the data's size, padded to even.
    const bool iptcWins = n.iptc.present && (!n.photoshop.present || n.iptc.entry.ByteSize() > 16);
    const FieldRef& source = iptcWins ? n.iptc : n.photoshop;
    if (source.present && r.Bytes(source.entry, &data, uint64_t(1) << 26)) {
        const size_t size = size_t(source.entry.ByteSize());
        TiffBuffer block;
        const size_t head = kPhotoshopIptcHeaderSize + (iptcWins ? 12 : 0);
        if (block.Reserve(head + size + 1)) {
            std::memcpy(block.data, kPhotoshopIptcHeader, kPhotoshopIptcHeaderSize);
            size_t at = kPhotoshopIptcHeaderSize;
            if (iptcWins) {
                const uint8_t resource[12] = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0,
                                              uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8),
                                              uint8_t(size)};
                std::memcpy(block.data + at, resource, sizeof resource);
                at += sizeof resource;
            }
            std::memcpy(block.data + at, data.data, size);
            at += size;
            if (iptcWins && (size & 1)) block.data[at++] = 0;
            ctx->callbacks.addMetadataBlock(ctx, kMetadataIptc, block.data, uint32_t(at));
        }
    }
    if (n.icc.present && d.bitsPerSample == 8 && r.Bytes(n.icc.entry, &data, uint64_t(1) << 26))
        ctx->callbacks.addMetadataBlock(ctx, kMetadataIcc, data.data, uint32_t(n.icc.entry.ByteSize()));
}

// Reads the colour map: 2^bits 16-bit values each of reds, greens, blues
// (a longer map keeps the first 2^bits of each third).
bool ReadColourMap(const TiffReader& r, const DirectoryNotes& n, const TiffDirectory& d, std::vector<uint16_t>* map) {
    const uint32_t entries = 1u << d.bitsPerSample;
    const TiffEntry& e = n.colourMap.entry;
    if (e.type != 3 || e.count < 3 * entries) return false;
    TiffBuffer all;
    if (!r.Bytes(e, &all, uint64_t(3) * 2 * 65536)) return false;
    const uint32_t third = e.count / 3;
    map->assign(size_t(3) * entries, 0);
    for (uint32_t plane = 0; plane < 3; ++plane)
        for (uint32_t i = 0; i < entries; ++i)
            (*map)[plane * entries + i] = uint16_t(r.Value(e, all.data, plane * third + i));
    return true;
}

// The first `count` values of a RATIONAL entry; false if the entry is
// short or a denominator is 0.
bool ReadRationals(const TiffReader& r, const TiffEntry& e, float* out, int count) {
    TiffBuffer b;
    if (!r.Bytes(e, &b, uint32_t(8 * count))) return false;
    for (int i = 0; i < count; ++i) {
        const uint32_t num = r.U32(b.data + 8 * i), den = r.U32(b.data + 8 * i + 4);
        if (den == 0) return false;
        out[i] = float(double(num) / double(den));
    }
    return true;
}

// A value given once a sample: the first sample's in *value, and kLoadOk
// when every sample has it; the picture refused with `refusal` when they
// differ or the entry is no short list of numbers; kLoadIncomplete when it
// cannot be read.
int ReadSameForEverySample(const TiffReader& r, const TiffEntry& e, LoadContext* ctx, const char* refusal,
                           uint32_t* value) {
    if (e.count > 64 || TypeSize(e.type) == 0 || TypeSize(e.type) > 4) return RefusePicture(ctx, refusal);
    TiffBuffer b;
    if (!r.Bytes(e, &b, 1024)) return kLoadIncomplete;
    const uint32_t first = r.Value(e, b.data, 0);
    for (uint32_t i = 1; i < e.count; ++i)
        if (r.Value(e, b.data, i) != first) return RefusePicture(ctx, refusal);
    *value = first;
    return kLoadOk;
}

// ReferenceBlackWhite of a YCbCr picture: six rationals, black and white of
// Y, Cb and Cr. Each pair whose white is not above its black is left at
// its default, and so is chroma whose black is 0: that is the tag's form
// for RGB (and its TIFF 6.0 default), not a zero of centred chroma.
void ReadReferenceBlackWhite(const TiffReader& r, const DirectoryNotes& n, TiffDirectory* d) {
    const TiffEntry& e = n.referenceBlackWhite.entry;
    if (!n.referenceBlackWhite.present || e.type != 5 || e.count < 6 || d->photometric != kTiffYCbCr) return;
    float v[6];
    if (!ReadRationals(r, e, v, 6)) return;
    for (int k = 0; k < 3; ++k) {
        const float black = v[2 * k], white = v[2 * k + 1];
        if (!(white > black) || (k > 0 && black == 0.0f)) continue;
        d->referenceBlack[k] = black;
        d->referenceWhite[k] = white;
        d->referenceSet = d->referenceSet || black != (k == 0 ? 0.0f : 128.0f) || white != 255.0f;
    }
}

void ReadCoefficients(const TiffReader& r, const DirectoryNotes& n, TiffDirectory* d) {
    const TiffEntry& e = n.coefficients.entry;
    if (!n.coefficients.present || e.type != 5 || e.count < 3) return;
    float c[3];
    if (!ReadRationals(r, e, c, 3)) return;
    if (c[1] <= 0.0f) return;
    d->lumaRed = c[0];
    d->lumaGreen = c[1];
    d->lumaBlue = c[2];
}

// --- Old-style JPEG (compression 6) ----------------------------------------

// The most bytes of an interchange stream's header searched for its tables
// (a large APP segment may come first).
constexpr uint32_t kMaxJpegHeaderBytes = 256 * 1024;

void AppendJpegSegment(std::vector<uint8_t>* out, uint8_t marker, const uint8_t* payload, size_t n) {
    const size_t length = n + 2;
    out->insert(out->end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length)});
    out->insert(out->end(), payload, payload + n);
}

// The tables of one tag (JPEGQTables, JPEGDCTables or JPEGACTables): one
// file offset per table, at most four, each becoming one DQT or DHT
// segment for table id 0, 1 ...; false when a table is not in the file.
bool AppendTagTables(const TiffReader& r, const FieldRef& f, uint8_t marker, uint8_t tableClass,
                     std::vector<uint8_t>* out) {
    TiffBuffer offsets;
    if (!f.present || f.entry.count == 0 || !r.Bytes(f.entry, &offsets, 64)) return false;
    for (uint32_t k = 0; k < std::min<uint32_t>(f.entry.count, 4); ++k) {
        const uint32_t at = r.Value(f.entry, offsets.data, k);
        uint8_t table[1 + 16 + 256];
        table[0] = uint8_t(tableClass << 4 | k);
        size_t n;
        if (marker == 0xDB) {
            n = 64;  // 8-bit values in zigzag order
        } else {
            // 16 code counts, then as many values.
            if (!r.ReadAt(at, table + 1, 16)) return false;
            size_t values = 0;
            for (int i = 1; i <= 16; ++i) values += table[i];
            if (values > 256) return false;
            n = 16 + values;
        }
        if (!r.ReadAt(at, table + 1, n)) return false;
        AppendJpegSegment(out, marker, table, n + 1);
    }
    return true;
}

// What the header of the interchange stream holds before its scan's data:
// its tables (DQT, DHT) and restart interval (DRI) segments, whole, and
// the payloads of its frame (a baseline SOF0 or SOF1) and scan headers.
struct StreamHeader {
    std::vector<uint8_t> tables;
    std::vector<uint8_t> frame, scan;
    uint32_t restartInterval = 0;
};

void ReadStreamHeader(const TiffReader& r, const DirectoryNotes& n, StreamHeader* out) {
    if (n.jpegInterchange == kNone || n.jpegInterchange >= uint64_t(r.fileSize)) return;
    uint64_t size = uint64_t(r.fileSize) - n.jpegInterchange;
    if (n.jpegInterchangeLength > 0) size = std::min<uint64_t>(size, n.jpegInterchangeLength);
    size = std::min<uint64_t>(size, kMaxJpegHeaderBytes);
    TiffBuffer header;
    if (!header.Reserve(size_t(size)) || !r.ReadAt(n.jpegInterchange, header.data, size_t(size))) return;
    ByteReader br(header.data, size_t(size));
    if (br.U8() != 0xFF || br.U8() != 0xD8) return;
    while (br.ok) {
        if (br.U8() != 0xFF) return;
        uint8_t marker = br.U8();
        while (marker == 0xFF && br.ok) marker = br.U8();
        if (marker == 0xD9 || !br.ok) return;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length follows
        const uint16_t length = br.U16(true);
        if (length < 2) return;
        const uint8_t* payload = br.Take(length - 2u);
        if (!payload) return;
        if (marker == 0xDB || marker == 0xC4 || marker == 0xDD) AppendJpegSegment(&out->tables, marker, payload, length - 2u);
        if (marker == 0xDD && length >= 4) out->restartInterval = uint32_t(payload[0]) << 8 | payload[1];
        if (marker == 0xC0 || marker == 0xC1) out->frame.assign(payload, payload + (length - 2u));
        if (marker == 0xDA) {
            out->scan.assign(payload, payload + (length - 2u));
            return;
        }
    }
}

// Is the interchange stream's baseline frame the picture's own: its size,
// 8-bit samples and as many components?
bool FrameIsPicture(const StreamHeader& s, const TiffDirectory& d) {
    const std::vector<uint8_t>& f = s.frame;
    return f.size() >= 6 && f[0] == 8 && (uint32_t(f[1]) << 8 | f[2]) == d.height &&
           (uint32_t(f[3]) << 8 | f[4]) == d.width && f[5] == d.samplesPerPixel;
}

// Old-style strips are each coded on their own (TIFF 6.0): when the
// interchange stream's baseline frame covers the whole picture and its scan
// the strips one after another, without restart markers between them, the
// strips are decoded one by one, each as that frame cut to the strip's
// rows. With a restart interval the stream is read whole, as it reads.
bool StripsRestartTheCoder(const StreamHeader& s, const DirectoryNotes& n, const TiffDirectory& d) {
    if (d.rowsPerStrip >= d.height || d.Tiled() || n.jpegProc != 1 || n.jpegRestartInterval != 0 ||
        s.restartInterval != 0)
        return false;
    // Frame: precision, height, width, components, then three bytes each.
    const std::vector<uint8_t>& f = s.frame;
    if (f.size() < 6 || f[0] != 8 || f[5] < 1 || f[5] > 4 || f.size() < 6 + 3u * f[5]) return false;
    const uint32_t components = f[5];
    if (f.size() != 6 + 3 * components || (uint32_t(f[3]) << 8 | f[4]) != d.width || components != d.samplesPerPixel)
        return false;
    if (s.scan.size() != 1 + 2 * components + 3 || s.scan[0] != components) return false;
    uint32_t mcuRows = 8;
    for (uint32_t i = 0; i < components; ++i) mcuRows = std::max<uint32_t>(mcuRows, 8u * (f[6 + 3 * i + 1] & 0x0F));
    return d.rowsPerStrip % mcuRows == 0;
}

// The start of the stream each old-style JPEG strip is decoded as: SOI,
// the tables from their tags (TIFF 6.0), or else from the interchange
// stream's header, and the restart interval. False when it has no tables.
bool BuildOldJpegTables(const TiffReader& r, const DirectoryNotes& n, std::vector<uint8_t>* out) {
    *out = {0xFF, 0xD8};
    if (n.jpegQTables.present) {
        if (!AppendTagTables(r, n.jpegQTables, 0xDB, 0, out) || !AppendTagTables(r, n.jpegDcTables, 0xC4, 0, out) ||
            !AppendTagTables(r, n.jpegAcTables, 0xC4, 1, out))
            return false;
        if (n.jpegRestartInterval > 0 && n.jpegRestartInterval <= 0xFFFF) {
            const uint8_t interval[2] = {uint8_t(n.jpegRestartInterval >> 8), uint8_t(n.jpegRestartInterval)};
            AppendJpegSegment(out, 0xDD, interval, 2);
        }
    } else {
        StreamHeader header;
        ReadStreamHeader(r, n, &header);
        out->insert(out->end(), header.tables.begin(), header.tables.end());
    }
    return out->size() > 2;
}

// Does the interchange stream (tag 513) hold the whole picture? Then the
// picture is that JPEG; one that covers only the first strip is not.
bool InterchangeCoversPicture(const TiffReader& r, const DirectoryNotes& n, const TiffDirectory& d) {
    int32_t width = 0, height = 0;
    return n.jpegInterchange != kNone && r.Seek(n.jpegInterchange) && ReadJpegStreamSize(r.file, &width, &height) &&
           uint32_t(height) >= d.height;
}

// Colour samples of a photometric; 0 for one the reader does not know.
uint32_t ColourSamples(uint32_t photometric) {
    switch (photometric) {
    case kTiffWhiteIsZero:
    case kTiffBlackIsZero:
    case kTiffPalette:
    case kTiffLogL: return 1;
    case kTiffRgb:
    case kTiffYCbCr:
    case kTiffCieLab:
    case kTiffLogLuv: return 3;
    case kTiffSeparated: return 4;
    default: return 0;
    }
}

bool KnownCompression(uint32_t c) {
    switch (c) {
    case kTiffNone: case kTiffCcittRle: case kTiffCcittG3: case kTiffCcittG4: case kTiffLzw:
    case kTiffOldJpeg: case kTiffJpeg: case kTiffDeflate: case kTiffPackBits: case kTiffThunderScan:
    case kTiffDeflateOld: case kTiffSgiLog: case kTiffSgiLog24: return true;
    default: return false;
    }
}

// Signed and floating-point samples are read for grey, RGB and CMYK
// pictures stored without JPEG, fax or ThunderScan coding: signed ones of
// 8, 16 or 32 bits, floats of 16 or 32 (NormaliseTiffSamples). SampleFormat
// 4 (undefined) reads as unsigned; L*a*b* and log-luminance samples have
// a form of their own, whatever the tag says.
bool PlainSampleFormat(const TiffDirectory& d) {
    return d.sampleFormat == 1 || d.sampleFormat == 4 || d.photometric == kTiffCieLab ||
           d.compression == kTiffSgiLog || d.compression == kTiffSgiLog24;
}

const char* CheckSampleFormat(const TiffDirectory& d) {
    const uint32_t f = d.sampleFormat, p = d.photometric, b = d.bitsPerSample, c = d.compression;
    if (PlainSampleFormat(d)) return nullptr;
    if (f != 2 && f != 3) return kBadSampleFormat;
    if (!(p == kTiffWhiteIsZero || p == kTiffBlackIsZero || p == kTiffRgb || p == kTiffSeparated))
        return kBadSampleFormat;
    if (d.JpegCoded() || c == kTiffCcittRle || c == kTiffCcittG3 || c == kTiffCcittG4 || c == kTiffThunderScan)
        return kBadSampleFormat;
    if (f == 2 ? !(b == 8 || b == 16 || b == 32) : !(b == 16 || b == 32)) return kBadSampleFormat;
    return nullptr;
}

// Cross-checks compression, photometric, samples and depth before anything
// is decoded; a refusal message, or null when the picture can be decoded.
const char* CheckCombination(const TiffDirectory& d) {
    const uint32_t c = d.compression, p = d.photometric, b = d.bitsPerSample, s = d.samplesPerPixel;
    const uint32_t colour = ColourSamples(p);
    // SGILog24 has only the colour form.
    const bool sgi = c == kTiffSgiLog || c == kTiffSgiLog24;
    if (sgi != (p == kTiffLogL || p == kTiffLogLuv) || (c == kTiffSgiLog24 && p == kTiffLogL))
        return kBadPhotometric;
    if (sgi) return nullptr;
    if (s < colour || s > 16) return kBadSamples;
    if (!(b == 1 || b == 2 || b == 4 || b == 8 || b == 16 || b == 32)) return kBadSamples;
    if (d.planarConfig != 1 && d.planarConfig != 2) return kBadSamples;
    if (p == kTiffPalette && (b > 8 || s != 1)) return kBadSamples;
    if (c == kTiffCcittRle || c == kTiffCcittG3 || c == kTiffCcittG4) {
        if (b != 1 || s != 1 || p > kTiffBlackIsZero) return kBadSamples;
    }
    if (c == kTiffThunderScan && (b != 4 || s != 1)) return kBadSamples;
    if (d.JpegCoded() && b != 8) return kBadSamples;
    if (c == kTiffOldJpeg && (d.planarConfig != 1 || s > 4)) return kBadSamples;
    if (p == kTiffYCbCr) {
        if (b != 8 || s != 3) return kBadSamples;
        if (!d.JpegCoded()) {
            if (d.planarConfig != 1) return kBadSamples;
            const uint32_t h = d.subsamplingH, v = d.subsamplingV;
            if (!(h == 1 || h == 2 || h == 4) || !(v == 1 || v == 2 || v == 4)) return kBadSamples;
        }
    }
    if (const char* refusal = CheckSampleFormat(d)) return refusal;
    if (d.predictor != 1 && d.predictor != 2) return kBadPredictor;
    if (d.predictor == 2 && (c == kTiffLzw || c == kTiffDeflate || c == kTiffDeflateOld) && b < 8)
        return kBadPredictor;
    return nullptr;
}

void SetCompression(const TiffDirectory& d, ImageHeader* h) {
    switch (d.compression) {
    case kTiffCcittRle: h->compression = 6; break;
    case kTiffCcittG3: h->compression = (d.t4Options & 1) ? 8 : 7; break;
    case kTiffCcittG4: h->compression = 9; break;
    case kTiffLzw: h->compression = 2; break;
    case kTiffOldJpeg:
    case kTiffJpeg: h->compression = 3; break;
    case kTiffDeflate:
    case kTiffDeflateOld: h->compression = 4; break;
    case kTiffPackBits: h->compression = 1; break;
    case kTiffSgiLog:
        h->compression = 255;
        CopyTextBounded(h->compressionText, sizeof h->compressionText, "SGILog");
        break;
    case kTiffSgiLog24:
        h->compression = 255;
        CopyTextBounded(h->compressionText, sizeof h->compressionText, "SGILog24");
        break;
    default: h->compression = 0; break;
    }
    switch (d.photometric) {
    case kTiffSeparated: h->colourSpace = 3; break;
    case kTiffYCbCr: h->colourSpace = 4; break;
    case kTiffCieLab: h->colourSpace = 6; break;
    case kTiffLogLuv: h->colourSpace = 7; break;
    case kTiffLogL: h->colourSpace = 8; break;
    default: h->colourSpace = 0; break;
    }
}

uint16_t OrientationCode(uint32_t o) {
    switch (o) {
    case 2: return 0x01;
    case 3: return 0x11;
    case 4: return 0x10;
    case 5: return 0x80;
    case 6: return 0x81;
    case 7: return 0x91;
    case 8: return 0x90;
    default: return 0;
    }
}

// The delivered layout: what each pixel keeps and how the rows are declared.
// Rows come interleaved whatever the file's planes, tiles as whole rows, so
// the load scales them as they arrive.
void DeclareLayout(const TiffDirectory& d, ImageHeader* h, TiffLayout* layout, bool keepDeep) {
    const uint32_t w = d.width;
    uint32_t kept;
    switch (d.photometric) {
    case kTiffLogL: kept = 1; break;
    case kTiffLogLuv: kept = 3; break;
    case kTiffSeparated: kept = 4; break;
    case kTiffRgb:
        // Alpha stays when the fourth sample is one (or is not described).
        kept = d.samplesPerPixel >= 4 && (d.extraSamples == 0 ? d.samplesPerPixel == 4 : d.firstExtraSample != 0) ? 4
                                                                                                                 : 3;
        break;
    case kTiffYCbCr:
    case kTiffCieLab: kept = 3; break;
    default: kept = 1; break;
    }
    layout->keptSamples = kept;
    // Colour stored multiplied by its alpha (ExtraSamples 1) is divided by it
    // again: RGB keeps its alpha, grey shows its colour alone.
    const uint32_t colour = ColourSamples(d.photometric);
    layout->associatedAlpha = d.extraSamples > 0 && d.firstExtraSample == 1 && d.samplesPerPixel > colour &&
                              (d.photometric == kTiffRgb || d.photometric <= kTiffBlackIsZero);
    layout->packed = kept == 1 && d.samplesPerPixel == 1 && d.bitsPerSample <= 8 &&
                     d.compression != kTiffSgiLog;
    h->planes = 1;
    // 16-bit grey and colour samples that the load keeps are delivered as
    // they are; every other picture as bytes.
    layout->sampleBytes = keepDeep && d.bitsPerSample == 16 && !d.stretch &&
                                  (d.photometric == kTiffBlackIsZero || d.photometric == kTiffRgb) &&
                                  d.compression != kTiffSgiLog && d.compression != kTiffSgiLog24
                              ? 2
                              : 1;
    if (layout->sampleBytes == 2) {
        h->components = int16_t(kept);
        h->bitsPerPlane = 16;
        h->bytesPerPlane = uint32_t(uint64_t(w) * kept * 2);
    } else if (layout->packed) {
        h->bitsPerPlane = int16_t(d.bitsPerSample);
        h->bytesPerPlane = uint32_t((uint64_t(w) * d.bitsPerSample + 7) / 8);
    } else {
        h->bitsPerPlane = int16_t(8 * kept);
        h->bytesPerPlane = uint32_t(uint64_t(w) * kept);
    }
    if (d.photometric == kTiffSeparated) h->flags |= kHeaderCmyk;
    if (d.photometric == kTiffCieLab) h->flags |= kHeaderLabSignedD50;
    h->rowsPerCall = TiffRowsPerCall(d, *layout);
    if (layout->sampleBytes == 1 && d.bitsPerSample >= 16 && d.photometric <= kTiffRgb &&
        (d.compression == kTiffNone || d.compression == kTiffLzw || d.compression == kTiffDeflate ||
         d.compression == kTiffPackBits || d.compression == kTiffDeflateOld)) {
        h->fullWidth = int32_t(d.width);
        h->fullHeight = int32_t(d.height);
        h->fullBytesPerPlane = 2 * h->bytesPerPlane;
        h->fullBitsPerSample = 16;
        h->fullComponents = std::min<uint32_t>(d.samplesPerPixel, 4);
    }
}

int ReadTiffFile(PictureFile* file, LoadContext* ctx) {
    uint8_t head[8];
    const size_t got = ReadFileBytes(file, head, sizeof head);
    // A file of fewer than two bytes is no TIFF; a mark followed by nothing
    // is a TIFF cut short.
    if (got < 4) return got >= 2 && head[0] == head[1] && (head[0] == 'I' || head[0] == 'M') ? kLoadIncomplete
                                                                                           : kLoadNotRecognised;
    if (!((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'))) return kLoadNotRecognised;
    if (!((head[2] == 42 && head[3] == 0) || (head[2] == 0 && head[3] == 42))) return kLoadNotRecognised;
    if (got < 8) return kLoadNotRecognised;

    if (!LearnFileSize(file) || file->size <= 0) return kLoadNotRecognised;
    TiffReader r{file, ctx, file->size, head[0] == 'M'};
    const uint32_t first = r.U32(head + 4);

    TiffDirectory d{};
    d.bigEndian = r.big;
    d.bitsPerSample = 1;
    d.samplesPerPixel = 1;
    d.planarConfig = 1;
    d.compression = kTiffNone;
    d.predictor = 1;
    d.sampleFormat = 1;
    d.photometric = kTiffBlackIsZero;
    d.fillOrder = 1;
    d.subsamplingH = d.subsamplingV = 2;
    d.lumaRed = 0.299f;
    d.lumaGreen = 0.587f;
    d.lumaBlue = 0.114f;
    for (int k = 0; k < 3; ++k) {
        d.referenceBlack[k] = k == 0 ? 0.0f : 128.0f;
        d.referenceWhite[k] = 255.0f;
    }

    DirectoryNotes n;
    std::vector<TiffEntry> entries;
    bool broken = false;
    const uint32_t wanted = ctx->options.imageIndex;
    const uint32_t chosen = WalkPages(r, first, &broken);
    // A wanted page past a chain that runs out of the file was cut off; it
    // is not stood in for by the first.
    if (broken && wanted > 0 && wanted >= ctx->imageCount) return kLoadIncomplete;
    if (!ReadEntries(r, chosen, &entries)) return kLoadIncomplete;
    ParseEntries(r, entries, &d, &n);
    if (d.rowsPerStrip == 0 || d.rowsPerStrip > d.height) d.rowsPerStrip = d.height;
    if (d.compression == kTiffNone) d.predictor = 1;
    if (d.photometric != kTiffYCbCr) d.subsamplingH = d.subsamplingV = 1;
    // Every sample must have the depth and the format of the first.
    if (n.bitsPerSample.present && n.bitsPerSample.entry.count > 1) {
        const int result = ReadSameForEverySample(r, n.bitsPerSample.entry, ctx, kBadSamples, &d.bitsPerSample);
        if (result != kLoadOk) return result;
    }
    if (n.sampleFormat.present && n.sampleFormat.entry.count > 1) {
        const int result = ReadSameForEverySample(r, n.sampleFormat.entry, ctx, kBadSampleFormat, &d.sampleFormat);
        if (result != kLoadOk) return result;
    }
    if (n.extraSamples.present && n.extraSamples.entry.count > 0) {
        TiffBuffer b;
        if (r.Bytes(n.extraSamples.entry, &b, 1024)) d.firstExtraSample = r.Value(n.extraSamples.entry, b.data, 0);
    }

    if (!KnownCompression(d.compression)) return RefusePicture(ctx, kBadCompression);
    ReadReferenceBlackWhite(r, n, &d);
    std::vector<uint8_t> oldJpegTables;
    StreamHeader stream;
    bool interchangeAsStrip = false;
    if (d.compression == kTiffOldJpeg) {
        ReadStreamHeader(r, n, &stream);
        const bool stripwise = StripsRestartTheCoder(stream, n, d);
        if (stripwise) {
            d.oldJpegFrame = stream.frame.data();
            d.oldJpegFrameLength = uint32_t(stream.frame.size());
            d.oldJpegScan = stream.scan.data();
            d.oldJpegScanLength = uint32_t(stream.scan.size());
        }
        if (!stripwise && InterchangeCoversPicture(r, n, d)) {
            // YCbCr codes of a reference range of their own are turned to
            // RGB here: the interchange stream, when its baseline frame is
            // the picture's, is then decoded as the picture's one strip.
            interchangeAsStrip = d.referenceSet && FrameIsPicture(stream, d);
            if (!interchangeAsStrip) {
                if (!r.Seek(n.jpegInterchange)) return kLoadIncomplete;
                return DecodeJpegAtDefault(file, ctx, "TIFF (jpeg)", 0);
            }
        } else {
            // Strip by strip, each with the tables; lossless JPEG is not read.
            if (n.jpegProc != 1 || !BuildOldJpegTables(r, n, &oldJpegTables))
                return RefusePicture(ctx, kBadCompression);
            d.jpegTables = oldJpegTables.data();
            d.jpegTablesLength = uint32_t(oldJpegTables.size());
        }
    }
    if (ColourSamples(d.photometric) == 0) return RefusePicture(ctx, kBadPhotometric);
    if (d.compression == kTiffLzw && !IsLzwEnabled()) return RefusePicture(ctx, kLzwDisabled);
    if (const char* refusal = CheckCombination(d)) return RefusePicture(ctx, refusal);
    if (PlainSampleFormat(d)) d.sampleFormat = 1;

    // The strip tables. Without StripOffsets the only strip starts after
    // the header.
    if (n.offsets.present) d.offsets = TableOf(n.offsets.entry);
    else d.offsets = TiffTable{1, kTiffLong, {uint8_t(r.big ? 0 : 8), 0, 0, uint8_t(r.big ? 8 : 0)}};
    if (n.counts.present) d.byteCounts = TableOf(n.counts.entry);
    if (interchangeAsStrip) {
        const uint32_t at = n.jpegInterchange, length = n.jpegInterchangeLength;
        d.rowsPerStrip = d.height;
        d.offsets = TiffTable{1, kTiffLong, {}};
        d.byteCounts = TiffTable{length > 0 ? 1u : 0u, kTiffLong, {}};
        for (int k = 0; k < 4; ++k) {
            const int shift = r.big ? 24 - 8 * k : 8 * k;
            d.offsets.field[k] = uint8_t(at >> shift);
            d.byteCounts.field[k] = uint8_t(length >> shift);
        }
    }

    ImageHeader h;
    ctx->callbacks.clearImageHeader(&h);
    h.width = int32_t(std::min<uint32_t>(d.width, 0x7FFFFFFF));
    h.height = int32_t(std::min<uint32_t>(d.height, 0x7FFFFFFF));
    h.orientation = OrientationCode(n.orientation);
    CopyTextBounded(h.description, sizeof h.description, d.Tiled() ? "TIFF (Tiled)" : "TIFF");
    SetCompression(d, &h);
    ReadResolution(r, n, &h);
    ReadTexts(r, n);
    ReadMetadata(r, n, d);
    TiffLayout layout{};
    DeclareLayout(d, &h, &layout, (ctx->options.flags & kLoadKeepDeepSamples) != 0);

    std::vector<uint16_t> colourMap;
    // A palette picture whose map is cut off is not complete; one without a
    // map at all shows its indexes as grey levels.
    const bool havePalette = d.photometric == kTiffPalette && n.colourMap.present;
    if (havePalette && !ReadColourMap(r, n, d, &colourMap)) return kLoadIncomplete;
    ReadCoefficients(r, n, &d);
    TiffBuffer tables;
    if (d.compression == kTiffJpeg && n.jpegTables.present) {
        if (!r.Bytes(n.jpegTables.entry, &tables, 1u << 20)) return kLoadIncomplete;
        d.jpegTables = tables.data;
        d.jpegTablesLength = uint32_t(n.jpegTables.entry.ByteSize());
    }

    // Uncompressed rows the file cannot hold are not allocated for.
    if (d.compression == kTiffNone && d.width < (1u << 20) && d.height < (1u << 20)) {
        const uint64_t rowBits = uint64_t(d.width) * d.bitsPerSample * d.samplesPerPixel;
        const uint64_t stored = d.photometric == kTiffYCbCr ? YCbCrBlockBytes(d, d.width, d.height)
                                                            : (rowBits + 7) / 8 * d.height;
        if (stored > uint64_t(r.fileSize)) return kLoadIncomplete;
    }
    // What the values of a picture of one sample mean: declared before the
    // rows, so that a reduced load can average them, and handed to EndImage.
    const bool grey = layout.keptSamples == 1 && d.photometric != kTiffPalette;
    const bool inverted = grey && d.photometric == kTiffWhiteIsZero;
    uint16_t endLayout = inverted ? kPaletteGreyInverted : 0;
    int endBits = 0;
    const void* endPalette = nullptr;
    uint8_t levels[3 * 16];
    if (havePalette) {
        endLayout = kPalettePlanes | 0x100;
        endBits = 16;
        endPalette = h.palette = colourMap.data();
        h.paletteLayout = endLayout;
        h.paletteBits = 16;
    } else if (grey) {
        h.flags |= kHeaderGreyLevels;
        if (layout.packed && (d.bitsPerSample == 2 || d.bitsPerSample == 4)) {
            // Levels of 2 and 4 bits are widened to 0..255 through a grey map.
            const uint32_t n = 1u << d.bitsPerSample;
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t v = inverted ? n - 1 - i : i;
                levels[i] = levels[n + i] = levels[2 * n + i] = uint8_t(v * 255 / (n - 1));
            }
            // The map already holds the inversion; the flag tells a load
            // that averaged the levels (and so skips the map) to invert.
            endLayout = kPalettePlanes | (inverted ? kPaletteGreyInverted : 0);
            endBits = 8;
            endPalette = levels;
        }
    }
    const int begun = ctx->callbacks.beginImage(ctx, &h);
    if (BeginImageStops(begun)) return begun;
    int result = DecodeTiffImage(file, ctx, h, d, layout);
    if (result == kLoadRefused) CopyTextBounded(ctx->subFormat, sizeof ctx->subFormat, kBadLzwCodes);
    const int ended = ctx->callbacks.endImage(ctx, endLayout, endBits, endPalette);
    return result != kLoadOk ? result : ended;
}

int ReadTiffGuarded(PictureFile* file, LoadContext* ctx) {
    // Only the directory's small lists use the standard allocator; the
    // pixel paths allocate with malloc. Running out while reading the
    // directory is a plain out-of-memory result.
    try {
        return ReadTiffFile(file, ctx);
    } catch (const std::bad_alloc&) {
        return kLoadNoMemory;
    }
}

}  // namespace

int ReadTiff(FileSource* source, LoadContext* ctx) { return RunReaderOnSource(source, ctx, ReadTiffGuarded); }
