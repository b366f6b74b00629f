// Copies of a picture or of a rectangle of it.
#include <cstring>

#include "imagelib/geometry.h"
#include "imagelib/geometry/geometry_internal.h"

using namespace geometry;

int BitmapDuplicate(Bitmap* src, Bitmap* dst) {
    if (!dst) return kGeometryDone;
    int rc = CheckSource(src, nullptr);
    if (rc != kGeometryDone) return rc;
    Bitmap out;
    rc = NewPictureLike(&out, src, src->width, src->height);
    if (rc != kGeometryDone) return rc;
    CopyRows(&out, src);
    Deliver(src, dst, &out);
    return kGeometryDone;
}

// Copies rows [top, top + h) of the source, columns [x, x + w), into a new
// picture. With `seenFromTop` and a bottom-up source the rows are counted
// from the top of the picture as seen and the result stays bottom-up.
static int CopyRect(Bitmap* src, Bitmap* dst, const PictureRect& r, bool seenFromTop) {
    Layout layout;
    int rc = CheckSource(src, &layout);
    if (rc != kGeometryDone) return rc;
    Bitmap out;
    rc = NewPictureLike(&out, src, r.width, r.height);
    if (rc != kGeometryDone) return rc;
    const bool bottomUp = seenFromTop && (src->orientation & kOrientationBottomUp);
    for (int32_t j = 0; j < r.height; ++j) {
        const int32_t sy = bottomUp ? src->height - 1 - (r.y + j) : r.y + j;
        uint8_t* to = Row(&out, bottomUp ? r.height - 1 - j : j);
        const uint8_t* from = Row(src, sy);
        if (src->pixelType == kPixelBilevel) {
            CopyBits(to, from, r.x, r.width);
        } else {
            std::memcpy(to, from + size_t(r.x) * size_t(layout.pixelBytes),
                        size_t(r.width) * size_t(layout.pixelBytes));
        }
    }
    Deliver(src, dst, &out);
    return kGeometryDone;
}

int BitmapCrop(Bitmap* src, Bitmap* dst, const PictureRect* rect) {
    if (!rect) {
        // A whole copy; in place there is nothing to change.
        if (!dst || dst == src) return CheckSource(src, nullptr);
        return BitmapDuplicate(src, dst);
    }
    if (!src) return kGeometryBadSize;
    PictureRect r;
    if (ClipRectToBitmap(src, rect, &r) != 0) return kGeometryBadSize;
    return CopyRect(src, dst, r, false);
}

int BitmapCropClipped(Bitmap* src, Bitmap* dst, const PictureRect* rect) {
    if (!src || !rect) return kGeometryBadSize;
    PictureRect r;
    if (ClipRectToBitmap(src, rect, &r) != 0) return kGeometryBadSize;
    return CopyRect(src, dst, r, true);
}

void FormatsInitHookFirst() {}
void FormatsInitHookSecond() {}
void FormatsExitHook() {}
void FormatsCallHook(uint32_t) {}
