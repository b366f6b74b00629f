// The optimising colour quantizer: the picture's own colours when it has few
// enough, else a median cut over a 32 x 64 x 32 colour histogram (5 bits of
// red, 6 of green, 5 of blue), an inverse colour map filled lazily one block
// of 4 x 8 x 4 cells at a time into the histogram's memory, and serpentine
// Floyd-Steinberg diffusion in sixteenths with limited errors. Distances
// weigh red 2, green 3 and blue 1, the eye's rough sensitivities.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "processing/colour_internal.h"
#include "imagelib/geometry/geometry_internal.h"
#include "processing/reduce.h"

using namespace geometry;
using colour::Rgb;
using colour::RgbRowReader;

namespace {

// Histogram geometry: bits kept per channel and the cell counts.
constexpr int kRedShift = 3, kGreenShift = 2, kBlueShift = 3;
constexpr int kRedCells = 256 >> kRedShift, kGreenCells = 256 >> kGreenShift, kBlueCells = 256 >> kBlueShift;
constexpr size_t kCells = size_t(kRedCells) * kGreenCells * kBlueCells;
// Distance weights.
constexpr int kRedScale = 2, kGreenScale = 3, kBlueScale = 1;
// Inverse-map blocks: 4 x 8 x 4 cells (log2 per channel).
constexpr int kBlockRedLog = 2, kBlockGreenLog = 3, kBlockBlueLog = 2;
constexpr int kBlockRed = 1 << kBlockRedLog, kBlockGreen = 1 << kBlockGreenLog, kBlockBlue = 1 << kBlockBlueLog;
constexpr int kBlockCells = kBlockRed * kBlockGreen * kBlockBlue;

// A cell count, or (after the palette is chosen) palette index + 1, 0 unknown.
using Cell = uint16_t;

inline size_t CellIndex(int r, int g, int b) { return (size_t(r) * kGreenCells + size_t(g)) * kBlueCells + size_t(b); }

// A box of histogram cells: channel k (red, green, blue) spans cells
// min[k]..max[k], inclusive.
struct ColourBox {
    int min[3];
    int max[3];
    int32_t volume;      // weighted squared diagonal
    int32_t colourCount; // non-empty cells inside
};

// Weighted length of the box's side along channel k, in colour units.
int32_t Extent(const ColourBox& box, int k) {
    constexpr int kShift[3] = {kRedShift, kGreenShift, kBlueShift};
    constexpr int kScale[3] = {kRedScale, kGreenScale, kBlueScale};
    return ((box.max[k] - box.min[k]) << kShift[k]) * kScale[k];
}

// The channel to split the box along: green unless red is strictly longer,
// blue when strictly longer than both.
int LongestSide(const ColourBox& box) {
    int side = 1;
    int32_t longest = Extent(box, 1);
    if (Extent(box, 0) > longest) {
        longest = Extent(box, 0);
        side = 0;
    }
    if (Extent(box, 2) > longest) side = 2;
    return side;
}

// The chosen palette, channel by channel.
struct Palette {
    int count = 0;
    uint8_t r[256] = {}, g[256] = {}, b[256] = {};
};

class Quantizer {
public:
    Quantizer(Cell* hist, int wanted) : hist_(hist), wanted_(wanted) {}

    void Count(uint8_t r, uint8_t g, uint8_t b, uint32_t times = 1) {
        Cell& c = hist_[CellIndex(r >> kRedShift, g >> kGreenShift, b >> kBlueShift)];
        const uint32_t sum = uint32_t(c) + times;
        c = Cell(sum > 0xFFFF ? 0xFFFF : sum);  // saturates
    }

    // Median cut, box colours, then the histogram becomes the map's cache.
    // False when memory runs out.
    bool ChoosePalette();
    const Palette& palette() const { return palette_; }

    // Palette index of a colour (each channel 0..255).
    int Map(int r, int g, int b) {
        const int cr = r >> kRedShift, cg = g >> kGreenShift, cb = b >> kBlueShift;
        Cell& c = hist_[CellIndex(cr, cg, cb)];
        if (c == 0) FillBlock(cr, cg, cb);
        return c - 1;
    }

private:
    int32_t Cells(const ColourBox& box, bool any) const;
    void UpdateBox(ColourBox* box) const;
    void BoxColour(const ColourBox& box, int index);
    void FillBlock(int r, int g, int b);
    int NearbyColours(int minR, int minG, int minB, uint8_t* list) const;

