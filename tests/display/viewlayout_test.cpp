// The image view's geometry: layouts of every zoom mode with and without
// scroll bars, aspect correction, point conversions, selections, zoom to a
// selection and scroll requests.
#include "display/viewlayout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int32_t kBar = 16;

ViewLayoutInput Input(int32_t mode, int32_t w, int32_t h, bool bars = false, int32_t zoom = 100) {
    ViewLayoutInput in = {};
    in.width = 240;
    in.height = 320;
    in.barWidth = kBar;
    in.barHeight = kBar;
    in.pictureWidth = w;
    in.pictureHeight = h;
    in.zoomMode = mode;
    in.zoomX = in.zoomY = zoom;
    in.scrollBars = bars;
    return in;
}

struct LayoutCase {
    const char* name;
    ViewLayoutInput in;
    // display, zoom, offsets, largest offsets, area, bars
    int32_t dw, dh, zx, zy, ox, oy, mx, my, aw, ah;
    bool hbar, vbar;
};

TEST(ViewLayout, EveryZoomModePlacesThePicture) {
    ViewLayoutInput scrolled = Input(kZoomCustom, 400, 300, true, 200);
    scrolled.offsetX = 1000;  // clamped to the largest offset
    scrolled.offsetY = 7;
    ViewLayoutInput noBars = Input(kZoomCustom, 400, 300, false, 200);
    noBars.offsetX = -5;  // clamped to 0
    ViewLayoutInput aspect = Input(kZoomShrinkToFit, 100, 100);
    aspect.xResolution = 200;
    aspect.yResolution = 100;
    aspect.aspect = true;
    ViewLayoutInput aspectOff = aspect;
    aspectOff.aspect = false;
    ViewLayoutInput aspectFit = aspect;
    aspectFit.zoomMode = kZoomFit;
    ViewLayoutInput aspectZoom = aspect;
    aspectZoom.zoomMode = kZoomCustom;
    aspectZoom.zoomX = aspectZoom.zoomY = 50;

    const LayoutCase cases[] = {
        // A small picture at 100 %, centred, no bars; in fit mode enlarged.
        {"shrink small", Input(kZoomShrinkToFit, 100, 50), 100, 50, 100, 100, -70, -135, 0, 0, 240, 320, false, false},
        {"fit small", Input(kZoomFit, 100, 50), 240, 120, 240, 240, 0, -100, 0, 0, 240, 320, false, false},
        {"shrink large", Input(kZoomShrinkToFit, 480, 1280, true), 120, 320, 25, 25, -60, 0, 0, 0, 240, 320, false,
         false},
        // Bars take their room: horizontal first, then vertical.
        {"custom 200 % with bars", scrolled, 800, 600, 200, 200, 576, 7, 576, 296, 224, 304, true, true},
        {"custom without bars", noBars, 800, 600, 200, 200, 0, 0, 560, 280, 240, 320, false, false},
        {"custom narrow tall", Input(kZoomCustom, 100, 400, true), 100, 400, 100, 100, -62, 0, 0, 80, 224, 320, false,
         true},
        // Only the vertical bar makes the display too wide: the horizontal
        // bar follows.
        {"custom 230 wide tall", Input(kZoomCustom, 230, 400, true), 230, 400, 100, 100, 0, 0, 6, 96, 224, 304, true,
         true},
        // Fit width: too tall with bars, so computed again without the
        // vertical bar's width.
        {"fit width tall", Input(kZoomFitWidth, 100, 1000, true), 224, 2240, 224, 224, 0, 0, 0, 1920, 224, 320, false,
         true},
        {"fit width tall no bars", Input(kZoomFitWidth, 100, 1000), 240, 2400, 240, 240, 0, 0, 0, 2080, 240, 320,
         false, false},
        {"fit width short", Input(kZoomFitWidth, 480, 320, true), 240, 160, 50, 50, 0, -80, 0, 0, 240, 320, false,
         false},
        {"fit height wide", Input(kZoomFitHeight, 1000, 100, true), 3040, 304, 304, 304, 0, 0, 2800, 0, 240, 304,
         true, false},
        {"fit height narrow", Input(kZoomFitHeight, 100, 200, true), 160, 320, 160, 160, -40, 0, 0, 0, 240, 320, false,
         false},
        // Aspect correction: resolutions 200 x 100 double the height.
        {"aspect at 100 %", aspect, 100, 200, 100, 100, -70, -60, 0, 0, 240, 320, false, false},
        {"aspect off", aspectOff, 100, 100, 100, 100, -70, -110, 0, 0, 240, 320, false, false},
        {"aspect fit", aspectFit, 160, 320, 160, 320, -40, 0, 0, 0, 240, 320, false, false},
        {"aspect custom", aspectZoom, 50, 100, 50, 50, -95, -110, 0, 0, 240, 320, false, false},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ViewLayoutResult r = LayOutView(c.in);
        EXPECT_EQ(r.displayWidth, c.dw);
        EXPECT_EQ(r.displayHeight, c.dh);
        EXPECT_EQ(r.zoomX, c.zx);
        EXPECT_EQ(r.zoomY, c.zy);
        EXPECT_EQ(r.offsetX, c.ox);
        EXPECT_EQ(r.offsetY, c.oy);
        EXPECT_EQ(r.maxOffsetX, c.mx);
        EXPECT_EQ(r.maxOffsetY, c.my);
        EXPECT_EQ(r.areaWidth, c.aw);
        EXPECT_EQ(r.areaHeight, c.ah);
        EXPECT_EQ(r.horizontalBar, c.hbar);
        EXPECT_EQ(r.verticalBar, c.vbar);
    }
}

