// Transition plans, run on a simulated window: every effect, on canvases of
// the screen's size, odd sizes, a single pixel and a zoomed picture far
// larger than the window, with the usual and with odd numbers of steps.
#include "display/transition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int64_t kOld = -1;         // the old picture, before anything is drawn
constexpr int64_t kBackground = -2;  // filled with the background colour

bool IsMoving(int effect) { return effect == 0 || effect == 1 || effect == 10; }
bool IsDissolve(int effect) { return effect == 15 || effect == 16; }

// The window's visible area, each pixel holding what was drawn there: the
// canvas index (y * width + x) of a copied canvas pixel, kOld or kBackground.
class Window {
public:
    explicit Window(const TransitionGeometry& g)
        : g_(g),
          cells_(size_t(g.visible.width) * g.visible.height, kOld),
          draws_(cells_.size(), 0),
          drawnAt_(cells_.size(), -1) {}

    // Applies one step's operations, checking each against the geometry.
    void Apply(const std::vector<TransitionOp>& ops, int step) {
        for (const TransitionOp& op : ops) {
            const TransitionRect& d = op.dest;
            ASSERT_GT(d.width, 0);
            ASSERT_GT(d.height, 0);
            // Inside the union and the visible area.
            ASSERT_GE(d.x, g_.unionLeft);
            ASSERT_GE(d.y, g_.unionTop);
            ASSERT_LE(int64_t{d.x} + d.width, g_.unionRight);
            ASSERT_LE(int64_t{d.y} + d.height, g_.unionBottom);
            ASSERT_GE(d.x, g_.visible.x);
            ASSERT_GE(d.y, g_.visible.y);
            ASSERT_LE(int64_t{d.x} + d.width, int64_t{g_.visible.x} + g_.visible.width);
            ASSERT_LE(int64_t{d.y} + d.height, int64_t{g_.visible.y} + g_.visible.height);
            if (op.kind == TransitionOpKind::kCopy) {
                // Copied only from inside the canvas.
                ASSERT_GE(op.sourceX, 0);
                ASSERT_GE(op.sourceY, 0);
                ASSERT_LE(int64_t{op.sourceX} + d.width, g_.canvasWidth);
                ASSERT_LE(int64_t{op.sourceY} + d.height, g_.canvasHeight);
            }
            for (int y = d.y; y < d.y + d.height; ++y) {
                for (int x = d.x; x < d.x + d.width; ++x) {
                    const int64_t value = op.kind == TransitionOpKind::kFill
                                              ? kBackground
                                              : int64_t{op.sourceY + (y - d.y)} * g_.canvasWidth + op.sourceX +
                                                    (x - d.x);
                    Set(x, y, value, step);
                }
            }
        }
    }

    // Canvas pixels showing themselves.
    int64_t correct() const { return correct_; }
    // Pixels of the union showing some canvas pixel.
    int64_t picture() const { return picture_; }

    bool InCanvas(int x, int y) const {
        return x >= g_.canvasX && x - int64_t{g_.canvasX} < g_.canvasWidth && y >= g_.canvasY &&
               y - int64_t{g_.canvasY} < g_.canvasHeight;
    }
    bool InUnion(int x, int y) const {
        return x >= g_.unionLeft && x < g_.unionRight && y >= g_.unionTop && y < g_.unionBottom;
    }
    int64_t Own(int x, int y) const {
        return (int64_t{y} - g_.canvasY) * g_.canvasWidth + (int64_t{x} - g_.canvasX);
    }
    int64_t At(int x, int y) const { return cells_[Index(x, y)]; }
    int Draws(int x, int y) const { return draws_[Index(x, y)]; }
    int DrawnAt(int x, int y) const { return drawnAt_[Index(x, y)]; }

    template <typename F>
    void ForEach(F f) const {
        for (int y = g_.visible.y; y < g_.visible.y + g_.visible.height; ++y) {
            for (int x = g_.visible.x; x < g_.visible.x + g_.visible.width; ++x) f(x, y);
        }
    }

private:
    size_t Index(int x, int y) const {
        return size_t(y - g_.visible.y) * g_.visible.width + size_t(x - g_.visible.x);
    }
    void Set(int x, int y, int64_t value, int step) {
        const size_t i = Index(x, y);
        const bool canvas = InCanvas(x, y);
        if (canvas && cells_[i] == Own(x, y)) --correct_;
        if (cells_[i] >= 0) --picture_;
        cells_[i] = value;
        if (canvas && value == Own(x, y)) ++correct_;
        if (value >= 0) ++picture_;
        ++draws_[i];
        drawnAt_[i] = step;
    }

