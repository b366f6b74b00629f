#include "tools/capture_win.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "imagelib/geometry.h"
#include "imagelib/osfile.h"
#include "imagelib/save.h"
#include "processing/reduce.h"

int ScreenGrabber(const RECT* rect, Bitmap* bitmap) {
    if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) return 0;
    HDC screen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    if (!screen) return 0;
    const int left = std::max(0L, rect->left);
    const int top = std::max(0L, rect->top);
    const int width = std::min(GetDeviceCaps(screen, HORZRES), int(rect->right)) - left;
    const int height = std::min(GetDeviceCaps(screen, VERTRES), int(rect->bottom)) - top;
    int done = 0;
    if (width > 0 && height > 0 && AllocBitmap(bitmap, kPixelBGR, 4, width, height)) {
        bitmap->orientation = kOrientationBottomUp;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;  // bottom-up
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (memory && dib && bits) {
            HGDIOBJ old = SelectObject(memory, dib);
            BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
            SelectObject(memory, old);
            GdiFlush();
            // DIB rows are padded to 4 bytes, as the bitmap's are.
            const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
            for (int y = 0; y < height; ++y)
                std::memcpy(bitmap->pixels + size_t(y) * size_t(bitmap->bytesPerRow),
                            static_cast<const uint8_t*>(bits) + size_t(y) * stride, size_t(width) * 3);
            done = 1;
        } else {
            FreeBitmap(bitmap);
        }
        if (dib) DeleteObject(dib);
        if (memory) DeleteDC(memory);
    }
    DeleteDC(screen);
    return done;
}

int CaptureScreenToFile(const wchar_t* folder, wchar_t* name, size_t nameCapacity, const OutputOptions& options) {
    HDC screen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    if (!screen) return 0;
    const RECT all{0, 0, GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, VERTRES)};
    DeleteDC(screen);
    Bitmap bitmap{};
    if (!ScreenGrabber(&all, &bitmap)) return 0;
    int written = 0;
    const int dither = options.colourMode == kColourBilevel ? kDitherDiffusion : kDitherNone;
    if (BitmapReduceColours(&bitmap, nullptr, options.colourMode, dither) == 0 &&
        FindCaptureName(folder, options.format, WidePathExists, name, nameCapacity)) {
        SaveOptions save{};
        InitSaveOptions(&save);
        save.formatIndex = int16_t(options.format);
        save.quality = int16_t(options.jpegQuality);
        save.compressionLevel = int16_t(options.compression);
        written = SavePictureToFile((std::wstring(folder) + name).c_str(), &bitmap, &save) == 0;
    }
    FreeBitmap(&bitmap);
    return written;
}
