// The image view under Wine: pictures shown fitted, at 100 % and zoomed,
// scrolled and panned, with the selection outline and the overlay text, read
// back from the window and compared with the pixels the picture must give;
// preview and restore; zoom limits; the owner's events from posted stylus
// messages.
//
// Runs on the 16-bit screen (5-5-5 dithered, shown by X as 5-6-5: compared
// with a small tolerance) and on a 24-bit one (Wine reports 32 bits: exact).
#include "display/view_win.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "display/display_win.h"
#include "imagelib/formats.h"
#include "imagelib/load.h"
#include "platform/handheld.h"
#include "screenpicture.h"
#include "tests/support/testfiles.h"

using namespace screentest;

namespace {

constexpr int kScreenW = 240;
constexpr int kScreenH = 320;
constexpr COLORREF kBackground = RGB(0x80, 0x80, 0x80);

int ScreenBits() {
    static const int bits = [] {
        HDC screen = GetDC(nullptr);
        const int b = GetDeviceCaps(screen, BITSPIXEL);
        ReleaseDC(nullptr, screen);
        return b;
    }();
    return bits;
}

bool SixteenBit() { return ScreenBits() == 16; }

void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

// The test pattern: neighbours differ on every channel.
Rgb Pattern(int32_t x, int32_t y) {
    return Rgb{uint8_t(x * 37 + y * 11), uint8_t(x * 13 + y * 59 + 40), uint8_t((x * 101) ^ (y * 29))};
}

void MakePattern(Bitmap* b, uint16_t type, int32_t w, int32_t h) {
    std::vector<Rgb> colours;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) colours.push_back(Pattern(x, y));
    MakeColour(b, type, w, h, colours);
}

// ---------------------------------------------------------------------------
// Reading the window back

struct Capture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
    uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

Capture Grab(HWND window) {
    Capture c;
    RECT r;
    GetClientRect(window, &r);
    c.width = r.right;
    c.height = r.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = c.width;
    info.bmiHeader.biHeight = -c.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = GetDC(window);
    HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, c.width, c.height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    c.pixels.assign(p, p + size_t(c.width) * c.height);
    for (uint32_t& v : c.pixels) v &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    ReleaseDC(window, dc);
    return c;
}

uint32_t Packed(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

int Expand5(int level) { return level << 3 | level >> 2; }
int Expand6(int level) { return level << 2 | level >> 4; }

// A colour drawn undithered (fills, pens, 8-bit DIBs): the 16-bit screen
// keeps 5-6-5 bits of it.
uint32_t Solid(int r, int g, int b) {
    if (!SixteenBit()) return Packed(r, g, b);
    return Packed(Expand5(r >> 3), Expand6(g >> 2), Expand5(b >> 3));
}

// What the screen must show for a picture colour at display point (dx, dy):
// on 16 bits the dithered 5-bit levels, else the colour itself.
uint32_t Shown(Rgb c, int32_t dx, int32_t dy) {
    if (!SixteenBit()) return Packed(c.r, c.g, c.b);
    const size_t p = size_t(256) * size_t((dy & 3) + 4 * (dx & 3));
    return Packed(Expand5(g_Display.ditherRed[c.r + p] >> 10), Expand5(g_Display.ditherGreen[c.g + p] >> 5),
                  Expand5(g_Display.ditherBlue[c.b + p]));
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = int((a >> shift) & 255) - int((b >> shift) & 255);
        if (d > tolerance || d < -tolerance) return false;
    }
    return true;
}

// The 16-bit screen shows our 5-5-5 green with 6 bits.
int Tolerance() { return SixteenBit() ? 2 : 0; }

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", unsigned(v));
    return text;
}

// Compares every pixel of the view (outside `skip`) with the picture placed
// at the view's display size and offsets, background around it. Returns the number of wrong pixels (the first few are reported).
int CompareWithPicture(HWND view, int32_t pictureW, int32_t pictureH, Rgb (*colour)(int32_t, int32_t),
                       const RECT* skip = nullptr) {
    const ViewState* st = ViewGetState(view);
    const Capture c = Grab(view);
    const uint32_t background = Solid(GetRValue(kBackground), GetGValue(kBackground), GetBValue(kBackground));
    int wrong = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            if (skip && x >= skip->left && x < skip->right && y >= skip->top && y < skip->bottom) continue;
            const int64_t dx = int64_t(x) + st->offsetX;
            const int64_t dy = int64_t(y) + st->offsetY;
            uint32_t expected = background;
            if (dx >= 0 && dy >= 0 && dx < st->displayWidth && dy < st->displayHeight) {
                const int32_t px = int32_t(dx * pictureW / st->displayWidth);
                const int32_t py = int32_t(dy * pictureH / st->displayHeight);
                expected = Shown(colour(px, py), int32_t(dx), int32_t(dy));
            }
            if (!Near(c.At(x, y), expected, Tolerance())) {
                if (++wrong <= 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << Hex(c.At(x, y)) << ", expected "
                                  << Hex(expected);
            }
        }
    return wrong;
}

