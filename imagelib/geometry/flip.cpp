// Mirror (left to right) and flip (top to bottom), of the whole picture or
// inside a rectangle.
#include <cstring>

#include "imagelib/geometry.h"
#include "imagelib/geometry/geometry_internal.h"

using namespace geometry;

// Checks the source, clips the rectangle and allocates a picture of the same
// size; with a rectangle the source's pixels are copied first so that what
// lies outside it is kept.
static int Prepare(Bitmap* src, const PictureRect* rect, Layout* layout, PictureRect* r, Bitmap* out) {
    int rc = CheckSource(src, layout);
    if (rc != kGeometryDone) return rc;
    if (ClipRectToBitmap(src, rect, r) != 0) return kGeometryBadSize;
    rc = NewPictureLike(out, src, src->width, src->height);
    if (rc != kGeometryDone) return rc;
    if (rect) CopyRows(out, src);
    return kGeometryDone;
}

int BitmapMirror(Bitmap* src, Bitmap* dst, const PictureRect* rect) {
    Layout layout;
    PictureRect r;
    Bitmap out;
    const int rc = Prepare(src, rect, &layout, &r, &out);
    if (rc != kGeometryDone) return rc;
    const size_t n = size_t(layout.pixelBytes);
    for (int32_t y = r.y; y < r.y + r.height; ++y) {
        const uint8_t* from = Row(src, y);
        uint8_t* to = Row(&out, y);
        // Pixel x goes to 2 x left + width - 1 - x.
        const int32_t last = r.x + r.width - 1;
        if (src->pixelType == kPixelBilevel) {
            for (int32_t x = r.x; x <= last; ++x) PutRowBit(to, r.x + last - x, GetRowBit(from, x));
        } else {
            for (int32_t x = r.x; x <= last; ++x)
                std::memcpy(to + size_t(r.x + last - x) * n, from + size_t(x) * n, n);
        }
    }
    Deliver(src, dst, &out);
    return kGeometryDone;
}

int BitmapFlip(Bitmap* src, Bitmap* dst, const PictureRect* rect) {
    Layout layout;
    PictureRect r;
    Bitmap out;
    const int rc = Prepare(src, rect, &layout, &r, &out);
    if (rc != kGeometryDone) return rc;
    for (int32_t i = 0; i < r.height; ++i) {
        const uint8_t* from = Row(src, r.y + i);
        uint8_t* to = Row(&out, r.y + r.height - 1 - i);
        if (src->pixelType == kPixelBilevel) {
            for (int32_t x = r.x; x < r.x + r.width; ++x) PutRowBit(to, x, GetRowBit(from, x));
        } else {
            std::memcpy(to + size_t(r.x) * size_t(layout.pixelBytes), from + size_t(r.x) * size_t(layout.pixelBytes),
                        size_t(r.width) * size_t(layout.pixelBytes));
        }
    }
    Deliver(src, dst, &out);
    return kGeometryDone;
}