    Cell* hist_;
    int wanted_;
    Palette palette_;
};

bool Quantizer::ChoosePalette() {
    std::unique_ptr<ColourBox[]> boxes(new (std::nothrow) ColourBox[size_t(wanted_)]);
    if (!boxes) return false;
    boxes[0] = ColourBox{{0, 0, 0}, {kRedCells - 1, kGreenCells - 1, kBlueCells - 1}, 0, 0};
    UpdateBox(&boxes[0]);
    int count = 1;
    while (count < wanted_) {
        // While few boxes exist split the most populous, later the largest.
        ColourBox* pick = nullptr;
        const bool byColours = count * 2 <= wanted_;
        int32_t best = 0;
        for (int i = 0; i < count; ++i) {
            const ColourBox& b = boxes[i];
            const int32_t key = byColours ? b.colourCount : b.volume;
            if (key > best && b.volume > 0) {
                best = key;
                pick = &boxes[i];
            }
        }
        if (!pick) break;
        ColourBox* other = &boxes[count];
        *other = *pick;
        // Longest weighted side; ties go to green, then red, blue last.
        const int side = LongestSide(*pick);
        const int mid = (pick->max[side] + pick->min[side]) / 2;
        pick->max[side] = mid;
        other->min[side] = mid + 1;
        UpdateBox(pick);
        UpdateBox(other);
        ++count;
    }
    for (int i = 0; i < count; ++i) BoxColour(boxes[i], i);
    palette_.count = count;
    std::memset(hist_, 0, kCells * sizeof(Cell));
    return true;
}

// Non-empty cells of the box, or (with `any`) 1 as soon as one is found.
int32_t Quantizer::Cells(const ColourBox& box, bool any) const {
    int32_t cells = 0;
    for (int r = box.min[0]; r <= box.max[0]; ++r)
        for (int g = box.min[1]; g <= box.max[1]; ++g)
            for (int b = box.min[2]; b <= box.max[2]; ++b)
                if (hist_[CellIndex(r, g, b)]) {
                    if (any) return 1;
                    ++cells;
                }
    return cells;
}

void Quantizer::UpdateBox(ColourBox* box) const {
    // Each bound moves inward past empty slices: red min and max first,
    // blue last.
    for (int k = 0; k < 3; ++k) {
        auto filled = [&](int v) {
            ColourBox slice = *box;
            slice.min[k] = slice.max[k] = v;
            return Cells(slice, true) != 0;
        };
        if (box->max[k] > box->min[k])
            for (int v = box->min[k]; v <= box->max[k]; ++v)
                if (filled(v)) {
                    box->min[k] = v;
                    break;
                }
        if (box->max[k] > box->min[k])
            for (int v = box->max[k]; v >= box->min[k]; --v)
                if (filled(v)) {
                    box->max[k] = v;
                    break;
                }
    }
    box->volume = 0;
    for (int k = 0; k < 3; ++k) {
        const int32_t d = Extent(*box, k);
        box->volume += d * d;
    }
    box->colourCount = Cells(*box, false);
}

void Quantizer::BoxColour(const ColourBox& box, int index) {
    // 64-bit sums: a cell holds up to 65535 pixels and a box up to every cell.
    int64_t total = 0, rs = 0, gs = 0, bs = 0;
    for (int r = box.min[0]; r <= box.max[0]; ++r)
        for (int g = box.min[1]; g <= box.max[1]; ++g)
            for (int b = box.min[2]; b <= box.max[2]; ++b) {
                const int64_t n = hist_[CellIndex(r, g, b)];
                if (!n) continue;
                total += n;
                rs += ((r << kRedShift) + ((1 << kRedShift) >> 1)) * n;
                gs += ((g << kGreenShift) + ((1 << kGreenShift) >> 1)) * n;
                bs += ((b << kBlueShift) + ((1 << kBlueShift) >> 1)) * n;
            }
    if (total == 0) return;  // cannot happen for a box from the cut; stays black
    palette_.r[index] = uint8_t((rs + total / 2) / total);
    palette_.g[index] = uint8_t((gs + total / 2) / total);
    palette_.b[index] = uint8_t((bs + total / 2) / total);
}

// Squared weighted distances from colour value `x` to the span min..max of
// one channel: the least and the greatest.
inline void SpanDistance(int x, int min, int max, int scale, int32_t* least, int32_t* most) {
    int32_t t;
    if (x < min) {
        t = (x - min) * scale;
        *least = t * t;
        t = (x - max) * scale;
        *most = t * t;
    } else if (x > max) {
        t = (x - max) * scale;
        *least = t * t;
        t = (x - min) * scale;
        *most = t * t;
    } else {
        *least = 0;
        t = (x <= (min + max) / 2 ? x - max : x - min) * scale;
        *most = t * t;
    }
}

// The palette colours that can be nearest to some cell of the block whose
// first cell centre is (minR, minG, minB): those whose least distance to the
// block is within the smallest greatest distance of any colour.
int Quantizer::NearbyColours(int minR, int minG, int minB, uint8_t* list) const {
    const int maxR = minR + ((1 << (kRedShift + kBlockRedLog)) - (1 << kRedShift));
    const int maxG = minG + ((1 << (kGreenShift + kBlockGreenLog)) - (1 << kGreenShift));
    const int maxB = minB + ((1 << (kBlueShift + kBlockBlueLog)) - (1 << kBlueShift));
    int32_t least[256];
    int32_t bound = INT32_MAX;
    for (int i = 0; i < palette_.count; ++i) {
        int32_t l, m, lsum, msum;
        SpanDistance(palette_.r[i], minR, maxR, kRedScale, &lsum, &msum);
        SpanDistance(palette_.g[i], minG, maxG, kGreenScale, &l, &m);
        lsum += l;
        msum += m;
        SpanDistance(palette_.b[i], minB, maxB, kBlueScale, &l, &m);
        lsum += l;
        msum += m;
        least[i] = lsum;
        bound = std::min(bound, msum);
    }
    int n = 0;
    for (int i = 0; i < palette_.count; ++i)
        if (least[i] <= bound) list[n++] = uint8_t(i);
    return n;
}

void Quantizer::FillBlock(int r, int g, int b) {
    r &= ~(kBlockRed - 1);
    g &= ~(kBlockGreen - 1);
    b &= ~(kBlockBlue - 1);
    const int minR = (r << kRedShift) + ((1 << kRedShift) >> 1);
    const int minG = (g << kGreenShift) + ((1 << kGreenShift) >> 1);
    const int minB = (b << kBlueShift) + ((1 << kBlueShift) >> 1);
    uint8_t candidates[256];
    const int n = NearbyColours(minR, minG, minB, candidates);

    // Distances to every cell centre, stepped incrementally: moving one cell
    // in a channel adds (2 d + step) step with step the cell's weighted width.
    constexpr int32_t kStepR = (1 << kRedShift) * kRedScale;
    constexpr int32_t kStepG = (1 << kGreenShift) * kGreenScale;
    constexpr int32_t kStepB = (1 << kBlueShift) * kBlueScale;
    int32_t bestDist[kBlockCells];
    uint8_t best[kBlockCells] = {};
    std::fill(bestDist, bestDist + kBlockCells, INT32_MAX);
    for (int k = 0; k < n; ++k) {
        const int i = candidates[k];
        int32_t incR = (minR - palette_.r[i]) * kRedScale;
        int32_t dist0 = incR * incR;
        int32_t incG = (minG - palette_.g[i]) * kGreenScale;
        dist0 += incG * incG;
        int32_t incB = (minB - palette_.b[i]) * kBlueScale;
        dist0 += incB * incB;
        incR = incR * (2 * kStepR) + kStepR * kStepR;
        incG = incG * (2 * kStepG) + kStepG * kStepG;
        incB = incB * (2 * kStepB) + kStepB * kStepB;
        int cell = 0;
        int32_t xr = incR;
        for (int cr = 0; cr < kBlockRed; ++cr) {
            int32_t dist1 = dist0, xg = incG;
            for (int cg = 0; cg < kBlockGreen; ++cg) {
                int32_t dist2 = dist1, xb = incB;
                for (int cb = 0; cb < kBlockBlue; ++cb, ++cell) {
                    if (dist2 < bestDist[cell]) {
                        bestDist[cell] = dist2;
                        best[cell] = uint8_t(i);
                    }
                    dist2 += xb;
                    xb += 2 * kStepB * kStepB;
                }
                dist1 += xg;
                xg += 2 * kStepG * kStepG;
            }
            dist0 += xr;
            xr += 2 * kStepR * kStepR;
        }
    }
    int cell = 0;
    for (int cr = 0; cr < kBlockRed; ++cr)
        for (int cg = 0; cg < kBlockGreen; ++cg)
            for (int cb = 0; cb < kBlockBlue; ++cb, ++cell) hist_[CellIndex(r + cr, g + cg, b + cb)] = Cell(best[cell] + 1);
}

// Errors of diffusion are limited: small ones pass, middling ones are
// halved, and none beyond 32 reaches a neighbour.
struct ErrorLimit {
    int32_t table[511];
    ErrorLimit() {
        for (int e = 0; e <= 255; ++e) {
            const int32_t v = e < 16 ? e : e < 48 ? 16 + (e - 16) / 2 : 32;
            table[255 + e] = v;
            table[255 - e] = -v;
        }
    }
    // e is within -255..255: the errors gathered for one pixel weigh 16
    // sixteenths of at most 255 each.
    int32_t operator()(int32_t e) const { return table[255 + e]; }
};

inline uint8_t Clamp255(int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

void WritePalette(Bitmap* out, const Palette& p) {
    std::memcpy(out->palette, p.r, 256);
    std::memcpy(out->palette + kPaletteGreen, p.g, 256);
    std::memcpy(out->palette + kPaletteBlue, p.b, 256);
}

// Exact palette of a true-colour picture: 1 when it has at most `wanted`
// colours (out's pixels and palette written), 0 when it has more. A small
// open hash table finds each colour, so the walk costs one probe per pixel.
int ExactTrueColour(RgbRowReader& reader, const Bitmap* src, int wanted, Bitmap* out) {
    constexpr int kSlots = 1024;  // more than four times the largest palette
    uint32_t keys[kSlots];
    int16_t index[kSlots];
    std::fill(index, index + kSlots, int16_t(-1));
    Palette p;
    for (int32_t y = 0; y < src->height; ++y) {
        const uint8_t* in = reader.RgbRow(y);
        uint8_t* o = Row(out, y);
        uint32_t last = 0xFFFFFFFFu;
        int lastIndex = 0;
        for (int32_t x = 0; x < src->width; ++x, in += 3) {
            const uint32_t c = uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
            if (c != last) {
                uint32_t h = (c * 2654435761u) >> 22;
                while (index[h] >= 0 && keys[h] != c) h = (h + 1) & (kSlots - 1);
                if (index[h] < 0) {
                    if (p.count == wanted) return 0;
                    keys[h] = c;
                    index[h] = int16_t(p.count);
                    p.r[p.count] = in[0];
                    p.g[p.count] = in[1];
                    p.b[p.count] = in[2];
                    ++p.count;
                }
                last = c;
                lastIndex = index[h];
            }
            o[x] = uint8_t(lastIndex);
        }
    }
    WritePalette(out, p);
    return 1;
}

}  // namespace

int colour::QuantizeToNew(const Bitmap* src, int wanted, bool dither, Bitmap* out) {
    int rc = NewPicture(out, kPixelPalette, src->rowAlignment, src->width, src->height, 8);
    if (rc != kGeometryDone) return rc;
    out->paletteCount = int16_t(wanted);
    out->transparentIndex = -1;
    const int32_t width = src->width, height = src->height;
    const bool trueColour = IsTrueColour(src->pixelType);

    std::unique_ptr<RgbRowReader> reader;
    Rgb colours[256];
    uint32_t counts[256] = {};
    if (trueColour) {
        reader.reset(new (std::nothrow) RgbRowReader(src));
        if (!reader || !reader->ok()) {
            FreeBitmap(out);
            return kGeometryNoMemory;
        }
        if (ExactTrueColour(*reader, src, wanted, out)) return kGeometryDone;
    } else {
        // One-byte pictures: the used values, most frequent first.
        colour::IndexedColours(src, colours);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = Row(src, y);
            if (src->pixelType == kPixelBilevel)
                for (int32_t x = 0; x < width; ++x) ++counts[GetRowBit(row, x)];
            else
                for (int32_t x = 0; x < width; ++x) ++counts[row[x]];
        }
        int order[256];
        for (int v = 0; v < 256; ++v) order[v] = v;
        std::stable_sort(order, order + 256, [&](int a, int b) { return counts[a] > counts[b]; });
        const int used = int(std::count_if(counts, counts + 256, [](uint32_t c) { return c != 0; }));
        if (used <= wanted) {
            uint8_t newIndex[256] = {};
            Palette p;
            for (int j = 0; j < used; ++j) {
                const Rgb c = colours[order[j]];
                newIndex[order[j]] = uint8_t(j);
                p.r[j] = c.r;
                p.g[j] = c.g;
                p.b[j] = c.b;
            }
            for (int32_t y = 0; y < height; ++y) {
                const uint8_t* row = Row(src, y);
                uint8_t* o = Row(out, y);
                for (int32_t x = 0; x < width; ++x) o[x] = newIndex[colour::IndexedValue(src, row, x)];
            }
            WritePalette(out, p);
            return kGeometryDone;
        }
    }