// ---------------------------------------------------------------------------
// Events

std::vector<ViewEvent> g_events;
void Collect(const ViewEvent* event) { g_events.push_back(*event); }

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// ---------------------------------------------------------------------------

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM a, LPARAM b) { return DefWindowProcW(w, m, a, b); }

class ViewWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(DisplayInit(), 1);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PvViewTestHost";
        RegisterClassW(&wc);
    }
    static void TearDownTestSuite() { DisplayRelease(); }

    void SetUp() override {
        g_events.clear();
        host_ = CreateWindowExW(WS_EX_TOPMOST, L"PvViewTestHost", L"host", WS_POPUP | WS_VISIBLE, 0, 0, kScreenW,
                                kScreenH, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host_, nullptr);
        const RECT r = {0, 0, kScreenW, kScreenH};
        view_ = ViewCreate(host_, WS_VISIBLE, &r, kBackground, nullptr);
        ASSERT_NE(view_, nullptr);
        Pump();
    }
    void TearDown() override {
        if (host_) DestroyWindow(host_);
        Pump();
    }

    ViewState* St() { return ViewGetState(view_); }
    void Paint() {
        Pump();
        UpdateWindow(view_);
    }
    void Post(UINT message, WPARAM keys, int x, int y) { PostMessageW(view_, message, keys, At(x, y)); }
    // A stylus drag: down at the first point, moving through the others, up
    // at the last.
    void Drag(std::initializer_list<POINT> points) {
        const POINT* p = points.begin();
        Post(WM_LBUTTONDOWN, MK_LBUTTON, p->x, p->y);
        for (const POINT* q = p + 1; q != points.end(); ++q) Post(WM_MOUSEMOVE, MK_LBUTTON, q->x, q->y);
        Post(WM_LBUTTONUP, 0, (points.end() - 1)->x, (points.end() - 1)->y);
    }

    HWND host_ = nullptr;
    HWND view_ = nullptr;
};

TEST_F(ViewWindowTest, RunsOnTheScreenItWasStartedFor) {
    const char* expected = std::getenv("PV_EXPECT_SCREEN_BITS");
    EXPECT_EQ(ScreenBits(), expected ? std::atoi(expected) : 16);
    EXPECT_EQ(g_Display.screenBits, ScreenBits());
    EXPECT_EQ(St()->screen.info.header.bitCount, SixteenBit() ? 16 : 24);
    EXPECT_EQ(St()->screen.dibWidth, kScreenH);  // the screen square
}

TEST_F(ViewWindowTest, ShowsPicturesFittedAtFullSizeAndZoomed) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 160, 120);
    ViewSetPicture(view_, p.get(), 0);
    Paint();
    // Fitted (the default): 240 x 180, centred.
    EXPECT_EQ(ViewGetZoomMode(view_), kZoomFit);
    EXPECT_EQ(St()->displayWidth, 240);
    EXPECT_EQ(St()->displayHeight, 180);
    EXPECT_EQ(St()->offsetY, -70);
    EXPECT_EQ(CompareWithPicture(view_, 160, 120, Pattern), 0);

    // Shrink-to-fit leaves a small picture at 100 %, centred.
    ViewSetZoomMode(view_, kZoomShrinkToFit);
    Paint();
    EXPECT_EQ(ViewGetZoomPercent(view_), 100);
    EXPECT_EQ(St()->offsetX, -40);
    EXPECT_EQ(St()->offsetY, -100);
    EXPECT_EQ(CompareWithPicture(view_, 160, 120, Pattern), 0);

    // 300 %, then scrolled: only the visible part is converted each time.
    ViewSetZoomPercent(view_, 300);
    Paint();
    EXPECT_EQ(ViewGetZoomMode(view_), kZoomCustom);
    EXPECT_EQ(St()->displayWidth, 480);
    EXPECT_EQ(St()->displayHeight, 360);
    EXPECT_EQ(CompareWithPicture(view_, 160, 120, Pattern), 0);
    ViewScrollBy(view_, -1000, -1000);
    Paint();
    EXPECT_EQ(St()->offsetX, 0);
    EXPECT_EQ(St()->offsetY, 0);
    EXPECT_EQ(CompareWithPicture(view_, 160, 120, Pattern), 0);
    // The largest offsets show the last column and row.
    ViewScrollBy(view_, 1000, 1000);
    Paint();
    EXPECT_EQ(St()->offsetX, 480 - 240);
    EXPECT_EQ(St()->offsetY, 360 - 320);
    EXPECT_EQ(CompareWithPicture(view_, 160, 120, Pattern), 0);
}

