// Transition plans and the shuffled effect order. See transition.h.
#include "display/transition.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

// Block size of the dissolves and band height of effect 10.
constexpr int64_t kBlockSize = 10;
constexpr int64_t kBandHeight = 10;

// Half-open box in 64 bits, so that no sum of 32-bit coordinates wraps.
struct Box {
    int64_t left;
    int64_t top;
    int64_t right;
    int64_t bottom;

    bool Empty() const { return right <= left || bottom <= top; }
};

Box MakeBox(int64_t x, int64_t y, int64_t width, int64_t height) { return {x, y, x + width, y + height}; }

Box Intersect(const Box& a, const Box& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

using Boxes = std::vector<Box>;

// Appends the parts of a outside b (at most four, none overlapping).
void AppendDifference(const Box& a, const Box& b, Boxes* out) {
    const Box cut = Intersect(a, b);
    if (cut.Empty()) {
        if (!a.Empty()) out->push_back(a);
        return;
    }
    const Box pieces[4] = {
        {a.left, a.top, a.right, cut.top},           // above
        {a.left, cut.bottom, a.right, a.bottom},     // below
        {a.left, cut.top, cut.left, cut.bottom},     // left
        {cut.right, cut.top, a.right, cut.bottom},   // right
    };
    for (const Box& piece : pieces) {
        if (!piece.Empty()) out->push_back(piece);
    }
}

// pieces -= b
void Subtract(Boxes* pieces, const Box& b) {
    Boxes rest;
    for (const Box& piece : *pieces) AppendDifference(piece, b, &rest);
    pieces->swap(rest);
}

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// A box that lies within the 32-bit bounds of a plan.
TransitionRect ToRect(const Box& b) {
    return {Saturate(b.left), Saturate(b.top), Saturate(b.right - b.left), Saturate(b.bottom - b.top)};
}

// floor(a * b / c) for a, b >= 0 and c > 0, without overflow for any a below
// 2^62 and b below 2^31.
int64_t MulDiv(int64_t a, int64_t b, int64_t c) { return (a / c) * b + (a % c) * b / c; }

// floor(a / b) for b > 0.
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

bool IsShortEffect(int effect) { return effect >= 17 && effect < kTransitionEffectCount; }

// The revealed part of a size at a step: size * i / (n - 1) for effects 0 to
// 16 (all of it at the last step), size * i / n for effects 17 to 22.
int64_t Revealed(int effect, int64_t size, int steps, int index) {
    if (IsShortEffect(effect)) return MulDiv(size, index, steps);
    if (steps <= 1) return size;
    return MulDiv(size, index, steps - 1);
}

// What a run of one effect has in common across steps.
struct Frame {
    int effect;
    int steps;
    Box canvas;  // on the window
    Box unionBox;
    Box bounds;  // union and visible area: nothing is drawn outside
    int64_t width;
    int64_t height;
    std::vector<TransitionOp>* ops;
};

// A copy of the canvas part that lands on dest, the canvas point (sourceX,
// sourceY) going to dest's top-left corner; clipped to the bounds and to the
// canvas itself.
void EmitCopy(const Frame& f, const Box& dest, int64_t sourceX, int64_t sourceY) {
    const int64_t dx = dest.left - sourceX;  // window x of canvas x 0 for this copy
    const int64_t dy = dest.top - sourceY;
    const Box clipped = Intersect(Intersect(dest, f.bounds), MakeBox(dx, dy, f.width, f.height));
    if (clipped.Empty()) return;
    f.ops->push_back(
        {TransitionOpKind::kCopy, ToRect(clipped), Saturate(clipped.left - dx), Saturate(clipped.top - dy)});
}

// A copy of the canvas onto its own place.
void EmitReveal(const Frame& f, const Box& dest) {
    EmitCopy(f, dest, dest.left - f.canvas.left, dest.top - f.canvas.top);
}

void EmitFill(const Frame& f, const Box& dest) {
    const Box clipped = Intersect(dest, f.bounds);
    if (clipped.Empty()) return;
    f.ops->push_back({TransitionOpKind::kFill, ToRect(clipped), 0, 0});
}

// Effects 0 and 1: the picture travels from beyond the window's left (top)
// edge to its place, over cx + (union width - canvas width) / 2 + canvas
// width pixels, evenly spread over the steps; the strip it leaves behind is
// filled with the background.
void PlanSlide(const Frame& f, int index, bool vertical) {
    const int64_t place = vertical ? f.canvas.top : f.canvas.left;
    const int64_t size = vertical ? f.height : f.width;
    const int64_t unionStart = vertical ? f.unionBox.top : f.unionBox.left;
    const int64_t unionSize = vertical ? f.unionBox.bottom - f.unionBox.top : f.unionBox.right - f.unionBox.left;
    const int64_t travel = std::max<int64_t>(0, place + (unionSize - size) / 2 + size);
    auto position = [&](int i) {
        return place - travel + (f.steps <= 1 ? travel : MulDiv(travel, i, f.steps - 1));
    };
    const int64_t now = position(index);
    const int64_t behind = index == 0 ? unionStart : position(index - 1);
    if (vertical) {
        EmitCopy(f, MakeBox(f.canvas.left, now, f.width, f.height), 0, 0);
        EmitFill(f, {f.canvas.left, behind, f.canvas.right, now});
    } else {
        EmitCopy(f, MakeBox(now, f.canvas.top, f.width, f.height), 0, 0);
        EmitFill(f, {behind, f.canvas.top, now, f.canvas.bottom});
    }
}

// Effect 10: bands of 10 rows (one band when the canvas is lower) slide in,
// odd bands from the left and even bands from the right. Their uncovered
// parts are filled at the first step; later steps uncover nothing new.
void PlanBands(const Frame& f, int index) {
    const int64_t revealed = Revealed(f.effect, f.width, f.steps, index);
    const int64_t bandHeight = f.height < kBandHeight ? f.height : kBandHeight;
    const int64_t first = std::max<int64_t>(0, FloorDiv(f.bounds.top - f.canvas.top, bandHeight));
    const int64_t last = std::min(FloorDiv(f.bounds.bottom - 1 - f.canvas.top, bandHeight),
                                  (f.height - 1) / bandHeight);
    for (int64_t band = first; band <= last; ++band) {
        const int64_t y = band * bandHeight;
        const int64_t top = f.canvas.top + y;
        const int64_t bottom = f.canvas.top + std::min(f.height, y + bandHeight);
        if (band % 2 == 1) {
            EmitCopy(f, {f.canvas.left, top, f.canvas.left + revealed, bottom}, f.width - revealed, y);
            if (index == 0) EmitFill(f, {f.canvas.left + revealed, top, f.canvas.right, bottom});
        } else {
            EmitCopy(f, {f.canvas.right - revealed, top, f.canvas.right, bottom}, 0, y);
            if (index == 0) EmitFill(f, {f.canvas.left, top, f.canvas.right - revealed, bottom});
        }
    }
}

// One block of a dissolve: its part on the canvas is copied, the rest filled.
void EmitBlock(const Frame& f, int64_t column, int64_t row) {
    const Box block = Intersect(MakeBox(f.unionBox.left + column * kBlockSize, f.unionBox.top + row * kBlockSize,
                                        kBlockSize, kBlockSize),
                                f.bounds);
    if (block.Empty()) return;
    Boxes outside;
    AppendDifference(block, f.canvas, &outside);
    for (const Box& part : outside) EmitFill(f, part);
    EmitReveal(f, Intersect(block, f.canvas));
}

// Effects 15 and 16: the union cut into 10 x 10 blocks, ((right - left + 10)
// / 10) columns by ((bottom - top + 10) / 10) rows, numbered in row order (15)
// or column order (16); step i does the blocks numbered from total * i /
// (n - 1) up to, not including, total * (i + 1) / (n - 1), and never past the
// last block, so every block is done exactly once. Only blocks in the bounds
// are looked at, so a huge union costs no more than the window.
void PlanDissolve(const Frame& f, int index) {
    const int64_t columns = std::max<int64_t>(0, f.unionBox.right - f.unionBox.left + kBlockSize) / kBlockSize;
    const int64_t rows = std::max<int64_t>(0, f.unionBox.bottom - f.unionBox.top + kBlockSize) / kBlockSize;
    const int64_t total = columns * rows;  // below 2^57
    if (total == 0 || f.bounds.Empty()) return;
    const int64_t divisor = std::max(1, f.steps - 1);
    const int64_t begin = MulDiv(total, index, divisor);
    const int64_t end = std::min(total, MulDiv(total, int64_t{index} + 1, divisor));
    if (begin >= end) return;

    // Blocks that can touch the bounds.
    const int64_t firstColumn = std::max<int64_t>(0, FloorDiv(f.bounds.left - f.unionBox.left, kBlockSize));
    const int64_t lastColumn = std::min(columns - 1, FloorDiv(f.bounds.right - 1 - f.unionBox.left, kBlockSize));
    const int64_t firstRow = std::max<int64_t>(0, FloorDiv(f.bounds.top - f.unionBox.top, kBlockSize));
    const int64_t lastRow = std::min(rows - 1, FloorDiv(f.bounds.bottom - 1 - f.unionBox.top, kBlockSize));

    const bool rowOrder = f.effect == 15;
    const int64_t lineLength = rowOrder ? columns : rows;  // blocks per line of the numbering
    const int64_t lineFirst = rowOrder ? firstRow : firstColumn;
    const int64_t lineLast = rowOrder ? lastRow : lastColumn;
    const int64_t cellFirst = rowOrder ? firstColumn : firstRow;
    const int64_t cellLast = rowOrder ? lastColumn : lastRow;
    for (int64_t line = std::max(begin / lineLength, lineFirst); line <= std::min((end - 1) / lineLength, lineLast);
         ++line) {
        const int64_t from = std::max(line == begin / lineLength ? begin % lineLength : 0, cellFirst);
        const int64_t to = std::min(line == (end - 1) / lineLength ? (end - 1) % lineLength : lineLength - 1, cellLast);
        for (int64_t cell = from; cell <= to; ++cell) {
            if (rowOrder) {
                EmitBlock(f, cell, line);
            } else {
                EmitBlock(f, line, cell);
            }
        }
    }
}

// Effects 17 and 18: at step i the one-pixel rows (columns) i, i + n, i + 2n,
// ... of the canvas. The closing step finds nothing left.
void PlanBlinds(const Frame& f, int index, bool columns) {
    if (index >= f.steps) return;
    const int64_t size = columns ? f.width : f.height;
    const int64_t origin = columns ? f.canvas.left : f.canvas.top;
    const int64_t start = std::max<int64_t>(0, (columns ? f.bounds.left : f.bounds.top) - origin);
    const int64_t stop = std::min(size, (columns ? f.bounds.right : f.bounds.bottom) - origin);
    int64_t line = index;
    if (start > line) line += (start - line + f.steps - 1) / f.steps * f.steps;
    for (; line < stop; line += f.steps) {
        if (columns) {
            EmitReveal(f, {origin + line, f.canvas.top, origin + line + 1, f.canvas.bottom});
        } else {
            EmitReveal(f, {f.canvas.left, origin + line, f.canvas.right, origin + line + 1});
        }
    }
}

// What the effects that uncover the canvas in place (2 to 9, 11 to 14, 19 to
// 22) have revealed by a step, in canvas coordinates. Each effect's regions
// grow: every step's region holds the one before.
void RevealedRegion(const Frame& f, int index, Boxes* out) {
    out->clear();
    const int64_t cw = f.width;
    const int64_t ch = f.height;
    if (IsShortEffect(f.effect) && index >= f.steps) {
        out->push_back({0, 0, cw, ch});  // the closing step completes the canvas
        return;
    }
    const int64_t w = Revealed(f.effect, cw, f.steps, index);
    const int64_t h = Revealed(f.effect, ch, f.steps, index);
    // Two halves of a revealed size that add up to it, so odd sizes close.
    const int64_t wl = w / 2, wr = w - w / 2;
    const int64_t ht = h / 2, hb = h - h / 2;
    switch (f.effect) {
        case 2: out->push_back({0, 0, w, ch}); break;
        case 3: out->push_back({cw - w, 0, cw, ch}); break;
        case 4: out->push_back({0, 0, cw, h}); break;
        case 5: out->push_back({0, ch - h, cw, ch}); break;
        case 6:
            out->push_back({0, 0, wl, ch});
            out->push_back({cw - wr, 0, cw, ch});
            break;
        case 7: out->push_back(MakeBox((cw - w) / 2, 0, w, ch)); break;
        case 8:
            out->push_back({0, 0, cw, ht});
            out->push_back({0, ch - hb, cw, ch});
            break;
        case 9: out->push_back(MakeBox(0, (ch - h) / 2, cw, h)); break;
        case 11: out->push_back({cw - w, 0, cw, h}); break;
        case 12: out->push_back({cw - w, ch - h, cw, ch}); break;
        case 13: out->push_back({0, 0, w, h}); break;
        case 14: out->push_back({0, ch - h, w, ch}); break;
        case 19:
            out->push_back({0, 0, cw, ht});
            out->push_back({0, ch - hb, cw, ch});
            out->push_back({0, 0, wl, ch});
            out->push_back({cw - wr, 0, cw, ch});
            break;
        case 20: out->push_back(MakeBox((cw - w) / 2, (ch - h) / 2, w, h)); break;
        case 21:
            out->push_back({0, 0, wl, ht});
            out->push_back({cw - wr, 0, cw, ht});
            out->push_back({0, ch - hb, wl, ch});
            out->push_back({cw - wr, ch - hb, cw, ch});
            break;
        case 22:
            out->push_back(MakeBox(0, (ch - h) / 2, cw, h));
            out->push_back(MakeBox((cw - w) / 2, 0, w, ch));
            break;
        default: break;
    }
}

// Draws what a step reveals beyond the step before, each pixel once.
void PlanReveal(const Frame& f, int index) {
    Boxes now, before, drawn;
    RevealedRegion(f, index, &now);
    if (index > 0) RevealedRegion(f, index - 1, &before);
    for (const Box& part : now) {
        Boxes pieces;
        if (!part.Empty()) pieces.push_back(part);
        for (const Box& old : before) Subtract(&pieces, old);
        for (const Box& done : drawn) Subtract(&pieces, done);
        for (const Box& piece : pieces) {
            EmitReveal(f, {f.canvas.left + piece.left, f.canvas.top + piece.top, f.canvas.left + piece.right,
                           f.canvas.top + piece.bottom});
            drawn.push_back(piece);
        }
    }
}

}  // namespace

