// The recipient and attachment name rules of e-mail sending.
#include "tools/mail.h"

#include <algorithm>

#include "imagelib/bitmap.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "imagelib/loadcontext.h"
#include "imagelib/geometry.h"
#include "imagelib/save.h"
#include "processing/reduce.h"
#include "shell/pictureload.h"

std::vector<std::wstring> MailSplitAddresses(const wchar_t* text) {
    std::vector<std::wstring> addresses;
    if (!text) return addresses;
    const wchar_t* p = text;
    while (*p) {
        while (*p == L' ') ++p;
        if (!*p) break;
        const wchar_t* start = p;
        while (*p && *p != L';' && *p != L' ') ++p;
        if (p > start) addresses.emplace_back(start, size_t(p - start));
        if (*p) ++p;
    }
    return addresses;
}

size_t MailCountAddresses(const wchar_t* text) { return MailSplitAddresses(text).size(); }

std::wstring MailAttachmentName(const wchar_t* name) {
    if (!name) return std::wstring();
    const std::wstring whole(name);
    const size_t cut = whole.find_last_of(L"\\/");
    return cut == std::wstring::npos ? whole : whole.substr(cut + 1);
}

std::wstring MailTemporaryName(const std::wstring& tempFolder, int position) {
    return tempFolder + L"trelmo_temporary_" + std::to_wstring(position) + L".tmp";
}

int MailConvertPicture(const wchar_t* source, const wchar_t* temp, int sizeChoice, int formatChoice,
                       std::wstring* attachmentName, bool* loadFailed) {
    static const int kPercent[kMailSizeChoices] = {100, 75, 50, 25, 10};
    static const int16_t kJpegQuality[3] = {100, 75, 50};
    if (loadFailed) *loadFailed = false;
    if (!source || !temp || sizeChoice < 0 || sizeChoice >= kMailSizeChoices || formatChoice < 0 ||
        formatChoice >= kMailFormatChoices)
        return kLoadCannotOpen;

    // The whole picture, upright, with its comment, texts and metadata, so
    // that the copy sent carries them.
    LoadOptions load;
    InitLoadOptions(&load);
    load.flags |= kLoadKeepComment | kLoadKeepTexts | kLoadKeepMetadata;
    Bitmap bitmap{};
    ImageInfo info{};
    int result = LoadPictureOriented(source, &bitmap, &load, &info, MetadataExifOrientation());
    const int16_t sourceFormat = info.formatIndex;
    FreePictureInfo(&info);
    if (result != 0) {
        FreeBitmap(&bitmap);
        if (loadFailed) *loadFailed = true;
        return result;
    }
    if (sizeChoice > 0) {
        const int32_t width = int32_t(int64_t(bitmap.width) * kPercent[sizeChoice] / 100);
        const int32_t height = int32_t(int64_t(bitmap.height) * kPercent[sizeChoice] / 100);
        if (width > 0 && height > 0) result = BitmapResample(&bitmap, nullptr, width, height, 0);
    }

    SaveOptions save;
    InitSaveOptions(&save);
    switch (formatChoice) {
    case 0: {
        // The picture's own format when it can be written; JPEG otherwise.
        const FormatRow* row = GetFormatRow(sourceFormat);
        const bool writable = row && (row->flags & kFormatHasWriter) && row->writeFn;
        save.formatIndex = writable ? sourceFormat : int16_t(kFormatJpeg);
        save.quality = 75;
        break;
    }
    case 1:
        save.formatIndex = kFormatPng;
        save.compressionLevel = 7;
        break;
    case 5:
        save.formatIndex = kFormatGif;
        break;
    default:
        save.formatIndex = kFormatJpeg;
        save.quality = kJpegQuality[formatChoice - 2];
        break;
    }
    // The writers take their own colour models: GIF a palette of at most 256
    // colours chosen for the picture, JPEG no palette.
    int reduceMode = 0;
    if (save.formatIndex == kFormatGif && bitmap.bytesPerPixel > 1)
        reduceMode = kColourPalette256;
    else if (save.formatIndex == kFormatJpeg && bitmap.pixelType == kPixelPalette)
        reduceMode = kColourRGB;
    if (result == 0 && reduceMode) result = BitmapReduceColours(&bitmap, nullptr, reduceMode, kDitherNone);
    if (result == 0) result = SavePictureToFile(temp, &bitmap, &save);
    FreeBitmap(&bitmap);
    if (result != 0) return result;
    if (attachmentName) {
        const FormatRow* row = GetFormatRow(save.formatIndex);
        std::wstring base = MailAttachmentName(source);
        const size_t dot = base.rfind(L'.');
        if (dot != std::wstring::npos) base.resize(dot);
        std::wstring extension;
        if (row && row->extensions[0])
            for (const char* c = row->extensions[0]; *c; ++c) extension.push_back(wchar_t(*c));
        *attachmentName = extension.empty() ? base : base + L"." + extension;
    }
    return 0;
}