// The colours of a picture loaded from a file (three- or four-byte types).
const Bitmap* g_loaded = nullptr;
Rgb Loaded(int32_t x, int32_t y) {
    const Bitmap* b = g_loaded;
    const uint8_t* p = b->pixels + size_t(y) * b->bytesPerRow + size_t(x) * b->bytesPerPixel;
    const bool bgr = b->pixelType == kPixelBGR || b->pixelType == kPixelBGRA;
    return bgr ? Rgb{p[2], p[1], p[0]} : Rgb{p[0], p[1], p[2]};
}

std::wstring Fixture(const char* name) { return testing_support::FixtureFile(PV_DISPLAY_FIXTURES, name); }

// Files made by Pillow, read by the image library, shown by the view: fitted,
// at 100 %, zoomed and scrolled, panned.
TEST_F(ViewWindowTest, PictureFilesShowFittedAtFullSizeZoomedScrolledAndPanned) {
    InitFormatRegistry();
    for (const char* name : {"pattern.jpg", "pattern.png", "pattern.bmp"}) {
        SCOPED_TRACE(name);
        Picture file;
        LoadOptions options;
        InitLoadOptions(&options);
        const int result = LoadPictureFromFile(Fixture(name).c_str(), file.get(), &options, nullptr);
        ASSERT_EQ(result, kLoadOk);
        ASSERT_EQ(file->width, 200);
        ASSERT_EQ(file->height, 150);
        ASSERT_TRUE(file->pixelType & (kPixelMaskColour & ~kPixelCMYK)) << file->pixelType;
        g_loaded = file.get();

        ViewSetZoomMode(view_, kZoomFit);
        ViewSetPicture(view_, file.get(), 0);
        Paint();
        EXPECT_EQ(St()->displayWidth, 240);
        EXPECT_EQ(CompareWithPicture(view_, 200, 150, Loaded), 0);
        ViewSetZoomMode(view_, kZoomShrinkToFit);
        Paint();
        EXPECT_EQ(St()->displayWidth, 200);
        EXPECT_EQ(CompareWithPicture(view_, 200, 150, Loaded), 0);
        ViewSetZoomPercent(view_, 275);  // 550 x 412
        ViewScrollBy(view_, -1000, -1000);
        ViewScrollBy(view_, 33, 21);
        Paint();
        EXPECT_EQ(CompareWithPicture(view_, 200, 150, Loaded), 0);
        ViewSetMouseMode(view_, kMousePan);
        Drag({{120, 200}, {90, 170}});
        Paint();
        EXPECT_EQ(St()->offsetX, 63);
        EXPECT_EQ(St()->offsetY, 51);
        EXPECT_EQ(CompareWithPicture(view_, 200, 150, Loaded), 0);
        ViewSetPicture(view_, nullptr, 0);
    }
    g_loaded = nullptr;
    FreeFormatRegistry();
}

TEST_F(ViewWindowTest, EveryLayoutAndPixelTypeShowsTheSamePixels) {
    const struct {
        const char* name;
        uint16_t type;
        bool bottomUp;
    } kinds[] = {{"bgr", kPixelBGR, false},   {"rgba", kPixelRGBA, false}, {"argb", kPixelARGB, true},
                 {"cmyk", kPixelCMYK, false}, {"bgr bottom-up", kPixelBGR, true}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.name);
        Picture p;
        MakePattern(p.get(), k.type, 90, 70);
        if (k.bottomUp) TurnBottomUp(p.get());
        ViewSetPicture(view_, p.get(), 0);
        ViewSetZoomPercent(view_, 400);
        ViewScrollBy(view_, -1000, 0);
        ViewScrollBy(view_, 17, 9);
        Paint();
        EXPECT_EQ(St()->offsetX, 17);
        EXPECT_EQ(CompareWithPicture(view_, 90, 70, Pattern), 0);
    }
}