TEST(ViewLayout, TheLastRowAndColumnCanBeScrolledTo) {
    for (int32_t zoom : {100, 333, kZoomPercentMax})
        for (bool bars : {false, true}) {
            ViewLayoutInput in = Input(kZoomCustom, 1234, 987, bars, zoom);
            in.offsetX = in.offsetY = 1 << 29;
            const ViewLayoutResult r = LayOutView(in);
            SCOPED_TRACE(std::to_string(zoom) + (bars ? " with bars" : ""));
            ASSERT_GT(r.displayWidth, r.areaWidth);
            EXPECT_EQ(r.offsetX + r.areaWidth, r.displayWidth);  // the right edge shows
            EXPECT_EQ(r.maxOffsetX, r.displayWidth - r.areaWidth);
            ASSERT_GT(r.displayHeight, r.areaHeight);
            EXPECT_EQ(r.offsetY + r.areaHeight, r.displayHeight);
        }
}

TEST(ViewLayout, DegenerateSizesGiveAnEmptyLayout) {
    EXPECT_EQ(LayOutView(Input(kZoomFit, 0, 10)).displayWidth, 0);
    ViewLayoutInput noArea = Input(kZoomFit, 10, 10);
    noArea.width = 0;
    EXPECT_EQ(LayOutView(noArea).displayWidth, 0);
    // A one-pixel line stays at least one pixel in every mode.
    for (int32_t mode : {0, 1, 2, 3, 4}) {
        const ViewLayoutResult r = LayOutView(Input(mode, 100000, 1, true, kZoomPercentMin));
        EXPECT_GE(r.displayWidth, 1) << mode;
        EXPECT_GE(r.displayHeight, 1) << mode;
    }
    EXPECT_EQ(EffectiveHeight(10, 0, 300, true), 10);
    EXPECT_EQ(EffectiveHeight(10, 150, 300, true), 5);
    EXPECT_EQ(EffectiveHeight(10, 150, 300, false), 10);
}

TEST(ViewLayout, PointsAndPicturePixelsConvertBothWays) {
    // 200 x 100 picture shown at 400 x 200, scrolled by (50, 10).
    const ViewMapping m = {400, 200, 200, 100, 50, 10};
    int32_t px, py;
    WindowToPicture(m, 0, 0, &px, &py);
    EXPECT_EQ(px, 25);
    EXPECT_EQ(py, 5);
    WindowToPicture(m, 349, 189, &px, &py);
    EXPECT_EQ(px, 199);
    EXPECT_EQ(py, 99);
    WindowToPicture(m, 2000, -500, &px, &py);  // clamped to the picture's corners
    EXPECT_EQ(px, 200);
    EXPECT_EQ(py, 0);
    int32_t x, y;
    PictureToWindow(m, 25, 5, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    PictureToWindow(m, 200, 100, &x, &y);  // the far corner: the display's last pixel
    EXPECT_EQ(x, 399 - 50);
    EXPECT_EQ(y, 199 - 10);
    // A centred picture: negative offsets.
    const ViewMapping centred = {100, 50, 100, 50, -70, -135};
    WindowToPicture(centred, 70, 135, &px, &py);
    EXPECT_EQ(px, 0);
    EXPECT_EQ(py, 0);
    PictureToWindow(centred, 10, 10, &x, &y);
    EXPECT_EQ(x, 80);
    EXPECT_EQ(y, 145);
}

TEST(ViewLayout, CornersNormaliseToARectangle) {
    const PictureRect r = NormaliseCorners(30, 5, 10, 25);
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 5);
    EXPECT_EQ(r.width, 20);
    EXPECT_EQ(r.height, 20);
    const PictureRect same = NormaliseCorners(7, 7, 7, 7);
    EXPECT_EQ(same.width, 0);
    EXPECT_EQ(same.height, 0);
}

