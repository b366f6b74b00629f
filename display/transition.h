// Picture transitions as plans: which parts of the canvas (the new picture,
// centred on the background colour where needed) go where on the window at
// each step of each of the 23 effects, and the shuffled order in which the
// effects follow one another. A thin Win32 executor (transition_win.h) draws
// the plans and waits between steps.
//
// Effects:
//   0, 1    slide in from the left, from the top
//   2 - 5   wipe from the left, right, top, bottom
//   6, 7    two strips closing in from the left and right; a band opening
//           from the vertical centre line
//   8, 9    the same vertically
//   10      10-pixel bands sliding in, alternately from the right and left
//   11 - 14 reveal from the top-right, bottom-right, top-left, bottom-left
//   15, 16  dissolve by 10 x 10 blocks of the union rectangle, in row order
//           and in column order
//   17, 18  horizontal and vertical blinds
//   19 - 22 frame closing in, box opening, four corners, cross opening
//
// Plans never draw a pixel outside the union rectangle, copy only from inside
// the canvas, and (except for the moving effects 0, 1 and 10) draw every
// pixel once over a whole run: a step draws only what the step before had not
// yet revealed.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kTransitionEffectCount = 23;
// Delay between steps and number of steps of a transition shown by the view.
constexpr uint32_t kTransitionStepDelayMs = 10;
constexpr int kTransitionLongSteps = 100;  // effects 0 to 16
constexpr int kTransitionShortSteps = 20;  // effects 17 to 22

// The number of steps an effect runs with (0 for an unknown effect).
int TransitionStepsFor(int effect);

struct TransitionRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// Where a transition draws, in the window's client coordinates.
struct TransitionGeometry {
    // The canvas: the new picture at its display size (the slides), or the
    // larger of the new and the old size, centred in the client area, with
    // the new picture at its centre on the background colour.
    int32_t canvasX;
    int32_t canvasY;
    int32_t canvasWidth;
    int32_t canvasHeight;
    // The union of the canvas and the old picture's placement (right and
    // bottom exclusive).
    int32_t unionLeft;
    int32_t unionTop;
    int32_t unionRight;
    int32_t unionBottom;
    // The part of the window that can show anything (the client area):
    // nothing outside it is planned, so a zoomed picture far larger than the
    // window costs no more than one the window's size.
    TransitionRect visible;
};

// The geometry of an effect for a new and an old placement in a client area
// of the given size. Sizes below 0 count as 0; sums beyond 32 bits saturate.
TransitionGeometry TransitionLayout(int effect, const TransitionRect& newPlace, const TransitionRect& oldPlace,
                                    int32_t clientWidth, int32_t clientHeight);

enum class TransitionOpKind : uint8_t {
    kCopy,  // canvas at (sourceX, sourceY) onto dest, unscaled
    kFill,  // dest with the background colour
};

struct TransitionOp {
    TransitionOpKind kind;
    TransitionRect dest;  // client coordinates; never empty
    int32_t sourceX;      // canvas coordinates of dest's top-left corner (copies)
    int32_t sourceY;
};

// A run of one effect has TransitionStepCount steps: the given number of
// steps, plus, for effects 17 to 22, a closing step that completes the canvas.
// 0 for an unknown effect, a number of steps below 1 or an empty canvas.
int TransitionStepCount(int effect, const TransitionGeometry& geometry, int steps);
// Whether the run waits (and looks for a stylus release) after the step; the
// closing step of effects 17 to 22 does not.
bool TransitionStepWaits(int effect, int steps, int index);
// Replaces the contents of ops with what step index (from 0) of the run
// draws, in drawing order. Nothing for an index outside the run.
void PlanTransitionStep(int effect, const TransitionGeometry& geometry, int steps, int index,
                        std::vector<TransitionOp>* ops);

// ---------------------------------------------------------------------------
// Shuffled order

// A source of random numbers (rand() in the programs; tests pass their own).
using TransitionRandom = int32_t (*)(void* user);
int32_t TransitionRandomFromRand(void* user);

struct TransitionPair {
    int32_t effect;
    int32_t key;
};

// The order of effects for one program run: the pairs (effect, random key)
// sorted by key, ascending (equal keys keep the effect order).
struct TransitionShuffle {
    TransitionPair pairs[kTransitionEffectCount];
    bool built;
};

void BuildTransitionShuffle(TransitionShuffle* shuffle, TransitionRandom random, void* user);
// The effect at a view's position, building the table first when it has not
// been built; the position then moves on to the next pair, back to 0 after
// the last. A position outside the table counts as 0.
int NextTransitionEffect(TransitionShuffle* shuffle, uint32_t* position, TransitionRandom random, void* user);
