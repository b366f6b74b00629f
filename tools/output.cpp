#include "tools/output.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "imagelib/checked.h"
#include "imagelib/formats.h"
#include "imagelib/osfile.h"
#include "imagelib/save.h"
#include "imagelib/savecontext.h"
#include "imagelib/writers/jpegwriter.h"
#include "processing/exifedit.h"
#include "processing/geometry.h"
#include "processing/reduce.h"

namespace {

// Thumbnail box when the old thumbnail's size cannot be read.
constexpr uint32_t kDefaultThumbWidth = 160;
constexpr uint32_t kDefaultThumbHeight = 120;
constexpr int kThumbnailQuality = 80;
constexpr size_t kThumbnailSlack = 4096;
constexpr int kLastCaptureNumber = 999;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

int FormatIndex(const char* name) { return FindFormatByName(name); }

int32_t ModeForChoice(int32_t choice, bool trueColourAllowed) {
    switch (choice) {
    case kOutputBlackWhite: return kColourBilevel;
    case kOutputColours16: return kColourPalette8 + 1;  // 16 colours
    case kOutputColours256: return kColourPalette256;
    default: return trueColourAllowed ? kColourRGB : kColourPalette256;
    }
}

bool CopyOut(wchar_t* dst, size_t capacity, const std::wstring& text) {
    if (text.size() >= capacity) return false;
    std::wmemcpy(dst, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace

int32_t OutputColourMode(int32_t format, int32_t gifMode, int32_t bmpMode, int32_t pngMode) {
    if (format == FormatIndex("gif")) return ModeForChoice(gifMode, false);
    if (format == FormatIndex("bmp")) return ModeForChoice(bmpMode, true);
    if (format == FormatIndex("png")) return ModeForChoice(pngMode, true);
    return kColourRGB;
}

OutputOptions MakeOutputOptions(const OutputChoices& choices) {
    OutputOptions options{};
    options.format = choices.format;
    options.jpegQuality = std::clamp(choices.jpegQuality, 1, 100);
    options.pngCompression = std::clamp(choices.pngCompression, 1, 9);
    options.gifMode = choices.gifMode;
    options.bmpMode = choices.bmpMode;
    options.pngMode = choices.pngMode;
    options.compression = choices.format == FormatIndex("png") ? options.pngCompression : 0;
    options.colourMode = OutputColourMode(choices.format, choices.gifMode, choices.bmpMode, choices.pngMode);
    return options;
}

size_t FileNameOffset(const wchar_t* path) {
    size_t start = 0;
    for (size_t i = 0; path[i]; ++i)
        if (IsSeparator(path[i])) start = i + 1;
    return start;
}

bool SetOutputExtension(wchar_t* path, size_t capacity, int32_t format) {
    const wchar_t* dot = std::wcsrchr(path + FileNameOffset(path), L'.');
    if (!dot) return true;
    std::wstring result(path, size_t(dot - path) + 1);
    const char* extension = GetFormatDefaultExtension(format);
    if (extension) {
        for (size_t i = 0; extension[i] && i < kOutputExtensionCapacity - 1; ++i)
            result += wchar_t(static_cast<unsigned char>(extension[i]));
    }
    return CopyOut(path, capacity, result);
}

bool BuildOutputName(const wchar_t* source, wchar_t* sourceFolder, wchar_t* sourceName, wchar_t* outputName,
                     OutputFolder* folder, int32_t format) {
    const size_t nameStart = FileNameOffset(source);
    const std::wstring folderText(source, nameStart);
    if (folder->folder[0] == 0 && !CopyOut(folder->folder, kOutputPathCapacity, folderText)) return false;
    if (sourceFolder && !CopyOut(sourceFolder, kOutputPathCapacity, folderText)) return false;
    const std::wstring name(source + nameStart);
    if (sourceName && !CopyOut(sourceName, kOutputPathCapacity, name)) return false;

    const size_t dot = name.rfind(L'.');
    const std::wstring stem = dot == std::wstring::npos ? name : name.substr(0, dot);
    const std::wstring extension = dot == std::wstring::npos ? std::wstring(L"bmp") : name.substr(dot + 1);
    const std::wstring output = folder->prefix + stem + folder->suffix + L"." + extension;
    return CopyOut(outputName, kOutputPathCapacity, output) &&
           SetOutputExtension(outputName, kOutputPathCapacity, format);
}

void TurnBoxToPicture(uint32_t* boxWidth, uint32_t* boxHeight, int32_t pictureWidth, int32_t pictureHeight) {
    const bool boxLandscape = *boxWidth > *boxHeight;
    const bool boxPortrait = *boxWidth < *boxHeight;
    if ((boxLandscape && pictureHeight > pictureWidth) || (boxPortrait && pictureWidth > pictureHeight))
        std::swap(*boxWidth, *boxHeight);
}

bool RebuildExifThumbnail(Bitmap* bitmap) {
    if (!ExifHasThumbnail(bitmap->metadata)) return false;
    uint32_t boxWidth = 0;
    uint32_t boxHeight = 0;
    if (!ExifGetThumbnailSize(bitmap->metadata, &boxWidth, &boxHeight) || boxWidth == 0 || boxHeight == 0) {
        boxWidth = kDefaultThumbWidth;
        boxHeight = kDefaultThumbHeight;
    }
    TurnBoxToPicture(&boxWidth, &boxHeight, bitmap->width, bitmap->height);

    Bitmap copy{};
    if (BitmapResizeToFit(bitmap, &copy, int32_t(boxWidth), int32_t(boxHeight), kFitKeepAspect, 0) != 0)
        return false;
    int rc = 0;
    if (copy.pixelType == kPixelBilevel) rc = BitmapReduceColours(&copy, nullptr, kColourGrey256, kDitherNone);
    else if (copy.pixelType != kPixelRGB && copy.pixelType != kPixelGrey)
        rc = BitmapReduceColours(&copy, nullptr, kColourRGB, kDitherNone);
    bool replaced = false;
    if (rc == 0) {
        size_t capacity = 0;
        size_t written = 0;
        if (CheckedMul(size_t(copy.height), size_t(copy.bytesPerRow), &capacity) &&
            CheckedAdd(capacity, kThumbnailSlack, &capacity)) {
            auto* buffer = static_cast<uint8_t*>(std::malloc(capacity));
            if (buffer &&
                EncodeJpegBuffer(copy.pixels, copy.width, copy.height, copy.bytesPerRow, copy.components, buffer,
                                 capacity, &written, kThumbnailQuality) == kEncodeJpegDone)
                replaced = ExifReplaceThumbnail(bitmap->metadata, buffer, written) != 0;
            std::free(buffer);
        }
    }
    FreeBitmap(&copy);
    return replaced;
}

SaveOutcome SaveWithOutputOptions(const OutputOptions& options, OutputFolder folder, const wchar_t* source,
                                  Bitmap* bitmap, bool announce, const SaveHooks& hooks, wchar_t* outputPath) {
    wchar_t sourceName[kOutputPathCapacity];
    wchar_t outputName[kOutputPathCapacity];
    std::wstring path;
    int rc = 0;
    if (!BuildOutputName(source, nullptr, sourceName, outputName, &folder, options.format)) {
        rc = kSaveCannotCreate;
    } else {
        path = std::wstring(folder.folder) + outputName;
        if (path.size() >= kOutputPathCapacity) rc = kSaveCannotCreate;
    }
    if (rc != 0) {
        if (hooks.failed) hooks.failed(hooks.user, source, rc);
        return kSaveOutcomeFailed;
    }

    const bool exists = WidePathExists(path.c_str()) != 0;
    if (exists && hooks.confirmOverwrite && !hooks.confirmOverwrite(hooks.user, path.c_str()))
        return kSaveOutcomeSkipped;

    const int dither = options.colourMode == kColourBilevel ? kDitherDiffusion : kDitherNone;
    rc = BitmapReduceColours(bitmap, nullptr, options.colourMode, dither);
    if (rc == 0) {
        if (options.format == FindFormatByName("jpeg")) RebuildExifThumbnail(bitmap);
        SaveOptions save{};
        InitSaveOptions(&save);
        save.formatIndex = int16_t(options.format);
        save.quality = int16_t(options.jpegQuality);
        save.compressionLevel = int16_t(options.compression);
        rc = SavePictureToFile(path.c_str(), bitmap, &save);
    }
    if (rc != 0) {
        if (hooks.failed) hooks.failed(hooks.user, path.c_str(), rc);
        return kSaveOutcomeFailed;
    }
    if (outputPath) CopyOut(outputPath, kOutputPathCapacity, path);
    if (hooks.saved) hooks.saved(hooks.user, sourceName, outputName, announce);
    if (exists && hooks.replaced) hooks.replaced(hooks.user, folder.folder, outputName);
    return kSaveOutcomeSaved;
}

bool FindCaptureName(const wchar_t* folder, int32_t format, int (*exists)(const wchar_t* path), wchar_t* name,
                     size_t nameCapacity) {
    for (int n = 1; n <= kLastCaptureNumber; ++n) {
        wchar_t candidate[kOutputPathCapacity];
        std::swprintf(candidate, kOutputPathCapacity, L"capture%03d.bmp", n);
        if (!SetOutputExtension(candidate, kOutputPathCapacity, format)) return false;
        const std::wstring path = std::wstring(folder) + candidate;
        if (!exists(path.c_str())) return CopyOut(name, nameCapacity, candidate);
    }
    return false;
}

void TellRewritten(const RewriteListener* listener, const wchar_t* path) {
    if (!listener || !listener->rewritten) return;
    const size_t name = FileNameOffset(path);
    listener->rewritten(listener->user, std::wstring(path, name).c_str(), path + name);
}