    TransitionGeometry g_;
    std::vector<int64_t> cells_;
    std::vector<int> draws_;
    std::vector<int> drawnAt_;
    int64_t correct_ = 0;
    int64_t picture_ = 0;
};

TransitionGeometry Geometry(int32_t cx, int32_t cy, int32_t cw, int32_t ch, int32_t ul, int32_t ut, int32_t ur,
                            int32_t ub, TransitionRect visible) {
    return {cx, cy, cw, ch, ul, ut, ur, ub, visible};
}

struct Case {
    const char* name;
    TransitionGeometry geometry;
};

// The union always holds the canvas, as the layout makes it.
const Case kCases[] = {
    {"screen", Geometry(0, 0, 240, 320, 0, 0, 240, 320, {0, 0, 240, 320})},
    {"odd", Geometry(3, 5, 7, 13, 0, 0, 20, 31, {0, 0, 20, 31})},
    {"pixel", Geometry(2, 1, 1, 1, 0, 0, 4, 3, {0, 0, 4, 3})},
    {"thin", Geometry(0, 0, 3, 47, 0, 0, 3, 47, {0, 0, 3, 47})},
    // Old picture scrolled up and left, partly off the window.
    {"scrolled", Geometry(1, 2, 239, 317, -25, -17, 245, 330, {0, 0, 240, 320})},
    // A canvas and union far larger than the window.
    {"zoomed", Geometry(-50000, -40001, 100003, 80005, -60000, -50000, 60000, 50000, {0, 0, 240, 320})},
};

// Runs every step, checking the run-wide properties after each one.
void RunAndCheck(int effect, const TransitionGeometry& g, int steps, Window* window) {
    const int count = TransitionStepCount(effect, g, steps);
    ASSERT_EQ(count, effect >= 17 ? steps + 1 : steps);
    std::vector<TransitionOp> ops;
    int64_t correct = 0, picture = 0;
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(TransitionStepWaits(effect, steps, i), i < steps) << "step " << i;
        PlanTransitionStep(effect, g, steps, i, &ops);
        ASSERT_LE(ops.size(), 4000u) << "step " << i;  // bounded by the window, not the picture
        window->Apply(ops, i);
        if (testing::Test::HasFatalFailure()) return;
        // The revealed area grows (for the moving effects, the picture's share
        // of the union).
        if (IsMoving(effect)) {
            EXPECT_GE(window->picture(), picture) << "step " << i;
        } else {
            EXPECT_GE(window->correct(), correct) << "step " << i;
        }
        correct = window->correct();
        picture = window->picture();
    }
}

class EveryEffect : public testing::TestWithParam<int> {};

TEST_P(EveryEffect, EndsWithTheNewPictureShownAndDrawsWithinBounds) {
    const int effect = GetParam();
    for (const Case& c : kCases) {
        // Odd step counts (one, two, more steps than pixels) on the small windows only.
        std::vector<int> counts = {TransitionStepsFor(effect), 7};
        if (int64_t{c.geometry.visible.width} * c.geometry.visible.height < 10000) {
            counts.insert(counts.end(), {1, 2, 301});
        }
        for (int steps : counts) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(steps) + " steps");
            const TransitionGeometry& g = c.geometry;
            Window window(g);
            RunAndCheck(effect, g, steps, &window);
            if (HasFatalFailure()) return;

            int64_t wrong = 0, notOnce = 0, oldLeft = 0;
            window.ForEach([&](int x, int y) {
                if (window.InCanvas(x, y)) {
                    if (window.At(x, y) != window.Own(x, y)) ++wrong;
                    // In-place effects draw each canvas pixel exactly once.
                    if (!IsMoving(effect) && !IsDissolve(effect) && window.Draws(x, y) != 1) ++notOnce;
                } else if (IsDissolve(effect) && window.InUnion(x, y)) {
                    if (window.At(x, y) != kBackground) ++oldLeft;
                }
                // The dissolves draw each pixel of the union exactly once.
                if (IsDissolve(effect) && window.InUnion(x, y) && window.Draws(x, y) != 1) ++notOnce;
                if (!window.InUnion(x, y)) {
                    EXPECT_EQ(window.Draws(x, y), 0);
                }
            });
            EXPECT_EQ(wrong, 0) << "canvas pixels not showing the new picture";
            EXPECT_EQ(notOnce, 0) << "pixels drawn other than once";
            EXPECT_EQ(oldLeft, 0) << "union pixels outside the canvas not cleared";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Transitions, EveryEffect, testing::Range(0, kTransitionEffectCount));