    Cell* hist = static_cast<Cell*>(AllocArray(kCells, sizeof(Cell)));
    if (!hist) {
        FreeBitmap(out);
        return kGeometryNoMemory;
    }
    Quantizer q(hist, wanted);
    if (trueColour) {
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* in = reader->RgbRow(y);
            for (int32_t x = 0; x < width; ++x, in += 3) q.Count(in[0], in[1], in[2]);
        }
    } else {
        for (int v = 0; v < 256; ++v)
            if (counts[v]) q.Count(colours[v].r, colours[v].g, colours[v].b, counts[v]);
    }
    if (!q.ChoosePalette()) {
        std::free(hist);
        FreeBitmap(out);
        return kGeometryNoMemory;
    }

    if (!trueColour) {
        uint8_t map[256] = {};
        for (int v = 0; v < 256; ++v)
            if (counts[v]) map[v] = uint8_t(q.Map(colours[v].r, colours[v].g, colours[v].b));
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = Row(src, y);
            uint8_t* o = Row(out, y);
            for (int32_t x = 0; x < width; ++x) o[x] = map[colour::IndexedValue(src, row, x)];
        }
    } else if (!dither) {
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* in = reader->RgbRow(y);
            uint8_t* o = Row(out, y);
            for (int32_t x = 0; x < width; ++x, in += 3) o[x] = uint8_t(q.Map(in[0], in[1], in[2]));
        }
    } else {
        // Entry x + 1 holds the errors (in sixteenths) pushed to pixel x of
        // the next row; entries 0 and width + 1 stand beside the row's ends.
        int16_t* errors = static_cast<int16_t*>(AllocArray(size_t(width) + 2, 3 * sizeof(int16_t)));
        if (!errors) {
            std::free(hist);
            FreeBitmap(out);
            return kGeometryNoMemory;
        }
        const ErrorLimit limit;
        const Palette& p = q.palette();
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* in = reader->RgbRow(y);
            uint8_t* o = Row(out, y);
            const bool leftToRight = (y & 1) == 0;
            const int dir = leftToRight ? 1 : -1;
            int16_t* e = leftToRight ? errors : errors + size_t(width + 1) * 3;  // entry before this pixel's
            if (!leftToRight) {
                in += size_t(width - 1) * 3;
                o += width - 1;
            }
            int32_t cur[3] = {0, 0, 0}, below[3] = {0, 0, 0}, belowPrev[3] = {0, 0, 0};
            for (int32_t n = 0; n < width; ++n) {
                int v[3];
                for (int k = 0; k < 3; ++k) {
                    // Arithmetic shift: the sum may be negative.
                    const int32_t carried = (cur[k] + e[dir * 3 + k] + 8) >> 4;
                    v[k] = Clamp255(in[k] + limit(carried));
                }
                const int index = q.Map(v[0], v[1], v[2]);
                *o = uint8_t(index);
                const int chosen[3] = {p.r[index], p.g[index], p.b[index]};
                for (int k = 0; k < 3; ++k) {
                    const int32_t err = v[k] - chosen[k];
                    e[k] = int16_t(belowPrev[k] + 3 * err);
                    belowPrev[k] = below[k] + 5 * err;
                    below[k] = err;
                    cur[k] = 7 * err;
                }
                in += 3 * dir;
                o += dir;
                e += 3 * dir;
            }
            for (int k = 0; k < 3; ++k) e[k] = int16_t(belowPrev[k]);
        }
        std::free(errors);
    }
    WritePalette(out, q.palette());
    std::free(hist);
    return kGeometryDone;
}

int QuantizeBitmap(Bitmap* src, Bitmap* dst, int colours, int dither) {
    if (colours < 2 || colours > 256) return kGeometryBadSize;
    int rc = CheckSource(src, nullptr);
    if (rc != kGeometryDone) return rc;
    Bitmap reduced{};
    const Bitmap* from = src;
    if (src->pixelType != kPixelBilevel && src->bitsPerSample > 8) {
        rc = ReduceSampleDepth(src, &reduced);
        if (rc != kGeometryDone) return rc;
        from = &reduced;
    }
    Bitmap out{};
    rc = colour::QuantizeToNew(from, colours, dither != 0, &out);
    FreeBitmap(&reduced);
    if (rc != kGeometryDone) return rc;
    Deliver(src, dst, &out);
    return kGeometryDone;
}