TEST(ViewLayout, ZoomStepsInAndOut) {
    const struct {
        int32_t current, in, out;
    } cases[] = {
        {400, 400, 300}, {1000, 400, 400}, {120, 150, 100}, {100, 150, 70}, {80, 100, 70},
        {37, 50, 30},    {10, 15, 5},      {5, 10, 5},      {3, 5, 5},     {-1, 5, 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZoomStepIn(c.current), c.in) << c.current;
        EXPECT_EQ(ZoomStepOut(c.current), c.out) << c.current;
    }
    // The view takes every step of both tables.
    for (int32_t step : kZoomSteps) {
        EXPECT_GE(step, kZoomPercentMin);
        EXPECT_LE(step, kZoomPercentMax);
    }
    for (int32_t step : kSelectionZoomSteps) {
        EXPECT_GE(step, kZoomPercentMin);
        EXPECT_LE(step, kZoomPercentMax);
    }
}

TEST(ViewLayout, ZoomToSelectionStaysInTheAcceptedRange) {
    const struct {
        PictureRect selection;
        int32_t step;
    } cases[] = {
        {{0, 0, 10, 10}, 1600},      // the largest step
        {{0, 0, 15, 20}, 1600},      // 240 x 320 exactly
        {{0, 0, 16, 20}, 1200},
        {{0, 0, 60, 80}, 400},
        {{0, 0, 61, 10}, 300},
        {{0, 0, 250, 100}, 90},      // a step the zoom commands lack
        {{0, 0, 1000, 1000}, 20},
        {{0, 0, 1000, 2000}, 15},
        {{0, 0, 2400, 3200}, 10},
        {{0, 0, 3000, 4000}, 7},     // 5 % is no step of this table
        {{0, 0, 4000, 4000}, 7},     // nothing fits: the smallest step
        {{0, 0, 50000, 50000}, 7},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZoomStepForSelection(c.selection, 240, 320), c.step) << c.selection.width;
    }
    for (int32_t size = 1; size < 100000; size = size * 3 + 1) {
        const int32_t step = ZoomStepForSelection(PictureRect{0, 0, size, size}, 240, 320);
        EXPECT_GE(step, kZoomPercentMin);
        EXPECT_LE(step, kZoomPercentMax);
    }
    int32_t ox, oy;
    OffsetsForSelection(PictureRect{100, 50, 30, 40}, 800, 240, 320, &ox, &oy);
    EXPECT_EQ(ox, 800);  // the selection's left edge at the window's
    EXPECT_EQ(oy, 400);
    OffsetsForSelection(PictureRect{100, 50, 10, 10}, 200, 240, 320, &ox, &oy);
    EXPECT_EQ(ox, 200 - (240 - 20) / 2);  // its centre at the window's centre
    EXPECT_EQ(oy, 100 - (320 - 20) / 2);
}

TEST(ViewLayout, ZoomKeepsTheCentredPointInPlace) {
    // Area 240 wide, display 1000 -> 2000, offset 380: centre display point
    // 500 becomes 1000, so the new offset is 880.
    EXPECT_EQ(OffsetKeepingCentre(380, 240, 1000, 2000), 880);
    EXPECT_EQ(OffsetKeepingCentre(380, 240, 1000, 500), 130);
    EXPECT_EQ(OffsetKeepingCentre(5, 240, 0, 500), 5);
}

TEST(ViewLayout, ScrollRequestsMoveWithinTheRange) {
    const struct {
        int32_t code, position, current, page, expected;
    } cases[] = {
        {kScrollLineUp, 0, 10, 100, 9},      {kScrollLineDown, 0, 10, 100, 11},
        {kScrollLineUp, 0, 0, 100, 0},       {kScrollLineDown, 0, 500, 100, 500},
        {kScrollPageUp, 0, 150, 100, 50},    {kScrollPageDown, 0, 150, 100, 250},
        {kScrollPageDown, 0, 150, 0, 160},   {kScrollPageUp, 0, 50, 100, 0},
        {kScrollThumbTrack, 321, 0, 100, 321}, {kScrollThumbPosition, 9999, 0, 100, 500},
        {kScrollTop, 0, 300, 100, 0},        {kScrollBottom, 0, 3, 100, 500},
        {8, 77, 42, 100, 42},  // end of scroll: no move
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScrollTarget(c.code, c.position, c.current, c.page, 500), c.expected) << c.code << " " << c.current;
}

}  // namespace