// ---------------------------------------------------------------------------
// Where each in-place effect reveals, told independently of the plans: the
// canvas pixel (x, y) of a cw x ch canvas shows after step i when the
// predicate holds for the revealed width w and height h of that step.
using Shape = std::function<bool(int64_t x, int64_t y, int64_t w, int64_t h, int64_t cw, int64_t ch)>;

struct ShapeCase {
    int effect;
    Shape shown;
};

bool Within(int64_t v, int64_t from, int64_t size) { return v >= from && v < from + size; }

const ShapeCase kShapes[] = {
    {2, [](auto x, auto, auto w, auto, auto, auto) { return x < w; }},
    {3, [](auto x, auto, auto w, auto, auto cw, auto) { return x >= cw - w; }},
    {4, [](auto, auto y, auto, auto h, auto, auto) { return y < h; }},
    {5, [](auto, auto y, auto, auto h, auto, auto ch) { return y >= ch - h; }},
    {6, [](auto x, auto, auto w, auto, auto cw, auto) { return x < w / 2 || x >= cw - (w - w / 2); }},
    {7, [](auto x, auto, auto w, auto, auto cw, auto) { return Within(x, (cw - w) / 2, w); }},
    {8, [](auto, auto y, auto, auto h, auto, auto ch) { return y < h / 2 || y >= ch - (h - h / 2); }},
    {9, [](auto, auto y, auto, auto h, auto, auto ch) { return Within(y, (ch - h) / 2, h); }},
    {11, [](auto x, auto y, auto w, auto h, auto cw, auto) { return x >= cw - w && y < h; }},
    {12, [](auto x, auto y, auto w, auto h, auto cw, auto ch) { return x >= cw - w && y >= ch - h; }},
    {13, [](auto x, auto y, auto w, auto h, auto, auto) { return x < w && y < h; }},
    {14, [](auto x, auto y, auto w, auto h, auto, auto ch) { return x < w && y >= ch - h; }},
    {19, [](auto x, auto y, auto w, auto h, auto cw, auto ch) {
         return x < w / 2 || x >= cw - (w - w / 2) || y < h / 2 || y >= ch - (h - h / 2);
     }},
    {20, [](auto x, auto y, auto w, auto h, auto cw, auto ch) {
         return Within(x, (cw - w) / 2, w) && Within(y, (ch - h) / 2, h);
     }},
    {21, [](auto x, auto y, auto w, auto h, auto cw, auto ch) {
         return (x < w / 2 || x >= cw - (w - w / 2)) && (y < h / 2 || y >= ch - (h - h / 2));
     }},
    {22, [](auto x, auto y, auto w, auto h, auto cw, auto ch) {
         return Within(x, (cw - w) / 2, w) || Within(y, (ch - h) / 2, h);
     }},
};

TEST(TransitionShapes, InPlaceEffectsRevealWhereTheySay) {
    // Odd sizes so that every halving rounds.
    const TransitionGeometry g = Geometry(4, 6, 37, 29, 0, 0, 45, 41, {0, 0, 45, 41});
    for (const ShapeCase& s : kShapes) {
        const int steps = TransitionStepsFor(s.effect);
        Window window(g);
        std::vector<TransitionOp> ops;
        for (int i = 0; i < steps; ++i) {
            PlanTransitionStep(s.effect, g, steps, i, &ops);
            window.Apply(ops, i);
            const int64_t w = s.effect >= 17 ? 37 * i / steps : 37 * i / (steps - 1);
            const int64_t h = s.effect >= 17 ? 29 * i / steps : 29 * i / (steps - 1);
            int64_t mismatches = 0;
            for (int y = 0; y < 29; ++y) {
                for (int x = 0; x < 37; ++x) {
                    const bool shown = window.At(g.canvasX + x, g.canvasY + y) == int64_t{y} * 37 + x;
                    if (shown != s.shown(x, y, w, h, 37, 29)) ++mismatches;
                }
            }
            EXPECT_EQ(mismatches, 0) << "effect " << s.effect << " step " << i;
        }
    }
}