int TransitionStepsFor(int effect) {
    if (effect < 0 || effect >= kTransitionEffectCount) return 0;
    return IsShortEffect(effect) ? kTransitionShortSteps : kTransitionLongSteps;
}

TransitionGeometry TransitionLayout(int effect, const TransitionRect& newPlace, const TransitionRect& oldPlace,
                                    int32_t clientWidth, int32_t clientHeight) {
    const int64_t newWidth = std::max<int32_t>(0, newPlace.width);
    const int64_t newHeight = std::max<int32_t>(0, newPlace.height);
    const int64_t oldWidth = std::max<int32_t>(0, oldPlace.width);
    const int64_t oldHeight = std::max<int32_t>(0, oldPlace.height);
    const int64_t areaWidth = std::max<int32_t>(0, clientWidth);
    const int64_t areaHeight = std::max<int32_t>(0, clientHeight);

    Box canvas;
    if (effect == 0 || effect == 1) {
        canvas = MakeBox(newPlace.x, newPlace.y, newWidth, newHeight);
    } else {
        const int64_t width = std::max(newWidth, oldWidth);
        const int64_t height = std::max(newHeight, oldHeight);
        canvas = MakeBox((areaWidth - width) / 2, (areaHeight - height) / 2, width, height);
    }
    TransitionGeometry g;
    g.canvasX = Saturate(canvas.left);
    g.canvasY = Saturate(canvas.top);
    g.canvasWidth = Saturate(canvas.right - canvas.left);
    g.canvasHeight = Saturate(canvas.bottom - canvas.top);
    g.unionLeft = Saturate(std::min<int64_t>(canvas.left, oldPlace.x));
    g.unionTop = Saturate(std::min<int64_t>(canvas.top, oldPlace.y));
    g.unionRight = Saturate(std::max<int64_t>(oldPlace.x + oldWidth, canvas.right));
    g.unionBottom = Saturate(std::max<int64_t>(oldPlace.y + oldHeight, canvas.bottom));
    g.visible = {0, 0, Saturate(areaWidth), Saturate(areaHeight)};
    return g;
}

