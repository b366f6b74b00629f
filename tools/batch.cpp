#include "tools/batch.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>

#include "imagelib/formats.h"
#include "imagelib/geometry.h"
#include "imagelib/load.h"
#include "imagelib/osfile.h"
#include "processing/adjust.h"
#include "processing/filter.h"
#include "processing/lossless.h"
#include "processing/reduce.h"
#include "shell/filelist.h"

namespace {

constexpr int32_t kAdjustLimit = 100;
constexpr int32_t kLargestJpegDivisor = 15;

bool SameNameNoCase(const std::wstring& a, const std::wstring& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

}  // namespace

StepStates StepButtonStates(uint32_t count, uint32_t current) {
    if (count <= 1) return {false, false};
    return {current > 0, current + 1 < count};
}

uint32_t StepIndex(uint32_t count, uint32_t current, int direction) {
    if (direction < 0) return current > 0 ? current - 1 : current;
    if (direction > 0) return current + 1 < count ? current + 1 : current;
    return current;
}

ApplyCounts RunApplyLoop(const SelectedFile* files, uint32_t count, uint32_t current, bool all,
                         const ApplyHooks& hooks) {
    ApplyCounts counts{};
    if (count == 0 || (!all && current >= count)) return counts;
    const uint32_t first = all ? 0 : current;
    const uint32_t last = all ? count - 1 : current;
    for (uint32_t i = first; i <= last; ++i) {
        const wchar_t* path = files[i].path;
        Bitmap bitmap{};
        if (hooks.load(hooks.user, path, &bitmap) != 0) {
            FreeBitmap(&bitmap);
            ++counts.skipped;
            continue;
        }
        if (hooks.operate && hooks.operate(hooks.user, path, &bitmap) != 0) {
            ++counts.skipped;
        } else {
            switch (hooks.save(hooks.user, path, &bitmap, i == last)) {
            case kSaveOutcomeSaved: ++counts.saved; break;
            case kSaveOutcomeSkipped: ++counts.skipped; break;
            case kSaveOutcomeFailed: ++counts.failed; break;
            }
        }
        FreeBitmap(&bitmap);
    }
    return counts;
}

// --- Adjust ---------------------------------------------------------------

bool AdjustColoursUnchanged(const AdjustValues& values) {
    return values.brightness == 0 && values.contrast == 0 && values.gamma >= 0.99 && values.gamma <= 1.01;
}

int32_t ClampAdjustValue(long typed) {
    return int32_t(std::clamp<long>(typed, -kAdjustLimit, kAdjustLimit));
}

double ClampAdjustGamma(double typed) {
    // NaN compares false: it becomes the smallest gamma too.
    return typed >= kAdjustGammaMin ? typed : kAdjustGammaMin;
}

namespace {

int32_t* AdjustField(AdjustValues* values, int setting) {
    switch (setting) {
    case kAdjustBrightness: return &values->brightness;
    case kAdjustContrast: return &values->contrast;
    case kAdjustRed: return &values->red;
    case kAdjustGreen: return &values->green;
    case kAdjustBlue: return &values->blue;
    default: return nullptr;
    }
}

constexpr int32_t kGammaPositionMin = 10;
constexpr int32_t kGammaPositionMax = 200;

}  // namespace

void AdjustSettingRange(int setting, int32_t* minimum, int32_t* maximum) {
    if (setting == kAdjustGamma) {
        *minimum = kGammaPositionMin;
        *maximum = kGammaPositionMax;
    } else {
        *minimum = -kAdjustLimit;
        *maximum = kAdjustLimit;
    }
}

int32_t AdjustSettingPosition(const AdjustValues& values, int setting) {
    if (setting == kAdjustGamma) return int32_t(std::min(values.gamma * 10.0, double(INT32_MAX)));
    int32_t* field = AdjustField(const_cast<AdjustValues*>(&values), setting);
    return field ? *field : 0;
}

void SetAdjustFromPosition(AdjustValues* values, int setting, int32_t position) {
    if (setting == kAdjustGamma) {
        values->gamma = ClampAdjustGamma(position * 0.1);
    } else if (int32_t* field = AdjustField(values, setting)) {
        *field = ClampAdjustValue(position);
    }
}

bool SetAdjustFromText(AdjustValues* values, int setting, const wchar_t* text) {
    wchar_t* end = nullptr;
    if (setting == kAdjustGamma) {
        const double typed = std::wcstod(text, &end);
        if (end == text) return false;
        values->gamma = ClampAdjustGamma(typed);
        return true;
    }
    const long typed = std::wcstol(text, &end, 10);
    int32_t* field = AdjustField(values, setting);
    if (end == text || !field) return false;
    *field = ClampAdjustValue(typed);
    return true;
}

void ViewAdjustRange(int setting, int32_t* minimum, int32_t* maximum) {
    *minimum = setting == kViewGamma ? 1 : 0;
    *maximum = setting == kViewGamma ? 300 : 200;
}

int32_t ViewAdjustPosition(const ViewAdjustValues& values, int setting) {
    switch (setting) {
    case kViewBrightness: return values.brightness + 100;
    case kViewContrast: return values.contrast + 100;
    default: return int32_t(values.gamma * 100.0);
    }
}

void SetViewAdjustFromPosition(ViewAdjustValues* values, int setting, int32_t position) {
    int32_t lo = 0;
    int32_t hi = 0;
    ViewAdjustRange(setting, &lo, &hi);
    position = std::clamp(position, lo, hi);
    switch (setting) {
    case kViewBrightness: values->brightness = position - 100; break;
    case kViewContrast: values->contrast = position - 100; break;
    default: values->gamma = position * 0.01; break;
    }
}

bool MapThroughTable(const Bitmap& backup, Bitmap* shown, const uint8_t table[256]) {
    if (!backup.pixels || !shown->pixels || backup.width != shown->width || backup.height != shown->height ||
        backup.bytesPerRow != shown->bytesPerRow || backup.bytesPerPixel != shown->bytesPerPixel)
        return false;
    const size_t rowBytes = size_t(shown->width) * shown->bytesPerPixel;
    if (rowBytes > size_t(shown->bytesPerRow)) return false;
    for (int32_t y = 0; y < shown->height; ++y) {
        const uint8_t* from = backup.pixels + size_t(y) * size_t(backup.bytesPerRow);
        uint8_t* to = shown->pixels + size_t(y) * size_t(shown->bytesPerRow);
        for (size_t i = 0; i < rowBytes; ++i) to[i] = table[from[i]];
    }
    return true;
}

int ApplyAdjust(Bitmap* bitmap, const AdjustValues& values) {
    if (values.autoLevels) BitmapAutoLevels(bitmap, nullptr, nullptr);
    if (values.autoContrast) BitmapAutoContrast(bitmap, nullptr, nullptr);
    if (!AdjustColoursUnchanged(values)) {
        const int rc = BitmapAdjustColours(bitmap, nullptr, nullptr, values.brightness, values.contrast,
                                           ClampAdjustGamma(values.gamma));
        if (rc != 0) return rc;
    }
    if (values.red != 0 || values.green != 0 || values.blue != 0)
        return BitmapAdjustRgb(bitmap, nullptr, nullptr, values.red, values.green, values.blue);
    return 0;
}

// --- Filter ---------------------------------------------------------------

int ApplyFilter(Bitmap* bitmap, const FilterValues& values) {
    if (bitmap->pixelType == kPixelPalette) {
        const int rc = BitmapReduceColours(bitmap, nullptr, kColourBGR, kDitherNone);
        if (rc != 0) return rc;
    }
    if (values.reduceNoise) BitmapReduceNoise(bitmap, nullptr, nullptr);
    if (values.sharpen != 0) BitmapSharpen(bitmap, nullptr, nullptr, values.sharpen);
    if (values.smooth != 0) BitmapSmooth(bitmap, nullptr, nullptr, values.smooth);
    return 0;
}

// --- Rotate ---------------------------------------------------------------

int RotateLosslessCode(int choice) {
    switch (choice) {
    case kRotateRight: return kLosslessRotate90;
    case kRotateHalf: return kLosslessRotate180;
    case kRotateMirror: return kLosslessFlipHorizontal;
    case kRotateFlip: return kLosslessFlipVertical;
    default: return kLosslessRotate270;
    }
}

int ApplyRotate(Bitmap* bitmap, int choice) {
    switch (choice) {
    case kRotateRight: return BitmapRotate(bitmap, nullptr, 90, nullptr, 0);
    case kRotateHalf: return BitmapRotate(bitmap, nullptr, 180, nullptr, 0);
    case kRotateMirror: return BitmapMirror(bitmap, nullptr, nullptr);
    case kRotateFlip: return BitmapFlip(bitmap, nullptr, nullptr);
    default: return BitmapRotate(bitmap, nullptr, -90, nullptr, 0);
    }
}

LosslessOutcome RotateJpegLosslessly(const wchar_t* source, OutputFolder folder, int choice,
                                     bool (*confirmOverwrite)(void* user, const wchar_t* path), void* user,
                                     wchar_t* outputPath) {
    wchar_t outputName[kOutputPathCapacity];
    if (!BuildOutputName(source, nullptr, nullptr, outputName, &folder, FindFormatByName("jpeg")))
        return kLosslessFailed;
    const std::wstring path = std::wstring(folder.folder) + outputName;
    if (path.size() >= kOutputPathCapacity) return kLosslessFailed;
    if (outputPath) std::wmemcpy(outputPath, path.c_str(), path.size() + 1);

    const int code = RotateLosslessCode(choice);
    // Camera pictures are seldom whole blocks wide and high (4000 x 3000 at
    // 4:2:0 is not): the partial edge blocks, which no lossless transform can
    // move, are dropped rather than the file refused.
    constexpr int kTrimPartialBlocks = 1;
    // The transform writes beside its destination and moves the result over
    // it only when complete, so a failure leaves the source (or an older
    // output) exactly as it was.
    if (SameNameNoCase(path, source))
        return TransformJpegFileInPlace(source, code, kTrimPartialBlocks, 0) ? kLosslessReplacedExisting
                                                                             : kLosslessFailed;
    const bool exists = WidePathExists(path.c_str()) != 0;
    if (exists && confirmOverwrite && !confirmOverwrite(user, path.c_str())) return kLosslessKept;
    if (!TransformJpegLosslessly(source, path.c_str(), 0, 0, 0, 0, code, kTrimPartialBlocks, 0))
        return kLosslessFailed;
    return exists ? kLosslessReplacedExisting : kLosslessWritten;
}

// --- Crop -----------------------------------------------------------------

int32_t CropScale(int32_t fullWidth, int32_t previewWidth) {
    if (previewWidth <= 0 || fullWidth <= 0) return 100;
    const int64_t scale = int64_t(fullWidth) * 100 / previewWidth;
    return scale < 1 ? 1 : int32_t(std::min<int64_t>(scale, INT32_MAX));
}

int32_t CropToPicture(int32_t previewValue, int32_t scale) {
    return int32_t(std::clamp<int64_t>(int64_t(previewValue) * scale / 100, INT32_MIN, INT32_MAX));
}

int32_t CropToPreview(int32_t pictureValue, int32_t scale) {
    if (scale <= 0) return pictureValue;
    return int32_t(std::clamp<int64_t>(int64_t(pictureValue) * 100 / scale, INT32_MIN, INT32_MAX));
}

int ApplyCrop(Bitmap* bitmap, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    if (x > uint32_t(INT32_MAX) || y > uint32_t(INT32_MAX)) return kGeometryBadSize;
    const PictureRect rect{int32_t(x), int32_t(y), int32_t(std::min<uint32_t>(width, INT32_MAX)),
                           int32_t(std::min<uint32_t>(height, INT32_MAX))};
    return BitmapCropClipped(bitmap, nullptr, &rect);
}

// --- Resize ---------------------------------------------------------------

ResizeSize ResizeTarget(const ResizeRequest& request, int32_t width, int32_t height) {
    ResizeSize size{0, 0, 0};
    const int64_t w = std::max(width, 1);
    const int64_t h = std::max(height, 1);
    switch (request.entry) {
    case kResizeScreen: size = {request.screenWidth, request.screenHeight, 0}; break;
    case kResizeMms: size = {160, 120, 0}; break;
    case kResize240Free: size = {240, int32_t(240 * h / w), 0}; break;
    case kResize240x180: size = {240, 180, 0}; break;
    case kResizeQvga: size = {320, 240, 0}; break;
    case kResizeVga: size = {640, 480, 0}; break;
    case kResizeSvga: size = {800, 600, 0}; break;
    case kResizeXga: size = {1024, 768, 0}; break;
    case kResize75: size = {int32_t(w * 75 / 100), int32_t(h * 75 / 100), 0}; break;
    case kResize50: size = {int32_t(w * 50 / 100), int32_t(h * 50 / 100), 0}; break;
    case kResize25: size = {int32_t(w * 25 / 100), int32_t(h * 25 / 100), 0}; break;
    default: {
        int64_t tw = request.width;
        int64_t th = request.height;
        if (request.keepRatio) {
            th = tw * h / w;
            if (th > request.height) {
                th = request.height;
                tw = th * w / h;
            }
        }
        size = {int32_t(std::min<int64_t>(tw, INT32_MAX)), int32_t(std::min<int64_t>(th, INT32_MAX)), request.dpi};
        break;
    }
    }
    if ((size.width > size.height && height > width) || (size.height > size.width && width > height))
        std::swap(size.width, size.height);
    return size;
}

int32_t KeptRatioSide(int64_t typed, int32_t typedSide, int32_t otherSide) {
    if (typed <= 0 || typedSide <= 0 || otherSide <= 0) return 0;
    const int64_t side = std::min<int64_t>(typed, INT32_MAX) * otherSide / typedSide;
    return int32_t(std::min<int64_t>(side, INT32_MAX));
}

void JpegLoadSize(int32_t width, int32_t height, int32_t targetWidth, int32_t targetHeight, int32_t* loadWidth,
                  int32_t* loadHeight) {
    *loadWidth = width;
    *loadHeight = height;
    for (int32_t d = 1; d <= kLargestJpegDivisor; ++d) {
        if (width / d < targetWidth || height / d < targetHeight) break;
        *loadWidth = width / d;
        *loadHeight = height / d;
    }
}

void UprightFullSize(const ImageInfo& info, const Bitmap& loaded, int32_t* width, int32_t* height) {
    *width = std::max<int32_t>(info.width, 1);
    *height = std::max<int32_t>(info.height, 1);
    if ((loaded.width > loaded.height) != (*width > *height) && loaded.width != loaded.height)
        std::swap(*width, *height);
}

void ResizeLoadOptions(const wchar_t* path, const ResizeRequest& request, LoadOptions* options, ImageInfo* info) {
    InitLoadOptions(options);
    options->flags |= kToolLoadFlags;
    const int jpeg = FindFormatByName("jpeg");
    if (QueryPictureInfo(path, -1, 0, info) == 0 && info->formatIndex == jpeg && info->width > 0 &&
        info->height > 0) {
        const ResizeSize target = ResizeTarget(request, info->width, info->height);
        int32_t w = 0;
        int32_t h = 0;
        JpegLoadSize(info->width, info->height, target.width, target.height, &w, &h);
        if (w < info->width) {
            options->flags |= kLoadReduced;
            options->targetWidth = w;
            options->targetHeight = h;
        }
    }
}

int ApplyResize(Bitmap* bitmap, const ResizeRequest& request, const ImageInfo& info) {
    int32_t width = bitmap->width;
    int32_t height = bitmap->height;
    if (info.width > 0 && info.height > 0) UprightFullSize(info, *bitmap, &width, &height);
    const ResizeSize size = ResizeTarget(request, width, height);
    const int rc = BitmapResample(bitmap, nullptr, size.width, size.height, 0);
    if (rc == 0 && size.dpi > 0) {
        bitmap->xResolution = size.dpi;
        bitmap->yResolution = size.dpi;
    }
    return rc;
}
