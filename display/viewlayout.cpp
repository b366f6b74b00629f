// The image view's geometry. See viewlayout.h.
#include "display/viewlayout.h"

namespace {

// Display sizes are kept well inside 32 bits so that offsets plus area
// sizes never overflow.
constexpr int64_t kLargestDisplay = int64_t(1) << 30;

int32_t Size(int64_t v) { return int32_t(v < 1 ? 1 : v > kLargestDisplay ? kLargestDisplay : v); }

int32_t Percent(int64_t display, int64_t picture) { return int32_t(display * 100 / picture); }

void Fit(const ViewLayoutInput& in, int64_t effectiveHeight, ViewLayoutResult* r) {
    const int64_t w = in.pictureWidth;
    const int64_t h = effectiveHeight;
    r->areaWidth = in.width;
    r->areaHeight = in.height;
    int64_t dh = in.height;
    int64_t dw = w * in.height / h;
    if (dw > in.width) {
        dw = in.width;
        dh = h * in.width / w;
    }
    r->displayWidth = Size(dw);
    r->displayHeight = Size(dh);
    r->zoomX = Percent(r->displayWidth, in.pictureWidth);
    r->zoomY = Percent(r->displayHeight, in.pictureHeight);
    r->offsetX = -(in.width - r->displayWidth) / 2;
    r->offsetY = -(in.height - r->displayHeight) / 2;
    r->maxOffsetX = r->maxOffsetY = 0;
    r->horizontalBar = r->verticalBar = false;
}

// Fit width or height: the side fills the area; when the other side then
// needs a scroll bar, the bar's room comes off the side first.
void FitSide(int64_t area, int64_t pictureSide, int64_t pictureOther, int64_t otherArea, int32_t bar, bool bars,
             int64_t* side, int64_t* other) {
    *side = area;
    *other = pictureOther * area / pictureSide;
    if (*other > otherArea && bars) {
        *side = area - bar;
        *other = pictureOther * *side / pictureSide;
    }
}

// One axis: scrollable when the display is larger than the area, else
// centred.
void PlaceAxis(int32_t display, int32_t area, int32_t offset, int32_t* placed, int32_t* largest) {
    if (display > area) {
        *largest = display - area;
        *placed = offset < 0 ? 0 : offset > *largest ? *largest : offset;
    } else {
        *largest = 0;
        *placed = -((area - display) / 2);
    }
}

}  // namespace

int32_t EffectiveHeight(int32_t height, int32_t xResolution, int32_t yResolution, bool aspect) {
    if (!aspect || xResolution == yResolution || xResolution <= 0 || yResolution <= 0) return height < 1 ? 1 : height;
    return Size(int64_t(height) * xResolution / yResolution);
}

ViewLayoutResult LayOutView(const ViewLayoutInput& in) {
    ViewLayoutResult r = {};
    if (in.pictureWidth < 1 || in.pictureHeight < 1 || in.width < 1 || in.height < 1) return r;
    const int64_t w = in.pictureWidth;
    const int64_t h = EffectiveHeight(in.pictureHeight, in.xResolution, in.yResolution, in.aspect);
    int32_t width = in.width;
    int32_t height = in.height;
    int64_t dw = 0;
    int64_t dh = 0;
    switch (in.zoomMode) {
    case kZoomFit:
        Fit(in, h, &r);
        return r;
    case kZoomShrinkToFit:
        if (w > width || h > height) {
            Fit(in, h, &r);
            return r;
        }
        dw = w;
        dh = h;
        r.zoomX = r.zoomY = 100;
        break;
    case kZoomFitWidth:
        FitSide(width, w, h, height, in.barWidth, in.scrollBars, &dw, &dh);
        break;
    case kZoomFitHeight:
        FitSide(height, h, w, width, in.barHeight, in.scrollBars, &dh, &dw);
        break;
    default:  // custom
        dw = w * in.zoomX / 100;
        dh = h * in.zoomY / 100;
        r.zoomX = in.zoomX;
        r.zoomY = in.zoomY;
        break;
    }
    r.displayWidth = Size(dw);
    r.displayHeight = Size(dh);
    if (in.zoomMode == kZoomFitWidth || in.zoomMode == kZoomFitHeight) {
        r.zoomX = Percent(r.displayWidth, in.pictureWidth);
        r.zoomY = Percent(r.displayHeight, in.pictureHeight);
    }

    if (in.scrollBars) {
        if (r.displayWidth > width) {
            height -= in.barHeight;
            r.horizontalBar = true;
        }
        if (r.displayHeight > height) {
            width -= in.barWidth;
            r.verticalBar = true;
        }
        if (!r.horizontalBar && r.displayWidth > width) {
            height -= in.barHeight;
            r.horizontalBar = true;
        }
    }
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    r.areaWidth = width;
    r.areaHeight = height;
    PlaceAxis(r.displayWidth, width, in.offsetX, &r.offsetX, &r.maxOffsetX);
    PlaceAxis(r.displayHeight, height, in.offsetY, &r.offsetY, &r.maxOffsetY);
    return r;
}