int TransitionStepCount(int effect, const TransitionGeometry& geometry, int steps) {
    if (effect < 0 || effect >= kTransitionEffectCount || steps < 1) return 0;
    if (geometry.canvasWidth <= 0 || geometry.canvasHeight <= 0) return 0;
    return IsShortEffect(effect) ? steps + 1 : steps;
}

bool TransitionStepWaits(int effect, int steps, int index) {
    return index >= 0 && index < steps && effect >= 0 && effect < kTransitionEffectCount;
}

void PlanTransitionStep(int effect, const TransitionGeometry& geometry, int steps, int index,
                        std::vector<TransitionOp>* ops) {
    ops->clear();
    if (index < 0 || index >= TransitionStepCount(effect, geometry, steps)) return;
    Frame f;
    f.effect = effect;
    f.steps = steps;
    f.width = geometry.canvasWidth;
    f.height = geometry.canvasHeight;
    f.canvas = MakeBox(geometry.canvasX, geometry.canvasY, f.width, f.height);
    f.unionBox = {geometry.unionLeft, geometry.unionTop, geometry.unionRight, geometry.unionBottom};
    f.bounds = Intersect(f.unionBox, MakeBox(geometry.visible.x, geometry.visible.y, geometry.visible.width,
                                             geometry.visible.height));
    f.ops = ops;
    if (f.bounds.Empty()) return;
    switch (effect) {
        case 0: PlanSlide(f, index, false); break;
        case 1: PlanSlide(f, index, true); break;
        case 10: PlanBands(f, index); break;
        case 15:
        case 16: PlanDissolve(f, index); break;
        case 17: PlanBlinds(f, index, false); break;
        case 18: PlanBlinds(f, index, true); break;
        default: PlanReveal(f, index); break;
    }
}

// ---------------------------------------------------------------------------
// Shuffled order

int32_t TransitionRandomFromRand(void*) { return std::rand(); }

void BuildTransitionShuffle(TransitionShuffle* shuffle, TransitionRandom random, void* user) {
    for (int i = 0; i < kTransitionEffectCount; ++i) shuffle->pairs[i] = {i, random(user)};
    std::stable_sort(std::begin(shuffle->pairs), std::end(shuffle->pairs),
                     [](const TransitionPair& a, const TransitionPair& b) { return a.key < b.key; });
    shuffle->built = true;
}

int NextTransitionEffect(TransitionShuffle* shuffle, uint32_t* position, TransitionRandom random, void* user) {
    if (!shuffle->built) BuildTransitionShuffle(shuffle, random, user);
    const uint32_t at = *position < static_cast<uint32_t>(kTransitionEffectCount) ? *position : 0;
    *position = at + 1 == static_cast<uint32_t>(kTransitionEffectCount) ? 0 : at + 1;
    return shuffle->pairs[at].effect;
}