TEST(TransitionShapes, BlindsCopyEveryNthLineOncePerStep) {
    const TransitionGeometry g = Geometry(0, 0, 23, 45, 0, 0, 23, 45, {0, 0, 23, 45});
    std::vector<TransitionOp> ops;
    for (int effect : {17, 18}) {
        const bool rows = effect == 17;
        for (int i = 0; i < 20; ++i) {
            PlanTransitionStep(effect, g, 20, i, &ops);
            std::vector<int> lines;
            for (const TransitionOp& op : ops) {
                EXPECT_EQ(rows ? op.dest.height : op.dest.width, 1);
                EXPECT_EQ(rows ? op.dest.width : op.dest.height, rows ? 23 : 45);
                lines.push_back(rows ? op.dest.y : op.dest.x);
            }
            std::vector<int> expected;
            for (int line = i; line < (rows ? 45 : 23); line += 20) expected.push_back(line);
            EXPECT_EQ(lines, expected) << "effect " << effect << " step " << i;
        }
        PlanTransitionStep(effect, g, 20, 20, &ops);  // the closing step finds all lines done
        EXPECT_TRUE(ops.empty());
    }
}

TEST(TransitionShapes, DissolvesGoBlockByBlockInRowAndColumnOrder) {
    // 43 x 27 union: (43 + 10) / 10 = 5 columns by (27 + 10) / 10 = 3 rows, the
    // last column and row partly outside; the canvas covers part of it.
    const TransitionGeometry g = Geometry(5, 4, 30, 20, 0, 0, 43, 27, {0, 0, 50, 30});
    for (int effect : {15, 16}) {
        Window window(g);
        std::vector<TransitionOp> ops;
        for (int i = 0; i < 100; ++i) {
            PlanTransitionStep(effect, g, 100, i, &ops);
            window.Apply(ops, i);
        }
        // Every pixel of a block is drawn in the same step, and the blocks
        // follow the effect's order.
        int previous = -1;
        for (int outer = 0; outer < (effect == 15 ? 3 : 5); ++outer) {
            for (int inner = 0; inner < (effect == 15 ? 5 : 3); ++inner) {
                const int column = effect == 15 ? inner : outer;
                const int row = effect == 15 ? outer : inner;
                const int x0 = column * 10, y0 = row * 10;
                const int step = window.DrawnAt(x0, y0);
                for (int y = y0; y < std::min(y0 + 10, 27); ++y) {
                    for (int x = x0; x < std::min(x0 + 10, 43); ++x) {
                        EXPECT_EQ(window.DrawnAt(x, y), step) << "block " << column << "," << row;
                    }
                }
                EXPECT_GT(step, previous) << "effect " << effect << " block " << column << "," << row;
                previous = step;
            }
        }
    }
}

TEST(TransitionShapes, SlidesTravelFromBeyondTheEdgeToTheirPlace) {
    // Canvas 100 wide at x 70 in a union 20..260: the picture starts
    // 70 + (240 - 100) / 2 + 100 = 240 pixels to the left of its place.
    const TransitionGeometry g = Geometry(70, 40, 100, 80, 20, 30, 260, 300, {0, 0, 240, 320});
    std::vector<TransitionOp> ops;
    for (int effect : {0, 1}) {
        const bool vertical = effect == 1;
        for (int i : {0, 33, 99}) {
            PlanTransitionStep(effect, g, 100, i, &ops);
            const int travel = vertical ? 40 + (270 - 80) / 2 + 80 : 240;
            const int at = (vertical ? 40 : 70) - travel + travel * i / 99;
            int copies = 0;
            for (const TransitionOp& op : ops) {
                if (op.kind != TransitionOpKind::kCopy) continue;
                ++copies;
                // The copy's source corner sits at the picture's position.
                EXPECT_EQ((vertical ? op.dest.y - op.sourceY : op.dest.x - op.sourceX), at) << "step " << i;
            }
            EXPECT_EQ(copies, at + (vertical ? 80 : 100) > (vertical ? 30 : 20) ? 1 : 0) << "step " << i;
        }
    }
    // What the picture leaves behind is cleared: nothing of the old picture
    // stays in its band left of (above) the canvas.
    for (int effect : {0, 1}) {
        Window window(g);
        for (int i = 0; i < 100; ++i) {
            PlanTransitionStep(effect, g, 100, i, &ops);
            window.Apply(ops, i);
        }
        if (effect == 0) {
            for (int y = 40; y < 120; ++y) {
                for (int x = 20; x < 70; ++x) EXPECT_EQ(window.At(x, y), kBackground) << x << "," << y;
            }
        } else {
            for (int y = 30; y < 40; ++y) {
                for (int x = 70; x < 170; ++x) EXPECT_EQ(window.At(x, y), kBackground) << x << "," << y;
            }
        }
    }
}

