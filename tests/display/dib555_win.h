// Screen bitmaps for the transition tests and measurements: bottom-up 5-5-5
// DIB sections, as the display layer makes them on a 16-bit screen.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// A width x height DIB section whose pixel (x, y), counted from the top, is
// pixel(x, y) (a 5-5-5 value); nullptr when it cannot be made.
template <typename Pixel>
HBITMAP MakeDib555(int width, int height, Pixel pixel) {
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 16;
    info.header.biCompression = BI_BITFIELDS;
    info.masks[0] = 0x7C00;
    info.masks[1] = 0x03E0;
    info.masks[2] = 0x001F;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    GdiFlush();
    const size_t stride = size_t(2 * width + 3) & ~size_t(3);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(bits) + size_t(height - 1 - y) * stride);
        for (int x = 0; x < width; ++x) row[x] = pixel(x, y);
    }
    return bitmap;
}
