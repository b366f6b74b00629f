// Resize to fit a box.
#include <algorithm>
#include <utility>

#include "processing/geometry.h"
#include "processing/reduce.h"
#include "imagelib/geometry/geometry_internal.h"

using namespace geometry;

int BitmapResizeToFit(Bitmap* src, Bitmap* dst, int32_t boxWidth, int32_t boxHeight, int flags, uint16_t mode) {
    int rc = CheckSource(src, nullptr);
    if (rc != kGeometryDone) return rc;
    if (boxWidth < 1 || boxHeight < 1) return kGeometryBadSize;
    const int64_t width = src->width, height = src->height;
    int64_t boxW = boxWidth, boxH = boxHeight;
    if ((flags & kFitTurnBox) && ((width > height && boxH > boxW) || (height > width && boxW > boxH)))
        std::swap(boxW, boxH);
    int64_t w = boxW, h = boxH;
    if (flags & kFitKeepAspect) {
        w = width * boxH / height;
        if (w > boxW) {
            w = boxW;
            h = height * boxW / width;
        } else {
            h = boxH;
        }
        w = std::max<int64_t>(w, 1);
        h = std::max<int64_t>(h, 1);
    }
    if (!(flags & kFitEnlarge) && w > width && h > height) {
        // Nothing to enlarge: the picture as it is.
        return BitmapCrop(src, dst, nullptr);
    }
    if (mode != kResampleNearest && (src->pixelType == kPixelBilevel || src->pixelType == kPixelPalette)) {
        // Bits and indices cannot be filtered: resample them as 256 grey
        // levels or as true colour.
        Bitmap converted{};
        rc = BitmapReduceColours(src, &converted, src->pixelType == kPixelBilevel ? kColourGrey256 : kColourRGB,
                                 kDitherNone);
        if (rc != kGeometryDone) return rc;
        rc = BitmapResample(&converted, nullptr, int32_t(w), int32_t(h), mode);
        if (rc != kGeometryDone) {
            FreeBitmap(&converted);
            return rc;
        }
        // The converted picture carries copies of the source's comment and
        // metadata: it replaces the source whole, or fills the destination.
        if (!dst || dst == src) FreeBitmap(src);
        *(dst ? dst : src) = converted;
        return kGeometryDone;
    }
    return BitmapResample(src, dst, int32_t(w), int32_t(h), mode);
}
