// Check box images for list views, drawn here rather than left to the list
// view, whose own come out as solid squares on a 16-bit screen.
#include "platform/internal.h"

#include <algorithm>

namespace {

void DrawCheckBox(HDC dc, int left, int size, bool ticked) {
    const int inset = std::max(1, size / 8);
    const int line = std::max(1, size / 16);
    RECT box = {left + inset, inset, left + size - inset, size - inset};
    HBRUSH frame = CreateSolidBrush(RGB(0x40, 0x40, 0x40));
    FillRect(dc, &box, frame);
    DeleteObject(frame);
    InflateRect(&box, -line, -line);
    FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
    if (!ticked) return;
    const int w = box.right - box.left;
    const int h = box.bottom - box.top;
    const POINT tick[3] = {{box.left + w / 5, box.top + h / 2},
                           {box.left + w * 2 / 5, box.top + h * 3 / 4},
                           {box.left + w * 4 / 5, box.top + h / 4}};
    HPEN pen = CreatePen(PS_SOLID, std::max(2, size / 8), RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(dc, pen);
    Polyline(dc, tick, 3);
    SelectObject(dc, old);
    DeleteObject(pen);
}

}  // namespace

HIMAGELIST MakeCheckBoxImages(int size) {
    size = std::max(8, size);
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR24, 2, 0);
    if (!images) return nullptr;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size * 2;
    info.bmiHeader.biHeight = size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP strip = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (!strip) {
        if (dc) DeleteDC(dc);
        ImageList_Destroy(images);
        return nullptr;
    }
    HGDIOBJ old = SelectObject(dc, strip);
    const RECT all = {0, 0, size * 2, size};
    FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
    DrawCheckBox(dc, 0, size, false);
    DrawCheckBox(dc, size, size, true);
    SelectObject(dc, old);
    DeleteDC(dc);
    const int added = ImageList_Add(images, strip, nullptr);
    DeleteObject(strip);
    if (added < 0) {
        ImageList_Destroy(images);
        return nullptr;
    }
    return images;
}
