// The display layer on Win32. See display_win.h.
#include "display/display_win.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

static_assert(sizeof(DibInfo) == sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), "DibInfo is a BITMAPINFO");
static_assert(sizeof(DibColour) == sizeof(RGBQUAD), "DibColour is an RGBQUAD");

int CreateDib(ScreenBitmap* sb) {
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&sb->info), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
    if (!dib || !bits) {
        if (dib) DeleteObject(dib);
        return 0;
    }
    sb->dib = dib;
    sb->dibPixels = static_cast<uint8_t*>(bits);
    return 1;
}

void DeleteDib(void* dib) { DeleteObject(static_cast<HBITMAP>(dib)); }

// A logical palette of the colours, through a temporary record of 256
// entries; null when either cannot be made.
void* CreateLogicalPalette(const DibColour* colours, int count) {
    if (count < 1 || count > 256) return nullptr;
    auto* record = static_cast<LOGPALETTE*>(std::malloc(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY)));
    if (!record) return nullptr;
    record->palVersion = 0x300;
    record->palNumEntries = WORD(count);
    for (int i = 0; i < count; ++i)
        record->palPalEntry[i] = PALETTEENTRY{colours[i].red, colours[i].green, colours[i].blue, 0};
    HPALETTE palette = CreatePalette(record);
    std::free(record);
    return palette;
}

void DeletePalette(void* palette) { DeleteObject(static_cast<HPALETTE>(palette)); }

void Flush() { GdiFlush(); }

const DibServices kServices = {CreateDib, DeleteDib, CreateLogicalPalette, DeletePalette, Flush};

int ScreenBits() {
    HDC screen = GetDC(nullptr);
    const int bits = screen ? GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return bits;
}

}  // namespace

const DibServices* Win32DibServices() { return &kServices; }

int DisplayInit() {
    const int bits = ScreenBits();
    int ok = DisplayInitForDepth(bits);
    if (ok && bits < 9) {
        DibColour cube[256] = {};
        FillCubeColours(cube);
        g_Display.sharedPalette = CreateLogicalPalette(cube, kCubeColours);
        ok = g_Display.sharedPalette != nullptr;
    }
    return ok;
}

void DisplayRelease() {
    if (g_Display.sharedPalette) DeleteObject(static_cast<HPALETTE>(g_Display.sharedPalette));
    g_Display.sharedPalette = nullptr;
    DisplayReleaseTables();
}

void ScreenBitmapInitForScreen(HWND window, ScreenBitmap* sb) {
    std::memset(sb, 0, sizeof *sb);
    const int side = GetSystemMetrics(SM_CXSCREEN) > GetSystemMetrics(SM_CYSCREEN) ? GetSystemMetrics(SM_CXSCREEN)
                                                                                   : GetSystemMetrics(SM_CYSCREEN);
    sb->dibWidth = side;
    sb->dibHeight = side;
    ScreenBitmapCreateDibWith(&kServices, sb, nullptr);
}

int ScreenBitmapCreateDib(HWND window, ScreenBitmap* sb, const Bitmap* picture) {
    return ScreenBitmapCreateDibWith(&kServices, sb, picture);
}

int ScreenBitmapPrepare(HWND window, ScreenBitmap* sb, const Bitmap* picture, int32_t targetWidth,
                        int32_t targetHeight, uint32_t flags) {
    return ScreenBitmapPrepareWith(&kServices, sb, picture, targetWidth, targetHeight, flags);
}

void ScreenBitmapFree(ScreenBitmap* sb) { ScreenBitmapFreeWith(&kServices, sb); }

namespace {
std::atomic<bool> g_screenBitmapsFail{false};
}  // namespace

void SetScreenBitmapsFailForTesting(bool fail) { g_screenBitmapsFail.store(fail); }

HBITMAP MakeScreenBitmap(HWND window, const Bitmap* picture, int32_t width, int32_t height, void** pixels) {
    if (pixels) *pixels = nullptr;
    if (g_screenBitmapsFail.load()) return nullptr;
    uint8_t* bits = nullptr;
    void* dib = MakeScreenBitmapWith(&kServices, picture, width, height, &bits);
    if (pixels) *pixels = bits;
    return static_cast<HBITMAP>(dib);
}

void ScreenBitmapDraw(HDC dc, ScreenBitmap* sb, int32_t x, int32_t y, const PictureRect* clip) {
    if (!clip || clip->width <= 0 || clip->height <= 0 || !sb->dib || !sb->converter) return;
    // The part of the picture inside the clip, in target coordinates.
    const int64_t left = std::max<int64_t>(x, clip->x) - x;
    const int64_t top = std::max<int64_t>(y, clip->y) - y;
    const int64_t right = std::min<int64_t>(int64_t(clip->x) + clip->width - x, sb->targetWidth);
    const int64_t bottom = std::min<int64_t>(int64_t(clip->y) + clip->height - y, sb->targetHeight);
    if (right <= left || bottom <= top) return;

    HPALETTE oldPalette = nullptr;
    if (sb->palette) {
        oldPalette = SelectPalette(dc, static_cast<HPALETTE>(sb->palette), FALSE);
        RealizePalette(dc);
    }
    HDC memory = CreateCompatibleDC(dc);
    if (memory) {
        HGDIOBJ old = SelectObject(memory, static_cast<HBITMAP>(sb->dib));
        // A part larger than the scratch DIB goes through it a piece at a time.
        for (int64_t ty = top; ty < bottom; ty += sb->dibHeight)
            for (int64_t tx = left; tx < right; tx += sb->dibWidth) {
                const int w = int(std::min<int64_t>(right - tx, sb->dibWidth));
                const int h = int(std::min<int64_t>(bottom - ty, sb->dibHeight));
                ScreenBitmapConvert(&kServices, sb, int32_t(tx), int32_t(ty), w, h);
                StretchBlt(dc, int(tx + x), int(ty + y), w, h, memory, 0, 0, w, h, SRCCOPY);
            }
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    if (oldPalette) SelectPalette(dc, oldPalette, FALSE);
}