void WindowToPicture(const ViewMapping& m, int32_t x, int32_t y, int32_t* pictureX, int32_t* pictureY) {
    int64_t px = m.displayWidth > 0 ? (int64_t(x) + m.offsetX) * m.pictureWidth / m.displayWidth : 0;
    int64_t py = m.displayHeight > 0 ? (int64_t(y) + m.offsetY) * m.pictureHeight / m.displayHeight : 0;
    *pictureX = int32_t(px < 0 ? 0 : px > m.pictureWidth ? m.pictureWidth : px);
    *pictureY = int32_t(py < 0 ? 0 : py > m.pictureHeight ? m.pictureHeight : py);
}

void PictureToWindow(const ViewMapping& m, int32_t pictureX, int32_t pictureY, int32_t* x, int32_t* y) {
    int64_t dx = m.pictureWidth > 0 ? int64_t(pictureX) * m.displayWidth / m.pictureWidth : 0;
    int64_t dy = m.pictureHeight > 0 ? int64_t(pictureY) * m.displayHeight / m.pictureHeight : 0;
    if (dx > m.displayWidth - 1) dx = m.displayWidth - 1;
    if (dy > m.displayHeight - 1) dy = m.displayHeight - 1;
    if (dx < 0) dx = 0;
    if (dy < 0) dy = 0;
    *x = int32_t(dx - m.offsetX);
    *y = int32_t(dy - m.offsetY);
}

PictureRect NormaliseCorners(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    PictureRect r;
    r.x = x0 < x1 ? x0 : x1;
    r.y = y0 < y1 ? y0 : y1;
    r.width = x0 < x1 ? x1 - x0 : x0 - x1;
    r.height = y0 < y1 ? y1 - y0 : y0 - y1;
    return r;
}

int32_t ZoomStepForSelection(const PictureRect& selection, int32_t areaWidth, int32_t areaHeight) {
    int32_t smallest = 0;
    for (int32_t step : kSelectionZoomSteps) {
        smallest = step;
        if (int64_t(selection.width) * step / 100 <= areaWidth && int64_t(selection.height) * step / 100 <= areaHeight)
            return step;
    }
    return smallest;
}

int32_t ZoomStepIn(int32_t current) {
    constexpr size_t kCount = sizeof(kZoomSteps) / sizeof(kZoomSteps[0]);
    for (size_t i = 0; i < kCount; ++i) {
        if (kZoomSteps[i] <= current) return i == 0 ? kZoomSteps[0] : kZoomSteps[i - 1];
    }
    return kZoomSteps[kCount - 1];
}

int32_t ZoomStepOut(int32_t current) {
    for (int32_t step : kZoomSteps) {
        if (step < current) return step;
    }
    return kZoomSteps[sizeof(kZoomSteps) / sizeof(kZoomSteps[0]) - 1];
}

void OffsetsForSelection(const PictureRect& selection, int32_t step, int32_t areaWidth, int32_t areaHeight,
                         int32_t* offsetX, int32_t* offsetY) {
    const int64_t x = int64_t(selection.x) * step / 100 - (areaWidth - int64_t(selection.width) * step / 100) / 2;
    const int64_t y = int64_t(selection.y) * step / 100 - (areaHeight - int64_t(selection.height) * step / 100) / 2;
    *offsetX = int32_t(x < -kLargestDisplay ? -kLargestDisplay : x > kLargestDisplay ? kLargestDisplay : x);
    *offsetY = int32_t(y < -kLargestDisplay ? -kLargestDisplay : y > kLargestDisplay ? kLargestDisplay : y);
}

int32_t OffsetKeepingCentre(int32_t offset, int32_t area, int32_t oldDisplay, int32_t newDisplay) {
    if (oldDisplay < 1) return offset;
    const int64_t centre = int64_t(offset) + area / 2;
    const int64_t kept = centre * newDisplay / oldDisplay - area / 2;
    return int32_t(kept < -kLargestDisplay ? -kLargestDisplay : kept > kLargestDisplay ? kLargestDisplay : kept);
}

int32_t ScrollTarget(int32_t code, int32_t position, int32_t current, int32_t page, int32_t maxOffset) {
    int64_t next = current;
    switch (code) {
    case kScrollLineUp: next = int64_t(current) - 1; break;
    case kScrollLineDown: next = int64_t(current) + 1; break;
    case kScrollPageUp: next = int64_t(current) - (page > 0 ? page : 10); break;
    case kScrollPageDown: next = int64_t(current) + (page > 0 ? page : 10); break;
    case kScrollThumbPosition:
    case kScrollThumbTrack: next = position; break;
    case kScrollTop: next = 0; break;
    case kScrollBottom: next = maxOffset; break;
    default: return current;
    }
    return int32_t(next < 0 ? 0 : next > maxOffset ? maxOffset : next);
}
