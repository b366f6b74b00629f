// What the batch tools (convert, adjust, crop, resize, rotate, filter) do to
// the browser's selection, apart from their sheets: stepping the preview,
// the apply loop, and each tool's operation on one loaded picture.
//
// Portable: no platform headers. The sheets are batchsheet_win.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagelib/bitmap.h"
#include "imagelib/loadcontext.h"
#include "tools/output.h"

struct SelectedFile;

// Previous and next buttons of the preview's menu bar.
struct StepStates {
    bool previous;
    bool next;
};
StepStates StepButtonStates(uint32_t count, uint32_t current);
// The index after a step (-1 previous, +1 next), staying inside the selection.
uint32_t StepIndex(uint32_t count, uint32_t current, int direction);

// One pass of a tool over the selection. `load` fills a cleared bitmap
// (0 done); `operate` changes it (0 done); `save` writes it, with
// `announce` set for the last file of the range only. A file that fails to
// load or to change is passed over; the bitmap is freed after each file.
struct ApplyHooks {
    void* user = nullptr;
    int (*load)(void* user, const wchar_t* path, Bitmap* bitmap) = nullptr;
    int (*operate)(void* user, const wchar_t* path, Bitmap* bitmap) = nullptr;  // null: unchanged
    SaveOutcome (*save)(void* user, const wchar_t* path, Bitmap* bitmap, bool announce) = nullptr;
};
struct ApplyCounts {
    uint32_t saved;
    uint32_t skipped;  // not loaded, refused by the operation, or kept by the user
    uint32_t failed;   // the save failed
};
// Apply: the current file only; Apply all: every file in selection order.
ApplyCounts RunApplyLoop(const SelectedFile* files, uint32_t count, uint32_t current, bool all,
                         const ApplyHooks& hooks);
// Whether the sheet closes after an apply: after Apply all, or when the
// selection holds one file.
inline bool ApplyClosesSheet(uint32_t count, bool all) { return all || count == 1; }

// Load flags of a tool's full-size load.
constexpr uint32_t kToolLoadFlags = kLoadKeepComment | kLoadKeepTexts | kLoadKeepMetadata;
constexpr uint32_t kConvertLoadFlags = kToolLoadFlags | kLoadAcceptDamaged;

// --- Adjust ---------------------------------------------------------------

struct AdjustValues {
    int32_t brightness = 0;  // -100..100
    int32_t contrast = 0;    // -100..100
    int32_t red = 0;         // -100..100
    int32_t green = 0;
    int32_t blue = 0;
    double gamma = 1.0;      // 0.1 and above
    bool autoLevels = false;
    bool autoContrast = false;
};
constexpr double kAdjustGammaMin = 0.1;
// Brightness, contrast and gamma leave the colours as they are.
bool AdjustColoursUnchanged(const AdjustValues& values);
// A typed value: integers clamped to -100..100, gamma at least 0.1.
int32_t ClampAdjustValue(long typed);
double ClampAdjustGamma(double typed);
// The adjust page's settings, in the order of its list.
enum AdjustSetting : int {
    kAdjustBrightness = 0,
    kAdjustContrast = 1,
    kAdjustGamma = 2,
    kAdjustRed = 3,
    kAdjustGreen = 4,
    kAdjustBlue = 5,
    kAdjustSettingCount = 6,
};
// The trackbar's range for a setting: -100..100, gamma 10..200 (tenths).
void AdjustSettingRange(int setting, int32_t* minimum, int32_t* maximum);
// The trackbar position of a setting's value (gamma x 10, truncated), and
// the value a position gives (gamma = position x 0.1).
int32_t AdjustSettingPosition(const AdjustValues& values, int setting);
void SetAdjustFromPosition(AdjustValues* values, int setting, int32_t position);
// A typed value: integers clamped, gamma at least 0.1. False when the text
// is no number (nothing changes).
bool SetAdjustFromText(AdjustValues* values, int setting, const wchar_t* text);

// The viewer adjust bar: brightness, contrast (0..200, value + 100) and
// gamma (1..300, hundredths) on one trackbar.
enum ViewAdjustSetting : int { kViewBrightness = 0, kViewContrast = 1, kViewGamma = 2 };
struct ViewAdjustValues {
    int32_t brightness = 0;
    int32_t contrast = 0;
    double gamma = 1.0;
};
void ViewAdjustRange(int setting, int32_t* minimum, int32_t* maximum);
int32_t ViewAdjustPosition(const ViewAdjustValues& values, int setting);
void SetViewAdjustFromPosition(ViewAdjustValues* values, int setting, int32_t position);
// Every byte of the shown three-byte picture from the same byte of the
// backup through the table. False when the two records do not match.
bool MapThroughTable(const Bitmap& backup, Bitmap* shown, const uint8_t table[256]);

// The adjust tool's operation: automatic levels and contrast when asked,
// brightness, contrast and gamma unless unchanged, then the colour offsets
// (red, green and blue whatever the picture's byte order). 0 done, else the
// refusing operation's result (17 for a 1-bit picture).
int ApplyAdjust(Bitmap* bitmap, const AdjustValues& values);