TEST(TransitionShapes, BandsSlideInAlternatelyFromTheRightAndTheLeft) {
    const TransitionGeometry g = Geometry(0, 0, 50, 25, 0, 0, 50, 25, {0, 0, 50, 25});
    std::vector<TransitionOp> ops;
    Window window(g);
    for (int i = 0; i <= 40; ++i) {
        PlanTransitionStep(10, g, 100, i, &ops);
        window.Apply(ops, i);
    }
    const int w = 50 * 40 / 99;  // 20 columns of each band in view
    for (int y = 0; y < 25; ++y) {
        const bool fromLeft = (y / 10) % 2 == 1;
        for (int x = 0; x < 50; ++x) {
            int64_t expected = kBackground;
            if (fromLeft && x < w) expected = int64_t{y} * 50 + (50 - w + x);  // the band's right end first
            if (!fromLeft && x >= 50 - w) expected = int64_t{y} * 50 + (x - (50 - w));  // its left end first
            EXPECT_EQ(window.At(x, y), expected) << x << "," << y;
        }
    }
    // A canvas lower than 10 rows is one band.
    const TransitionGeometry low = Geometry(0, 0, 30, 7, 0, 0, 30, 7, {0, 0, 30, 7});
    PlanTransitionStep(10, low, 100, 50, &ops);
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].dest.height, 7);
}

TEST(TransitionPlans, NothingForUnknownEffectsEmptyCanvasesOrStepsOutsideTheRun) {
    const TransitionGeometry g = Geometry(0, 0, 10, 10, 0, 0, 10, 10, {0, 0, 10, 10});
    std::vector<TransitionOp> ops = {TransitionOp{}};
    for (int effect : {-1, 23, 1000}) {
        EXPECT_EQ(TransitionStepCount(effect, g, 100), 0);
        EXPECT_EQ(TransitionStepsFor(effect), 0);
        PlanTransitionStep(effect, g, 100, 0, &ops);
        EXPECT_TRUE(ops.empty());
    }
    EXPECT_EQ(TransitionStepCount(2, g, 0), 0);
    EXPECT_EQ(TransitionStepCount(2, Geometry(0, 0, 0, 10, 0, 0, 10, 10, {0, 0, 10, 10}), 100), 0);
    for (int index : {-1, 100}) {
        PlanTransitionStep(2, g, 100, index, &ops);
        EXPECT_TRUE(ops.empty());
    }
    // A union off the window: nothing to draw.
    const TransitionGeometry away = Geometry(300, 0, 10, 10, 300, 0, 310, 10, {0, 0, 240, 320});
    for (int effect = 0; effect < kTransitionEffectCount; ++effect) {
        for (int i = 0; i < TransitionStepCount(effect, away, TransitionStepsFor(effect)); ++i) {
            PlanTransitionStep(effect, away, TransitionStepsFor(effect), i, &ops);
            EXPECT_TRUE(ops.empty()) << effect;
        }
    }
}

TEST(TransitionPlans, StepCounts) {
    EXPECT_EQ(TransitionStepsFor(0), 100);
    EXPECT_EQ(TransitionStepsFor(16), 100);
    EXPECT_EQ(TransitionStepsFor(17), 20);
    EXPECT_EQ(TransitionStepsFor(22), 20);
}

// ---------------------------------------------------------------------------
// Layout

TEST(TransitionLayout, SlidesUseTheNewPlacementOthersTheLargerSizeCentred) {
    const TransitionRect newPlace = {20, 40, 200, 150};
    const TransitionRect oldPlace = {-30, 10, 180, 300};
    for (int effect = 0; effect < kTransitionEffectCount; ++effect) {
        const TransitionGeometry g = TransitionLayout(effect, newPlace, oldPlace, 240, 320);
        if (effect <= 1) {
            EXPECT_EQ(g.canvasX, 20);
            EXPECT_EQ(g.canvasY, 40);
            EXPECT_EQ(g.canvasWidth, 200);
            EXPECT_EQ(g.canvasHeight, 150);
            EXPECT_EQ(g.unionLeft, -30);
            EXPECT_EQ(g.unionTop, 10);
            EXPECT_EQ(g.unionRight, 220);
            EXPECT_EQ(g.unionBottom, 310);
        } else {
            EXPECT_EQ(g.canvasWidth, 200);
            EXPECT_EQ(g.canvasHeight, 300);
            EXPECT_EQ(g.canvasX, 20);  // (240 - 200) / 2
            EXPECT_EQ(g.canvasY, 10);  // (320 - 300) / 2
            EXPECT_EQ(g.unionLeft, -30);
            EXPECT_EQ(g.unionTop, 10);
            EXPECT_EQ(g.unionRight, 220);
            EXPECT_EQ(g.unionBottom, 310);
        }
        EXPECT_EQ(g.visible.x, 0);
        EXPECT_EQ(g.visible.y, 0);
        EXPECT_EQ(g.visible.width, 240);
        EXPECT_EQ(g.visible.height, 320);
    }
}

