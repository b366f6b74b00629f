// Transition plans for any placements: every operation lies in the union and
// the visible area and copies from inside the canvas, no step plans more than
// the window can show, and the effects that reveal in place draw exactly the
// area they must (each pixel once): the visible canvas, or for the dissolves
// the visible union.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "display/transition.h"

namespace {

int32_t Word(const uint8_t* data, size_t size, size_t i) {
    uint32_t v = 0;
    for (size_t b = 0; b < 4; ++b) {
        if (4 * i + b < size) v |= uint32_t(data[4 * i + b]) << (8 * b);
    }
    return int32_t(v);
}

int64_t Overlap(int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
    return std::max<int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TransitionRect newPlace = {Word(data, size, 0), Word(data, size, 1), Word(data, size, 2),
                                     Word(data, size, 3)};
    const TransitionRect oldPlace = {Word(data, size, 4), Word(data, size, 5), Word(data, size, 6),
                                     Word(data, size, 7)};
    // Windows no larger than a desktop screen; effects and step counts a
    // little beyond the valid ones.
    const int32_t clientWidth = int32_t(uint32_t(Word(data, size, 8)) % 1025);
    const int32_t clientHeight = int32_t(uint32_t(Word(data, size, 9)) % 1025);
    const int effect = int(uint32_t(Word(data, size, 10)) % 25) - 1;
    const int steps = int(uint32_t(Word(data, size, 11)) % 402) - 1;

    const TransitionGeometry g = TransitionLayout(effect, newPlace, oldPlace, clientWidth, clientHeight);
    const int64_t left = std::max<int64_t>(g.unionLeft, g.visible.x);
    const int64_t top = std::max<int64_t>(g.unionTop, g.visible.y);
    const int64_t right = std::min<int64_t>(g.unionRight, int64_t{g.visible.x} + g.visible.width);
    const int64_t bottom = std::min<int64_t>(g.unionBottom, int64_t{g.visible.y} + g.visible.height);
    const int64_t cx = g.canvasX, cy = g.canvasY;
    // Dissolve blocks (a copy and up to four fills each), blinds or bands.
    const int64_t limit =
        5 * (int64_t{clientWidth} / 10 + 2) * (int64_t{clientHeight} / 10 + 2) + 2 * clientHeight + 64;

    const int count = TransitionStepCount(effect, g, steps);
    std::vector<TransitionOp> ops;
    int64_t copied = 0, drawn = 0;
    for (int i = 0; i < count; ++i) {
        PlanTransitionStep(effect, g, steps, i, &ops);
        if (int64_t(ops.size()) > limit) std::abort();
        for (const TransitionOp& op : ops) {
            const int64_t x0 = op.dest.x, y0 = op.dest.y;
            const int64_t x1 = x0 + op.dest.width, y1 = y0 + op.dest.height;
            if (x1 <= x0 || y1 <= y0) std::abort();
            if (x0 < left || y0 < top || x1 > right || y1 > bottom) std::abort();
            const int64_t area = (x1 - x0) * (y1 - y0);
            if (op.kind == TransitionOpKind::kCopy) {
                if (op.sourceX < 0 || op.sourceY < 0 || op.sourceX + (x1 - x0) > g.canvasWidth ||
                    op.sourceY + (y1 - y0) > g.canvasHeight) {
                    std::abort();
                }
                copied += area;
            }
            drawn += area;
        }
    }
    if (count == 0) return 0;
    const int64_t canvasShown =
        Overlap(cx, cx + g.canvasWidth, left, right) * Overlap(cy, cy + g.canvasHeight, top, bottom);
    const bool inPlace = effect != 0 && effect != 1 && effect != 10 && effect != 15 && effect != 16;
    if (inPlace && (copied != canvasShown || drawn != copied)) std::abort();
    if ((effect == 15 || effect == 16) && (copied != canvasShown || drawn != (right - left) * (bottom - top))) {
        std::abort();
    }
    return 0;
}