Rgb Greys(int32_t x, int32_t y) {
    const uint8_t v = uint8_t(x * 16 + y * 50);
    return Rgb{v, v, v};
}

Rgb Palette(int32_t x, int32_t y) {
    const int i = (x + y) % 3;
    return i == 0 ? Rgb{200, 30, 60} : i == 1 ? Rgb{10, 220, 90} : Rgb{40, 50, 250};
}

TEST_F(ViewWindowTest, GreyAndPalettePicturesShowTheirColours) {
    Picture grey;
    std::vector<uint8_t> values;
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 16; ++x) values.push_back(Greys(x, y).r);
    MakeIndexed(grey.get(), kPixelGrey, 16, 5, values);
    ViewSetPicture(view_, grey.get(), 0);
    Paint();
    // Through an 8-bit DIB and its colour table: no dither, so the 16-bit
    // screen's own rounding is the only difference.
    EXPECT_EQ(St()->screen.info.header.bitCount, 8);
    {
        const Capture c = Grab(view_);
        const ViewState* st = St();
        int wrong = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const int64_t dx = x + st->offsetX, dy = y + st->offsetY;
                if (dx < 0 || dy < 0 || dx >= st->displayWidth || dy >= st->displayHeight) continue;
                const Rgb e = Greys(int32_t(dx * 16 / st->displayWidth), int32_t(dy * 5 / st->displayHeight));
                wrong += !Near(c.At(x, y), Solid(e.r, e.g, e.b), Tolerance());
            }
        EXPECT_EQ(wrong, 0);
    }

    Picture pal;
    values.clear();
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) values.push_back(uint8_t((x + y) % 3));
    MakeIndexed(pal.get(), kPixelPalette, 6, 4, values);
    pal->paletteCount = 3;
    for (int i = 0; i < 3; ++i) {
        const Rgb c = Palette(i, 0);
        pal->palette[i] = c.r;
        pal->palette[kPaletteGreen + i] = c.g;
        pal->palette[kPaletteBlue + i] = c.b;
    }
    ViewSetPicture(view_, pal.get(), 0);
    ViewSetZoomMode(view_, kZoomShrinkToFit);
    Paint();
    const Capture c = Grab(view_);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const Rgb e = Palette(x, y);
            EXPECT_TRUE(Near(c.At(117 + x, 158 + y), Solid(e.r, e.g, e.b), Tolerance())) << x << "," << y;
        }
}

TEST_F(ViewWindowTest, ScreenBitmapsShowLikeThePerPaintConversion) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 100, 80);
    ViewSetZoomMode(view_, kZoomShrinkToFit);
    ViewSetPicture(view_, p.get(), 0);
    Paint();
    const Capture perPaint = Grab(view_);

    void* bits = nullptr;
    HBITMAP handle = MakeScreenBitmap(view_, p.get(), 100, 80, &bits);
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(bits, nullptr);
    DIBSECTION section = {};
    ASSERT_EQ(GetObjectW(handle, sizeof section, &section), int(sizeof section));
    EXPECT_EQ(section.dsBm.bmWidth, 100);
    EXPECT_EQ(section.dsBmih.biHeight, 80);  // bottom-up
    EXPECT_EQ(section.dsBm.bmBitsPixel, SixteenBit() ? 16 : 24);
    ViewSetScreenBitmap(view_, handle, p.get());
    Paint();
    EXPECT_EQ(Grab(view_).pixels, perPaint.pixels);

    // Through the transition hook the picture ends up shown the same way.
    ViewSetPictureWithTransition(view_, p.get());
    Paint();
    EXPECT_NE(St()->screenHandle, nullptr);
    EXPECT_EQ(St()->picture, nullptr);
    EXPECT_EQ(Grab(view_).pixels, perPaint.pixels);

    // Without memory for the screen bitmap the picture still shows, converted
    // per paint.
    ViewSetPicture(view_, nullptr, 0);
    SetScreenBitmapsFailForTesting(true);
    ViewSetPictureWithTransition(view_, p.get());
    SetScreenBitmapsFailForTesting(false);
    Paint();
    EXPECT_EQ(St()->screenHandle, nullptr);
    EXPECT_NE(St()->picture, nullptr);
    EXPECT_EQ(Grab(view_).pixels, perPaint.pixels);
}