TEST(TransitionLayout, NegativeSizesAreEmptyAndHugeSumsSaturate) {
    TransitionGeometry g = TransitionLayout(5, {0, 0, -5, 10}, {0, 0, -1, -1}, 240, 320);
    EXPECT_EQ(g.canvasWidth, 0);
    EXPECT_EQ(g.canvasHeight, 10);
    EXPECT_EQ(TransitionStepCount(5, g, 100), 0);

    g = TransitionLayout(0, {INT_MAX - 5, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX, INT_MIN, INT_MAX, 1}, 240, 320);
    EXPECT_EQ(g.unionRight, INT_MAX);
    EXPECT_EQ(g.unionBottom, -1);  // INT_MIN + INT_MAX
    EXPECT_EQ(g.unionTop, INT_MIN);
    std::vector<TransitionOp> ops;
    for (int i = 0; i < 100; ++i) PlanTransitionStep(0, g, 100, i, &ops);  // no overflow (UBSan)
}

// ---------------------------------------------------------------------------
// Shuffled order

struct Script {
    std::vector<int32_t> keys;
    size_t next = 0;
    int calls = 0;
};

int32_t Scripted(void* user) {
    auto* s = static_cast<Script*>(user);
    ++s->calls;
    return s->keys[s->next++ % s->keys.size()];
}

TEST(TransitionShuffle, SortsEffectsByTheirKeysSignedAndStable) {
    // Keys for effects 0..22: descending, with ties (effects 3 and 4, 10 and
    // 11) and negative keys (effects 21, 22), which sort first.
    Script script;
    for (int i = 0; i < 23; ++i) script.keys.push_back(1000 - 10 * i);
    script.keys[4] = script.keys[3];
    script.keys[11] = script.keys[10];
    script.keys[21] = -5;
    script.keys[22] = INT_MIN;
    TransitionShuffle shuffle = {};
    BuildTransitionShuffle(&shuffle, Scripted, &script);
    EXPECT_TRUE(shuffle.built);
    std::vector<int> order;
    for (const TransitionPair& p : shuffle.pairs) order.push_back(p.effect);
    const std::vector<int> expected = {22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 10,
                                       11, 9,  8,  7,  6,  5,  3,  4,  2,  1,  0};
    EXPECT_EQ(order, expected);
}

TEST(TransitionShuffle, BuiltOnceAndWalkedByEachViewInTurn) {
    Script script{{7, 3, 9, 1, 12, 5, 8, 2, 11, 4, 6, 10, 0, 13, 15, 14, 17, 16, 19, 18, 21, 20, 22}};
    TransitionShuffle shuffle = {};
    uint32_t first = 0, second = 0;
    std::vector<int> run;
    for (int i = 0; i < 24; ++i) run.push_back(NextTransitionEffect(&shuffle, &first, Scripted, &script));
    EXPECT_EQ(script.calls, 23);  // one key per effect, once per run
    EXPECT_EQ(run[0], 12);        // the smallest key, 0
    EXPECT_EQ(run[1], 3);
    EXPECT_EQ(run[23], run[0]);   // the 24th transition repeats the first
    EXPECT_EQ(first, 1u);
    std::vector<int> sorted(run.begin(), run.begin() + 23);
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 23; ++i) EXPECT_EQ(sorted[i], i);  // every effect once per round

    // Another view starts from the beginning of the same order.
    EXPECT_EQ(NextTransitionEffect(&shuffle, &second, Scripted, &script), run[0]);
    EXPECT_EQ(second, 1u);
    EXPECT_EQ(script.calls, 23);

    // A position beyond the table counts as the first.
    uint32_t stray = 4000000000u;
    EXPECT_EQ(NextTransitionEffect(&shuffle, &stray, Scripted, &script), run[0]);
    EXPECT_EQ(stray, 1u);
    uint32_t last = 22;
    EXPECT_EQ(NextTransitionEffect(&shuffle, &last, Scripted, &script), run[22]);
    EXPECT_EQ(last, 0u);
}

}  // namespace
