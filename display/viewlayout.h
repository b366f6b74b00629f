// The image view's geometry, apart from its window: where a picture goes for
// each zoom mode, which scroll bars it needs, how far it can scroll, and the
// conversions between window points and picture pixels.
//
// Display coordinates measure the picture as shown (its size at the current
// zoom); a scroll offset is the display pixel at the area's left or top edge,
// negative when a smaller picture is centred.
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

#include "imagelib/bitmap.h"

enum ViewZoomMode : int32_t {
    kZoomCustom = 0,        // the zoom percentages
    kZoomFit = 1,           // the whole picture, enlarged or reduced
    kZoomShrinkToFit = 2,   // fit when larger than the area, else 100 %
    kZoomFitWidth = 3,
    kZoomFitHeight = 4,
};

// The steps of the zoom-in and zoom-out commands, largest first.
constexpr int32_t kZoomSteps[] = {400, 300, 200, 150, 100, 70, 50, 30, 25, 20, 15, 10, 5};
// The steps zoom-to-selection chooses from, largest first: finer, and closer
// in, since a selection is usually a small part of the picture.
constexpr int32_t kSelectionZoomSteps[] = {1600, 1200, 800, 700, 600, 500, 400, 300, 200, 150, 100, 90,
                                           80,   70,   60,  50,  40,  30,  25,  20,  15,  10,  7};

// The percentages ViewSetZoomPercent accepts: one range that admits every
// step of both tables, so no command's step is ever refused.
constexpr int32_t kZoomPercentMin = 5;
constexpr int32_t kZoomPercentMax = 1600;

struct ViewLayoutInput {
    int32_t width;       // the whole area: the client plus any scroll bar shown now
    int32_t height;
    int32_t barWidth;    // the vertical scroll bar's width
    int32_t barHeight;   // the horizontal scroll bar's height
    int32_t pictureWidth;
    int32_t pictureHeight;
    int32_t xResolution;  // used by the aspect correction; 0 unknown
    int32_t yResolution;
    int32_t zoomMode;     // ViewZoomMode
    int32_t zoomX;        // percentages of the custom mode
    int32_t zoomY;
    int32_t offsetX;      // the offsets to keep where they still fit
    int32_t offsetY;
    bool scrollBars;      // the view may show scroll bars
    bool aspect;          // show pictures with unequal resolutions with corrected height
};

struct ViewLayoutResult {
    int32_t areaWidth;   // what is left for the picture once the bars are taken
    int32_t areaHeight;
    int32_t displayWidth;
    int32_t displayHeight;
    int32_t zoomX;
    int32_t zoomY;
    int32_t offsetX;
    int32_t offsetY;
    int32_t maxOffsetX;  // the largest offsets: display - area, or 0 when it fits
    int32_t maxOffsetY;
    bool horizontalBar;  // the bar is shown with a range
    bool verticalBar;
};

// The picture's height as shown at 100 %: corrected by xResolution /
// yResolution when asked and both are known and differ. At least 1.
int32_t EffectiveHeight(int32_t height, int32_t xResolution, int32_t yResolution, bool aspect);

// Lays the picture out in the area. Pictures of no size give a zero result.
ViewLayoutResult LayOutView(const ViewLayoutInput& in);

// Where a shown picture lies: its display and picture sizes and the offsets.
struct ViewMapping {
    int32_t displayWidth;
    int32_t displayHeight;
    int32_t pictureWidth;
    int32_t pictureHeight;
    int32_t offsetX;
    int32_t offsetY;
};

// The picture position under a window point, clamped to 0..width and
// 0..height (corners of pixels, so a selection can take the whole picture).
void WindowToPicture(const ViewMapping& m, int32_t x, int32_t y, int32_t* pictureX, int32_t* pictureY);
// The window point of a picture position, clamped to the display's last
// row and column.
void PictureToWindow(const ViewMapping& m, int32_t pictureX, int32_t pictureY, int32_t* x, int32_t* y);

// The rectangle between two corners: the smaller coordinates and the
// distances.
PictureRect NormaliseCorners(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// The largest step of kSelectionZoomSteps at which the selection fits the
// area in both directions; the smallest step when none fits.
int32_t ZoomStepForSelection(const PictureRect& selection, int32_t areaWidth, int32_t areaHeight);
// The step after `current` towards larger pictures: the step just above the
// largest step at or below `current`; the largest step stays; below every
// step, the smallest. A zoom between steps (such as a fitted picture's
// percentage) goes to the step above it.
int32_t ZoomStepIn(int32_t current);
// The step after `current` towards smaller pictures: the largest step below
// `current`; the smallest step stays.
int32_t ZoomStepOut(int32_t current);
// Offsets that put the selection's centre at the area's centre at `step`.
void OffsetsForSelection(const PictureRect& selection, int32_t step, int32_t areaWidth, int32_t areaHeight,
                         int32_t* offsetX, int32_t* offsetY);

// The offset that keeps the display point at the area's centre there when
// the display size changes from `oldDisplay` to `newDisplay`.
int32_t OffsetKeepingCentre(int32_t offset, int32_t area, int32_t oldDisplay, int32_t newDisplay);

// Scroll requests, numbered as the platform's scroll-bar codes.
enum ScrollCode : int32_t {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
    kScrollTop = 6,
    kScrollBottom = 7,
};

// The offset after a scroll request: lines move 1, pages the bar's page (10
// when it has none), the thumb to `position`, top and bottom to the ends;
// clamped to 0..maxOffset. Unknown codes keep `current`.
int32_t ScrollTarget(int32_t code, int32_t position, int32_t current, int32_t page, int32_t maxOffset);