TEST_F(ViewWindowTest, AScratchDibSmallerThanTheWindowPaintsPieceByPiece) {
    ScreenBitmap& screen = St()->screen;
    ScreenBitmapFree(&screen);
    screen.dibWidth = 64;
    screen.dibHeight = 50;
    ASSERT_EQ(ScreenBitmapCreateDib(view_, &screen, nullptr), 1);
    Picture p;
    MakePattern(p.get(), kPixelRGB, 160, 120);
    ViewSetPicture(view_, p.get(), 0);
    ViewSetZoomPercent(view_, 300);
    Paint();
    EXPECT_EQ(St()->screen.dibWidth, 64);
    EXPECT_EQ(CompareWithPicture(view_, 160, 120, Pattern), 0);
}

TEST_F(ViewWindowTest, PreviewThenRestoreBringsBackTheExactPixels) {
    Picture p;
    MakePattern(p.get(), kPixelBGR, 120, 90);
    ViewSetPicture(view_, p.get(), 0);
    Paint();
    const Capture before = Grab(view_);

    Bitmap backup, current;
    ASSERT_EQ(ViewBeginPreview(view_, &backup, &current), 1);
    EXPECT_NE(backup.pixels, current.pixels);
    EXPECT_EQ(current.pixels, p->pixels);  // the shown pixels are the caller's
    for (int32_t i = 0; i < current.bytesPerRow * current.height; ++i) current.pixels[i] ^= 0xFF;
    ViewRefresh(view_);
    Paint();
    EXPECT_NE(Grab(view_).pixels, before.pixels);
    ViewRestoreOriginal(view_);
    Paint();
    EXPECT_EQ(Grab(view_).pixels, before.pixels);

    for (int32_t i = 0; i < current.bytesPerRow * current.height; ++i) current.pixels[i] ^= 0x55;
    ViewEndPreview(view_, 0);  // not kept: the unchanged pixels come back
    Paint();
    EXPECT_EQ(Grab(view_).pixels, before.pixels);
    EXPECT_EQ(St()->backup, nullptr);

    // Only three-byte pictures can be previewed.
    Picture four;
    MakePattern(four.get(), kPixelRGBA, 10, 10);
    ViewSetPicture(view_, four.get(), 0);
    EXPECT_EQ(ViewBeginPreview(view_, &backup, &current), 0);
    EXPECT_EQ(St()->backup, nullptr);
    ViewRestoreOriginal(view_);  // harmless without a backup
}

TEST_F(ViewWindowTest, ZoomPercentagesOutsideTheRangeChangeNothing) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 100, 100);
    ViewSetPicture(view_, p.get(), 0);
    ViewSetZoomPercent(view_, 150);
    for (int32_t refused : {kZoomPercentMin - 1, kZoomPercentMax + 1, 0, -5}) {
        ViewSetZoomPercent(view_, refused);
        EXPECT_EQ(ViewGetZoomPercent(view_), 150) << refused;
    }
    for (int32_t accepted : {kZoomPercentMin, kZoomPercentMax}) {
        ViewSetZoomPercent(view_, accepted);
        EXPECT_EQ(ViewGetZoomPercent(view_), accepted);
        EXPECT_EQ(St()->displayWidth, 100 * accepted / 100);
    }
    // The picture point at the centre stays there.
    ViewSetZoomPercent(view_, 400);
    ViewScrollBy(view_, -10000, -10000);
    ViewScrollBy(view_, 40, 20);  // centre at display (160, 180): picture (40, 45)
    ViewSetZoomPercent(view_, 800);
    EXPECT_EQ(St()->offsetX + 120, 320);
    EXPECT_EQ(St()->offsetY + 160, 360);
}

TEST_F(ViewWindowTest, ZoomToSelectionUsesAStepTheSetterAccepts) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 200, 200);
    ViewSetPicture(view_, p.get(), 0);
    const PictureRect small = {100, 100, 4, 4};
    ViewSetSelection(view_, &small);
    ViewZoomToSelection(view_);
    EXPECT_EQ(ViewGetZoomPercent(view_), 1600);  // the largest zoom step
    EXPECT_EQ(ViewGetZoomMode(view_), kZoomCustom);
    EXPECT_EQ(ViewGetSelection(view_, nullptr), 0);
    EXPECT_EQ(St()->offsetX, 1600 - (240 - 64) / 2);
    EXPECT_EQ(St()->offsetY, 1600 - (320 - 64) / 2);
    ViewSetZoomPercent(view_, ViewGetZoomPercent(view_));
    EXPECT_EQ(ViewGetZoomPercent(view_), 1600);
    ViewZoomToSelection(view_);  // nothing without a selection
    EXPECT_EQ(ViewGetZoomPercent(view_), 1600);
}

