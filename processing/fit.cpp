// Resize to fit a box.
#include <algorithm>
#include <utility>

#include "processing/geometry.h"
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
        // Filtering these needs them turned into grey or colour first.
        return kGeometryNotSupported;
    }
    return BitmapResample(src, dst, int32_t(w), int32_t(h), mode);
}