// --- Filter ---------------------------------------------------------------

struct FilterValues {
    int32_t sharpen = 0;  // 0..90
    int32_t smooth = 0;   // 0..100
    bool reduceNoise = false;
};
// A palette picture first becomes true colour (blue, green, red); then noise
// reduction, sharpening and smoothing as asked. 0 done, else the colour
// conversion's result.
int ApplyFilter(Bitmap* bitmap, const FilterValues& values);

// --- Rotate ---------------------------------------------------------------

enum RotateChoice : int {
    kRotateLeft = 0,     // -90 degrees
    kRotateRight = 1,    // +90 degrees
    kRotateHalf = 2,     // 180 degrees
    kRotateMirror = 3,   // left to right
    kRotateFlip = 4,     // top to bottom
};
// The lossless transform code of a choice (LosslessCode).
int RotateLosslessCode(int choice);
int ApplyRotate(Bitmap* bitmap, int choice);

// Outcome of the lossless path for one JPEG file.
enum LosslessOutcome : int {
    kLosslessWritten = 0,
    kLosslessReplacedExisting = 1,  // written over an existing output (or the source itself)
    kLosslessKept = 2,              // the user kept the existing output
    kLosslessFailed = 3,            // nothing changed
};
// Turns `source` losslessly into the output name the folder choices give
// (JPEG extension). Written over the source itself when the names agree
// (without case): the source is replaced only by the complete result.
// `confirmOverwrite` (may be null) is asked for another existing file.
// `outputPath` (capacity kOutputPathCapacity, may be null) receives the path.
LosslessOutcome RotateJpegLosslessly(const wchar_t* source, OutputFolder folder, int choice,
                                     bool (*confirmOverwrite)(void* user, const wchar_t* path), void* user,
                                     wchar_t* outputPath);

// --- Crop -----------------------------------------------------------------

// The preview's scale in percent: full width x 100 / preview width, 100 for
// an empty preview.
int32_t CropScale(int32_t fullWidth, int32_t previewWidth);
// A preview length in picture pixels, and back.
int32_t CropToPicture(int32_t previewValue, int32_t scale);
int32_t CropToPreview(int32_t pictureValue, int32_t scale);
// Cuts the rectangle (clipped to the picture) out of the bitmap in place.
// 16 when nothing is left.
int ApplyCrop(Bitmap* bitmap, uint32_t x, uint32_t y, uint32_t width, uint32_t height);

// --- Resize ---------------------------------------------------------------

enum ResizeEntry : int32_t {
    kResizeUser = 0,
    kResizeScreen = 1,
    kResizeMms = 2,
    kResize240Free = 3,
    kResize240x180 = 4,
    kResizeQvga = 5,
    kResizeVga = 6,
    kResizeSvga = 7,
    kResizeXga = 8,
    kResize75 = 9,
    kResize50 = 10,
    kResize25 = 11,
    kResizeEntryCount = 12,
};
struct ResizeRequest {
    int32_t entry = kResizeScreen;
    int32_t width = 0;    // the user's size (entry 0)
    int32_t height = 0;
    int32_t dpi = 0;
    bool keepRatio = true;
    int32_t screenWidth = 240;
    int32_t screenHeight = 320;
};
struct ResizeSize {
    int32_t width;
    int32_t height;
    int32_t dpi;  // 0: unchanged
};
// The target size of a picture of `width` x `height`.
ResizeSize ResizeTarget(const ResizeRequest& request, int32_t width, int32_t height);
// The other side of a size typed with Keep ratio on: `typed` pixels along the
// picture's side of `typedSide`, scaled to its side of `otherSide` (integer
// division); 0 for a picture with no size or nothing typed, at most INT32_MAX.
int32_t KeptRatioSide(int64_t typed, int32_t typedSide, int32_t otherSide);
// The size a JPEG of `width` x `height` is decoded at for the target: the
// smallest W / d x H / d (d = 1..15) that still covers the target.
void JpegLoadSize(int32_t width, int32_t height, int32_t targetWidth, int32_t targetHeight, int32_t* loadWidth,
                  int32_t* loadHeight);
// The full size of a picture a tool loaded (perhaps reduced, perhaps turned
// upright on loading): the file's size (`info`), its sides exchanged when
// the loaded picture lies the other way; at least 1 x 1.
void UprightFullSize(const ImageInfo& info, const Bitmap& loaded, int32_t* width, int32_t* height);
// Load options of the resize tool for one file: the tool's flags and, for a
// JPEG, the reduced size (JpegLoadSize of the file's target) that the reader
// decodes at. `info` (zeroed first, freed by the caller) receives what the
// file's header says, for ApplyResize.
void ResizeLoadOptions(const wchar_t* path, const ResizeRequest& request, LoadOptions* options, ImageInfo* info);
// Resamples the loaded bitmap to the target of the picture's full size
// (UprightFullSize of `info`, the bitmap's own size when the header was not
// read), so a picture decoded reduced still gets the file's target; sets the
// resolution when the target carries one. 0 done.
int ApplyResize(Bitmap* bitmap, const ResizeRequest& request, const ImageInfo& info);