TEST_F(ViewWindowTest, PanningFollowsTheStylusAndReportsNoTap) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 160, 120);
    ViewSetPicture(view_, p.get(), 0);
    ViewSetZoomPercent(view_, 300);
    ViewScrollBy(view_, -1000, -1000);
    ViewSetMouseMode(view_, kMousePan);
    EXPECT_EQ(St()->modeFlags & (kViewPan | kViewSelect), uint32_t(kViewPan));
    ViewSetEventCallback(view_, Collect, 77);
    Drag({{150, 200}, {110, 170}, {100, 180}});
    Paint();
    EXPECT_EQ(St()->offsetX, 50);
    EXPECT_EQ(St()->offsetY, 20);
    EXPECT_EQ(St()->dragState, kDragNone);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(CompareWithPicture(view_, 160, 120, Pattern), 0);
    // The press was reported; the release of a pan that can scroll
    // sideways was not.
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].code, kViewPressed);
    EXPECT_EQ(g_events[0].x, 150);
    EXPECT_EQ(g_events[0].y, 200);
    EXPECT_EQ(g_events[0].user, 77u);
    EXPECT_EQ(g_events[0].window, view_);

    // Hovering without the stylus down does not pan.
    Post(WM_MOUSEMOVE, 0, 10, 10);
    Pump();
    EXPECT_EQ(St()->offsetX, 50);

    // A view that cannot scroll sideways reports the release of a pan.
    ViewSetZoomMode(view_, kZoomFit);
    g_events.clear();
    Post(WM_LBUTTONDOWN, MK_LBUTTON, 30, 40);
    Post(WM_LBUTTONUP, 0, 30, 40);
    Pump();
    ASSERT_EQ(g_events.size(), 2u);
    EXPECT_EQ(g_events[1].code, kViewTapReleased);
    EXPECT_EQ(g_events[1].x, 30);
    EXPECT_EQ(g_events[1].y, 40);
}

TEST_F(ViewWindowTest, PanningWorksOnDisplaysWiderThanSixteenBits) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 6000, 4);
    ViewSetPicture(view_, p.get(), 0);
    ViewSetScrollBars(view_, 1);
    ViewSetZoomPercent(view_, kZoomPercentMax);
    ASSERT_EQ(St()->displayWidth, 6000 * kZoomPercentMax / 100);
    ASSERT_GT(St()->displayWidth, 0xFFFF);
    ViewScrollBy(view_, -(1 << 30), 0);
    ViewScrollBy(view_, 70000, 0);
    ASSERT_EQ(St()->offsetX, 70000);
    ViewSetMouseMode(view_, kMousePan);
    Drag({{200, 20}, {100, 20}});
    Paint();
    EXPECT_EQ(St()->offsetX, 70100);
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(view_, SB_HORZ, &info));
    EXPECT_EQ(info.nPos, 70100);
    EXPECT_EQ(info.nMax, St()->displayWidth - 1);
    EXPECT_EQ(int32_t(info.nPage), St()->areaWidth);
    // The last column can be reached.
    ViewScrollBy(view_, 1 << 30, 0);
    EXPECT_EQ(St()->offsetX, St()->displayWidth - St()->areaWidth);
    Paint();
    EXPECT_EQ(CompareWithPicture(view_, 6000, 4, Pattern), 0);
}

TEST_F(ViewWindowTest, ScrollBarsTakeTheirRoomAndScroll) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 160, 120);
    ViewSetPicture(view_, p.get(), 0);
    ViewSetZoomPercent(view_, 300);
    ViewSetScrollBars(view_, 1);
    Paint();
    const LONG style = GetWindowLongW(view_, GWL_STYLE);
    EXPECT_TRUE(style & WS_HSCROLL);
    EXPECT_TRUE(style & WS_VSCROLL);
    RECT client;
    GetClientRect(view_, &client);
    EXPECT_EQ(client.right, St()->areaWidth);
    EXPECT_EQ(client.bottom, St()->areaHeight);
    EXPECT_EQ(St()->maxOffsetX, 480 - client.right);
    SendMessageW(view_, WM_HSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
    SendMessageW(view_, WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
    EXPECT_EQ(St()->offsetX, 1);
    SendMessageW(view_, WM_HSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
    EXPECT_EQ(St()->offsetX, 1 + client.right);
    SendMessageW(view_, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
    EXPECT_EQ(St()->offsetY, St()->maxOffsetY);
    SendMessageW(view_, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 7), 0);
    EXPECT_EQ(St()->offsetY, 7);
    Paint();
    EXPECT_EQ(CompareWithPicture(view_, 160, 120, Pattern), 0);

    // Fitted again: no bars.
    ViewSetZoomMode(view_, kZoomFit);
    Paint();
    EXPECT_FALSE(GetWindowLongW(view_, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL));
    EXPECT_EQ(CompareWithPicture(view_, 160, 120, Pattern), 0);
}

TEST_F(ViewWindowTest, SelectingDrawsTheOutlineAndReportsIt) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 120, 160);
    ViewSetPicture(view_, p.get(), 0);  // fitted: 240 x 320, twice the picture
    ViewSetMouseMode(view_, kMouseSelect);
    EXPECT_EQ(St()->modeFlags & (kViewPan | kViewSelect), uint32_t(kViewSelect));
    ViewSetEventCallback(view_, Collect, 5);
    Drag({{40, 60}, {100, 90}, {140, 160}});
    Paint();
    PictureRect s = {};
    ASSERT_EQ(ViewGetSelection(view_, &s), 1);
    EXPECT_EQ(s.x, 20);
    EXPECT_EQ(s.y, 30);
    EXPECT_EQ(s.width, 50);
    EXPECT_EQ(s.height, 50);
    // Events: press, two moves with the growing selection, release.
    ASSERT_EQ(g_events.size(), 4u);
    EXPECT_EQ(g_events[0].code, kViewPressed);
    EXPECT_EQ(g_events[1].code, kViewSelecting);
    EXPECT_EQ(g_events[1].selectionWidth, 30);
    EXPECT_EQ(g_events[1].selectionHeight, 15);
    EXPECT_EQ(g_events[2].selectionLeft, 20);
    EXPECT_EQ(g_events[2].selectionWidth, 50);
    EXPECT_EQ(g_events[2].hasSelection, 1);
    EXPECT_EQ(g_events[3].code, kViewTapReleased);
    EXPECT_EQ(g_events[3].x, 140);

    // The outline: red on its four edges, the picture inside and outside.
    const Capture c = Grab(view_);
    const uint32_t red = Solid(255, 0, 0);
    for (int x = 40; x <= 140; x += 10) {
        EXPECT_EQ(c.At(x, 60), red) << x;
        EXPECT_EQ(c.At(x, 160), red) << x;
    }
    for (int y = 60; y <= 160; y += 10) {
        EXPECT_EQ(c.At(40, y), red) << y;
        EXPECT_EQ(c.At(140, y), red) << y;
    }
    const ViewState* st = St();
    for (const POINT pt : {POINT{41, 61}, POINT{39, 59}, POINT{141, 161}, POINT{90, 110}})
        EXPECT_TRUE(Near(c.At(pt.x, pt.y), Shown(Pattern((pt.x + st->offsetX) / 2, (pt.y + st->offsetY) / 2),
                                                 pt.x + st->offsetX, pt.y + st->offsetY),
                         Tolerance()))
            << pt.x << "," << pt.y;

    // A new drag of two picture pixels leaves no selection and no outline.
    g_events.clear();
    Drag({{10, 10}, {14, 30}});
    Paint();
    EXPECT_EQ(ViewGetSelection(view_, nullptr), 0);
    EXPECT_EQ(CompareWithPicture(view_, 120, 160, Pattern), 0);

    // Mouse option 4 selects too, with its own flag.
    ViewSetMouseMode(view_, kMouseSelect4);
    EXPECT_EQ(St()->modeFlags & 7u, uint32_t(kViewSelect | kViewSelectOption4));
    ViewSetMouseMode(view_, 0);
    EXPECT_EQ(St()->modeFlags & 7u, 0u);
}

TEST_F(ViewWindowTest, SetSelectionDrawsAndRemovesTheOutline) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 120, 160);
    ViewSetPicture(view_, p.get(), 0);
    const PictureRect s = {10, 20, 30, 40};
    ViewSetSelection(view_, &s);
    Paint();
    const Capture c = Grab(view_);
    EXPECT_TRUE(c.At(20, 40) == Solid(255, 0, 0));
    EXPECT_TRUE(c.At(80, 120) == Solid(255, 0, 0));
    ViewSetSelection(view_, nullptr);
    Paint();
    EXPECT_EQ(CompareWithPicture(view_, 120, 160, Pattern), 0);
}

TEST_F(ViewWindowTest, OverlayTextIsDrawnCentredAtTheTop) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 120, 160);
    ViewSetPicture(view_, p.get(), 0);
    ViewSetText(view_, L"IMG_0042.JPG", 3);
    Paint();
    EXPECT_EQ(St()->textWord, 3u);
    HDC dc = GetDC(view_);
    SIZE size = {};
    GetTextExtentPoint32W(dc, L"IMG_0042.JPG", 12, &size);
    ReleaseDC(view_, dc);
    const Capture c = Grab(view_);
    const int left = 120 - size.cx / 2;
    const RECT text = {left, 0, left + size.cx + 1, size.cy + 1};  // with the shadow's extra pixel
    int red = 0, white = 0;
    for (int y = text.top; y < text.bottom; ++y)
        for (int x = text.left; x < text.right; ++x) {
            red += c.At(x, y) == Solid(255, 0, 0);
            white += c.At(x, y) == Solid(255, 255, 255);
        }
    EXPECT_GT(red, 20);
    EXPECT_GT(white, 20);
    // Around the text the picture is untouched.
    EXPECT_EQ(CompareWithPicture(view_, 120, 160, Pattern, &text), 0);
    ViewSetText(view_, nullptr, 0);
    Paint();
    EXPECT_EQ(CompareWithPicture(view_, 120, 160, Pattern), 0);
}

TEST_F(ViewWindowTest, TapsDoubleTapsAndTapAndHoldReachTheOwner) {
    Picture p;
    MakePattern(p.get(), kPixelRGB, 50, 50);
    ViewSetPicture(view_, p.get(), 0);
    ViewSetEventCallback(view_, Collect, 9);
    Post(WM_LBUTTONDOWN, MK_LBUTTON, 12, 34);
    Post(WM_LBUTTONUP, 0, 12, 34);
    Post(WM_LBUTTONDBLCLK, MK_LBUTTON, 12, 34);
    Post(WM_LBUTTONUP, 0, 12, 34);
    Pump();
    ASSERT_EQ(g_events.size(), 3u);
    EXPECT_EQ(g_events[0].code, kViewPressed);
    EXPECT_EQ(g_events[1].code, kViewTapReleased);
    EXPECT_EQ(g_events[2].code, kViewDoubleTap);
    for (const ViewEvent& e : g_events) {
        EXPECT_EQ(e.x, 12);
        EXPECT_EQ(e.y, 34);
        EXPECT_EQ(e.hasSelection, 0);
        EXPECT_EQ(e.user, 9u);
    }

    // Held down: tap-and-hold at the point on the screen, and no tap.
    RECT r = {10, 20, 110, 120};
    MoveWindow(view_, r.left, r.top, 100, 100, TRUE);
    g_events.clear();
    SetHoldTime(30);
    Post(WM_LBUTTONDOWN, MK_LBUTTON, 5, 6);
    Pump();
    SetHoldTime(500);
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].code, kViewTapAndHold);
    EXPECT_EQ(g_events[0].x, 15);
    EXPECT_EQ(g_events[0].y, 26);
    Post(WM_LBUTTONUP, 0, 5, 6);
    Pump();
    EXPECT_EQ(g_events.size(), 1u);
}

TEST_F(ViewWindowTest, WithoutAPictureTheBackgroundShows) {
    ViewSetBackgroundColor(view_, RGB(0, 0, 255));
    Paint();
    const Capture c = Grab(view_);
    for (int y = 0; y < c.height; y += 37)
        for (int x = 0; x < c.width; x += 23) EXPECT_EQ(c.At(x, y), Solid(0, 0, 255));
    int32_t w = -1, h = -1;
    ViewGetPictureSize(view_, &w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    // Pictures that cannot be converted show as background, not as garbage.
    Picture p;
    MakePattern(p.get(), kPixelRGB, 10, 10);
    Bitmap broken = p.b;
    broken.bytesPerRow = 3;
    ViewSetPicture(view_, &broken, 0);
    Paint();
    const Capture b = Grab(view_);
    EXPECT_EQ(b.pixels, c.pixels);
}

TEST_F(ViewWindowTest, OwnedPicturesAreFreedWithTheView) {
    // The view takes the buffers; the sanitizer-free Win32 build relies on
    // the heap staying consistent: replacing and destroying must not free
    // them twice.
    Bitmap* owned = new Bitmap();
    MakePattern(owned, kPixelRGB, 30, 30);
    ViewSetPicture(view_, owned, 1);
    ViewSetPicture(view_, owned, 1);  // the same pixels again: kept
    Paint();
    EXPECT_EQ(CompareWithPicture(view_, 30, 30, Pattern), 0);
    delete owned;  // the record only; the view frees the buffers
    DestroyWindow(view_);
    Pump();
}

}  // namespace
