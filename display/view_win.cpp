// The image view window. See view_win.h; the geometry lives in viewlayout.h.
#include "display/view_win.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "display/display_win.h"
#include "display/transition_win.h"
#include "platform/handheld.h"
#include "processing/geometry.h"
#include "platform/framework_win.h"

namespace {

constexpr wchar_t kClassName[] = L"CBmpClass";
constexpr COLORREF kSelectionColour = RGB(255, 0, 0);
constexpr COLORREF kTextShadow = RGB(255, 255, 255);
constexpr COLORREF kTextColour = RGB(255, 0, 0);
// Selections this small (in picture pixels, either way) are dropped.
constexpr int32_t kSmallestSelection = 2;

ViewState* State(HWND window) { return reinterpret_cast<ViewState*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

bool Shows(const ViewState* st) { return st->picture || st->screenHandle; }

ViewMapping Mapping(const ViewState* st) {
    return ViewMapping{st->displayWidth, st->displayHeight, st->pictureWidth,
                       st->pictureHeight, st->offsetX,      st->offsetY};
}

int32_t ClientX(LPARAM second) { return int16_t(LOWORD(second)); }
int32_t ClientY(LPARAM second) { return int16_t(HIWORD(second)); }

// Tells the owner. Callers touch the state no more afterwards: the owner may
// change or destroy the view from its callback.
void Report(HWND window, const ViewState* st, int32_t code, int32_t x, int32_t y, const PictureRect* selection) {
    if (!st->callback) return;
    ViewEvent event = {};
    event.code = code;
    event.window = window;
    event.x = x;
    event.y = y;
    if (selection) {
        event.selectionLeft = selection->x;
        event.selectionTop = selection->y;
        event.selectionWidth = selection->width;
        event.selectionHeight = selection->height;
    }
    event.hasSelection = (st->modeFlags & kViewHasSelection) ? 1 : 0;
    event.user = st->callbackUser;
    st->callback(&event);
}

// ---------------------------------------------------------------------------
// Layout

void SetBar(HWND window, int bar, bool shown, int32_t display, int32_t area, int32_t position) {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (shown) {
        info.nMax = display - 1;
        info.nPage = UINT(area);
        info.nPos = position;
    }
    SetScrollInfo(window, bar, &info, TRUE);
    ShowScrollBar(window, bar, shown ? TRUE : FALSE);
}

ViewLayoutInput LayoutInput(HWND window, const ViewState* st) {
    RECT client = {};
    GetClientRect(window, &client);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    ViewLayoutInput in = {};
    in.barWidth = GetSystemMetrics(SM_CXVSCROLL);
    in.barHeight = GetSystemMetrics(SM_CYHSCROLL);
    in.width = client.right + ((style & WS_VSCROLL) ? in.barWidth : 0);
    in.height = client.bottom + ((style & WS_HSCROLL) ? in.barHeight : 0);
    in.pictureWidth = st->pictureWidth;
    in.pictureHeight = st->pictureHeight;
    in.xResolution = st->xResolution;
    in.yResolution = st->yResolution;
    in.zoomMode = st->zoomMode;
    in.zoomX = st->zoomX;
    in.zoomY = st->zoomY;
    in.offsetX = st->offsetX;
    in.offsetY = st->offsetY;
    in.scrollBars = st->scrollBars != 0;
    in.aspect = st->aspect != 0;
    return in;
}

// Places the picture for the window's size and zoom, prepares the per-paint
// conversion for the display size (always when `rebuild`), and sets the
// scroll bars.
void Layout(HWND window, ViewState* st, bool rebuild, uint32_t prepareFlags) {
    if (st->layingOut) return;  // a WM_SIZE caused by our own scroll bars
    st->layingOut = 1;
    const ViewLayoutInput in = LayoutInput(window, st);
    if (!Shows(st) || !st->scrollBars) {
        SetBar(window, SB_HORZ, false, 0, 0, 0);
        SetBar(window, SB_VERT, false, 0, 0, 0);
    }
    if (Shows(st)) {
        const ViewLayoutResult r = LayOutView(in);
        st->areaWidth = r.areaWidth;
        st->areaHeight = r.areaHeight;
        st->displayWidth = r.displayWidth;
        st->displayHeight = r.displayHeight;
        st->zoomX = r.zoomX;
        st->zoomY = r.zoomY;
        st->offsetX = r.offsetX;
        st->offsetY = r.offsetY;
        st->maxOffsetX = r.maxOffsetX;
        st->maxOffsetY = r.maxOffsetY;
        if (st->perPaint && st->picture &&
            (rebuild || st->screen.targetWidth != r.displayWidth || st->screen.targetHeight != r.displayHeight))
            ScreenBitmapPrepare(window, &st->screen, st->picture, r.displayWidth, r.displayHeight, prepareFlags);
        if (st->scrollBars) {
            SetBar(window, SB_HORZ, r.horizontalBar, r.displayWidth, r.areaWidth, r.offsetX);
            SetBar(window, SB_VERT, r.verticalBar, r.displayHeight, r.areaHeight, r.offsetY);
        }
    }
    st->layingOut = 0;
}

// ---------------------------------------------------------------------------
// Scrolling

void ScrollAxisTo(HWND window, ViewState* st, bool horizontal, int32_t target) {
    int32_t& offset = horizontal ? st->offsetX : st->offsetY;
    const int32_t largest = horizontal ? st->maxOffsetX : st->maxOffsetY;
    if (largest <= 0) return;
    if (target < 0) target = 0;
    if (target > largest) target = largest;
    if (target == offset) return;
    offset = target;
    if (st->scrollBars) {
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_POS;
        info.nPos = target;
        SetScrollInfo(window, horizontal ? SB_HORZ : SB_VERT, &info, TRUE);
    }
    InvalidateRect(window, nullptr, TRUE);
}

// The offset moved by `delta`, within 0..largest.
int32_t Moved(int32_t offset, int32_t delta, int32_t largest) {
    const int64_t target = int64_t(offset) + delta;
    return int32_t(target < 0 ? 0 : target > largest ? largest : target);
}

// ---------------------------------------------------------------------------
// Selection outline

RECT OutlineBounds(const ViewState* st) {
    const ViewMapping m = Mapping(st);
    const PictureRect& s = st->selection;
    RECT r;
    int32_t left, top, right, bottom;
    PictureToWindow(m, s.x, s.y, &left, &top);
    PictureToWindow(m, s.x + s.width, s.y + s.height, &right, &bottom);
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

// Has the outline's four one-pixel edges painted again (without erasing):
// on removal the picture comes back under them, otherwise the outline is
// drawn.
void InvalidateOutline(HWND window, const ViewState* st) {
    if (!(st->modeFlags & kViewHasSelection) || !Shows(st)) return;
    const RECT b = OutlineBounds(st);
    const RECT edges[4] = {
        {b.left, b.top, b.right + 1, b.top + 1},
        {b.left, b.bottom, b.right + 1, b.bottom + 1},
        {b.left, b.top, b.left + 1, b.bottom + 1},
        {b.right, b.top, b.right + 1, b.bottom + 1},
    };
    for (const RECT& e : edges) InvalidateRect(window, &e, FALSE);
}

void DropSelection(HWND window, ViewState* st) {
    InvalidateOutline(window, st);
    st->modeFlags &= ~uint32_t(kViewHasSelection);
}

// ---------------------------------------------------------------------------
// The shown picture

void FreeBackup(ViewState* st) {
    if (!st->backup) return;
    FreeBitmap(st->backup);
    delete st->backup;
    st->backup = nullptr;
}

// Lets go of the shown picture and screen bitmap. An owned picture's buffers
// are kept when the next picture is the same pixels (`nextPixels`), and the
// screen bitmap when it is the next one (`nextHandle`).
void ReleaseShown(ViewState* st, const uint8_t* nextPixels, HBITMAP nextHandle) {
    FreeBackup(st);
    st->screen.converter = nullptr;  // its maps point into the picture
    st->screen.targetWidth = st->screen.targetHeight = 0;
    if (st->picture) {
        if (st->ownsPicture && !(nextPixels && st->picture->pixels == nextPixels)) FreeBitmap(st->picture);
        delete st->picture;
        st->picture = nullptr;
    }
    if (st->screenHandle && st->screenHandle != nextHandle) DeleteObject(st->screenHandle);
    st->screenHandle = nullptr;
    st->screenPixels = nullptr;
    st->ownsPicture = 0;
    st->pictureWidth = st->pictureHeight = 0;
    st->xResolution = st->yResolution = 0;
    st->bitsPerPixel = 0;
}

void TakeSizes(ViewState* st, const Bitmap* picture) {
    st->pictureWidth = picture->width;
    st->pictureHeight = picture->height;
    st->xResolution = picture->xResolution;
    st->yResolution = picture->yResolution;
    st->bitsPerPixel = picture->pixelType == kPixelBilevel ? 1 : picture->bytesPerPixel * 8;
}

void TakeHandle(ViewState* st, HBITMAP handle, void* pixels, const Bitmap* picture) {
    st->screenHandle = handle;
    st->screenPixels = pixels;
    if (picture) {
        TakeSizes(st, picture);
    } else {
        BITMAP b = {};
        GetObjectW(handle, sizeof b, &b);
        st->pictureWidth = b.bmWidth;
        st->pictureHeight = b.bmHeight;
        st->bitsPerPixel = b.bmBitsPixel;
    }
}

// Placement of the shown picture in client coordinates.
struct Placement {
    int x, y, width, height;
};

Placement Placed(const ViewState* st) { return {-st->offsetX, -st->offsetY, st->displayWidth, st->displayHeight}; }

// Shows the handle (taken over by the view) through the next transition,
// from the old placement.
void ShowHandleWithTransition(HWND view, ViewState* st, HBITMAP handle, void* pixels, const Bitmap* picture,
                              const Placement& old) {
    ReleaseShown(st, nullptr, handle);
    st->modeFlags &= ~uint32_t(kViewHasSelection);
    if (!handle) {
        Layout(view, st, true, kPrepareBuildPalette);
        InvalidateRect(view, nullptr, TRUE);
        return;
    }
    TakeHandle(st, handle, pixels, picture);
    Layout(view, st, true, kPrepareBuildPalette);
    ValidateRect(view, nullptr);
    const Placement now = Placed(st);
    ShowWithTransition(view, &st->transitionPosition, handle, now.x, now.y, now.width, now.height, old.x, old.y,
                       old.width, old.height, st->background);
    InvalidateRect(view, nullptr, FALSE);
}

// ---------------------------------------------------------------------------
// Painting

int Clamp(int64_t v, int low, int high) { return int(v < low ? low : v > high ? high : v); }

void FillBand(HDC dc, HBRUSH brush, int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top) return;
    const RECT r = {left, top, right, bottom};
    FillRect(dc, &r, brush);
}

void DrawHandle(HDC dc, const ViewState* st, const Placement& at) {
    BITMAP b = {};
    if (!GetObjectW(st->screenHandle, sizeof b, &b)) return;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return;
    HGDIOBJ old = SelectObject(memory, st->screenHandle);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, at.x, at.y, at.width, at.height, memory, 0, 0, b.bmWidth, b.bmHeight, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

void DrawSelection(HDC dc, const ViewState* st) {
    const ViewMapping m = Mapping(st);
    const PictureRect& s = st->selection;
    POINT points[5];
    int32_t x, y;
    PictureToWindow(m, s.x, s.y, &x, &y);
    points[0] = POINT{x, y};
    PictureToWindow(m, s.x + s.width, s.y, &x, &y);
    points[1] = POINT{x, y};
    PictureToWindow(m, s.x + s.width, s.y + s.height, &x, &y);
    points[2] = POINT{x, y};
    PictureToWindow(m, s.x, s.y + s.height, &x, &y);
    points[3] = POINT{x, y};
    points[4] = points[0];
    HPEN pen = CreatePen(PS_SOLID, 1, kSelectionColour);
    HGDIOBJ old = SelectObject(dc, pen);
    Polyline(dc, points, 5);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void DrawOverlayText(HDC dc, const ViewState* st, const RECT& client) {
    const int length = int(std::wcslen(st->text));
    if (length == 0) return;
    SIZE size = {};
    GetTextExtentPoint32W(dc, st->text, length, &size);
    const int left = client.right / 2 - size.cx / 2;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kTextShadow);
    ExtTextOutW(dc, left + 1, 1, 0, nullptr, st->text, UINT(length), nullptr);
    SetTextColor(dc, kTextColour);
    ExtTextOutW(dc, left, 0, 0, nullptr, st->text, UINT(length), nullptr);
}

void Paint(HWND window, ViewState* st, HDC dc, const RECT& update) {
    HBRUSH background = CreateSolidBrush(st->background);
    if (!Shows(st)) {
        FillRect(dc, &update, background);
        DeleteObject(background);
        return;
    }
    RECT client = {};
    GetClientRect(window, &client);
    const Placement at = Placed(st);
    const int left = Clamp(at.x, 0, client.right);
    const int top = Clamp(at.y, 0, client.bottom);
    const int right = Clamp(int64_t(at.x) + at.width, 0, client.right);
    const int bottom = Clamp(int64_t(at.y) + at.height, 0, client.bottom);
    FillBand(dc, background, 0, 0, client.right, top);
    FillBand(dc, background, 0, bottom, client.right, client.bottom);
    FillBand(dc, background, 0, top, left, bottom);
    FillBand(dc, background, right, top, client.right, bottom);

    if (st->picture && st->perPaint) {
        if (st->screen.converter) {
            const PictureRect clip = {update.left, update.top, update.right - update.left, update.bottom - update.top};
            ScreenBitmapDraw(dc, &st->screen, at.x, at.y, &clip);
        } else {
            FillBand(dc, background, left, top, right, bottom);  // a picture that cannot be shown
        }
    } else if (st->screenHandle) {
        DrawHandle(dc, st, at);
    }
    DeleteObject(background);

    if (st->modeFlags & kViewHasSelection) DrawSelection(dc, st);
    if (st->text) DrawOverlayText(dc, st, client);
}

// ---------------------------------------------------------------------------
// Message handlers

// Allocates the state: fit mode at 100 %, per-paint conversion, and a
// scratch DIB the size of the screen.
LRESULT OnCreate(HWND window, UINT, WPARAM, LPARAM) {
    auto* st = static_cast<ViewState*>(std::calloc(1, sizeof(ViewState)));
    if (!st) return -1;
    st->zoomMode = kZoomFit;
    st->zoomX = st->zoomY = 100;
    st->perPaint = 1;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(st));
    ScreenBitmapInitForScreen(window, &st->screen);
    return 0;
}

LRESULT OnSize(HWND window, UINT, WPARAM, LPARAM) {
    ViewState* st = State(window);
    if (st && Shows(st)) Layout(window, st, false, 0);
    return 0;
}

LRESULT OnMove(HWND, UINT, WPARAM, LPARAM) { return 0; }

LRESULT OnDestroy(HWND window, UINT, WPARAM, LPARAM) {
    ViewState* st = State(window);
    if (!st) return 0;
    ReleaseShown(st, nullptr, nullptr);
    ScreenBitmapFree(&st->screen);
    delete[] st->text;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    std::free(st);
    return 0;
}

LRESULT OnPaint(HWND window, UINT, WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    ViewState* st = State(window);
    if (dc && st) Paint(window, st, dc, ps.rcPaint);
    EndPaint(window, &ps);
    return 0;
}

// The thumb's position comes from the bar itself when its range is wider
// than the message's 16 bits can carry.
LRESULT OnScroll(HWND window, UINT message, WPARAM first, LPARAM) {
    ViewState* st = State(window);
    if (!st || !Shows(st)) return 0;
    const bool horizontal = message == WM_HSCROLL;
    const int bar = horizontal ? SB_HORZ : SB_VERT;
    const int32_t code = LOWORD(first);
    int32_t position = HIWORD(first);
    int32_t page = 0;
    if (st->scrollBars) {
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        if (GetScrollInfo(window, bar, &info)) {
            page = int32_t(info.nPage);
            if ((code == SB_THUMBTRACK || code == SB_THUMBPOSITION) && info.nMax > 0xFFFF) position = info.nTrackPos;
        }
    }
    const int32_t current = horizontal ? st->offsetX : st->offsetY;
    const int32_t largest = horizontal ? st->maxOffsetX : st->maxOffsetY;
    if (largest > 0) ScrollAxisTo(window, st, horizontal, ScrollTarget(code, position, current, page, largest));
    return 0;
}

LRESULT OnButtonDown(HWND window, UINT, WPARAM, LPARAM second) {
    ViewState* st = State(window);
    if (!st) return 0;
    const int32_t x = ClientX(second);
    const int32_t y = ClientY(second);
    st->pressX = x;
    st->pressY = y;
    st->tapPending = 1;
    if (st->modeFlags & kViewSelect) {
        int32_t px, py;
        WindowToPicture(Mapping(st), x, y, &px, &py);
        DropSelection(window, st);
        st->corners[0] = st->corners[2] = px;
        st->corners[1] = st->corners[3] = py;
        st->grip = 0;
        st->selection = NormaliseCorners(px, py, px, py);
        st->modeFlags |= kViewHasSelection;
        SetCapture(window);
        InvalidateOutline(window, st);
        st->dragState = kDragSelecting;
    } else if (st->modeFlags & kViewPan) {
        st->anchorX = x + st->offsetX;
        st->anchorY = y + st->offsetY;
        SetCapture(window);
        st->dragState = kDragPanning;
    }
    if (!st->callback) return 0;

    HoldGestureRequest request = {};
    request.size = sizeof request;
    request.window = window;
    request.point = POINT{x, y};
    request.flags = kGestureReturnResult;
    if (HandheldRecognizeGesture(&request) == kGestureContextMenu) {
        st->tapPending = 0;
        if (st->dragState != kDragNone) ReleaseCapture();
        st->dragState = kDragNone;
        DropSelection(window, st);
        POINT screen = {x, y};
        ClientToScreen(window, &screen);
        Report(window, st, kViewTapAndHold, screen.x, screen.y, nullptr);
    } else if (st->tapPending) {
        Report(window, st, kViewPressed, x, y, nullptr);
    }
    return 0;
}

// Drags follow moves with the stylus down; a pointer that merely hovers (a
// desktop mouse, or a move the platform makes up) does not drag.
LRESULT OnMouseMove(HWND window, UINT, WPARAM first, LPARAM second) {
    ViewState* st = State(window);
    if (!st || !(first & MK_LBUTTON)) return 0;
    const int32_t x = ClientX(second);
    const int32_t y = ClientY(second);
    if (st->dragState == kDragPanning) {
        HCURSOR hand = LoadCursorW(GetModuleHandleW(nullptr), L"HandCur");
        SetCursor(hand ? hand : LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
        // The offsets go straight to the axes: a display wider than 16 bits
        // must pan as well as a small one.
        const int64_t targetX = int64_t(st->anchorX) - x;
        const int64_t targetY = int64_t(st->anchorY) - y;
        ScrollAxisTo(window, st, true, int32_t(targetX < 0 ? 0 : targetX));
        ScrollAxisTo(window, st, false, int32_t(targetY < 0 ? 0 : targetY));
    } else if (st->dragState == kDragSelecting) {
        int32_t px, py;
        WindowToPicture(Mapping(st), x, y, &px, &py);
        InvalidateOutline(window, st);
        st->corners[2] = px;
        st->corners[3] = py;
        st->selection = NormaliseCorners(st->corners[0], st->corners[1], px, py);
        InvalidateOutline(window, st);
        const PictureRect selection = st->selection;
        Report(window, st, kViewSelecting, x, y, &selection);
    }
    return 0;
}

LRESULT OnButtonUp(HWND window, UINT, WPARAM, LPARAM second) {
    ViewState* st = State(window);
    if (!st) return 0;
    const int32_t drag = st->dragState;
    st->dragState = kDragNone;
    if (drag != kDragNone && GetCapture() == window) ReleaseCapture();
    if (drag == kDragSelecting) {
        st->selection = NormaliseCorners(st->corners[0], st->corners[1], st->corners[2], st->corners[3]);
        if (st->selection.width <= kSmallestSelection || st->selection.height <= kSmallestSelection)
            DropSelection(window, st);
    }
    const bool report = st->callback && st->tapPending && !(drag == kDragPanning && st->maxOffsetX > 0);
    st->tapPending = 0;
    if (report) Report(window, st, kViewTapReleased, ClientX(second), ClientY(second), nullptr);
    return 0;
}

LRESULT OnDoubleClick(HWND window, UINT, WPARAM, LPARAM second) {
    ViewState* st = State(window);
    if (st) Report(window, st, kViewDoubleTap, ClientX(second), ClientY(second), nullptr);
    return 0;
}

const MessageRow kViewRows[] = {
    {WM_CREATE, OnCreate},           {WM_SIZE, OnSize},           {WM_MOVE, OnMove},
    {WM_DESTROY, OnDestroy},         {WM_PAINT, OnPaint},         {WM_HSCROLL, OnScroll},
    {WM_VSCROLL, OnScroll},          {WM_LBUTTONDOWN, OnButtonDown}, {WM_MOUSEMOVE, OnMouseMove},
    {WM_LBUTTONUP, OnButtonUp},      {WM_LBUTTONDBLCLK, OnDoubleClick},
};
const MessageTable kViewMessages = MakeMessageTable(kViewRows, kDefaultWindow);

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    return MsgTableDispatch(kViewMessages, window, message, first, second);
}

}  // namespace

// ---------------------------------------------------------------------------
// Class and creation

ATOM ViewRegisterClass(HINSTANCE instance) {
    WNDCLASSW wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = ViewProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    const ATOM atom = RegisterClassW(&wc);
    if (!atom) HandheldMessageBox(nullptr, L"RegisterClass() failed", L"Error", MB_OK);
    return atom;
}

BOOL ViewIsClassRegistered(HINSTANCE instance) {
    WNDCLASSW known;
    if (GetClassInfoW(instance, kClassName, &known)) return TRUE;
    return ViewRegisterClass(instance) != 0;
}

HWND ViewCreate(HWND parent, DWORD style, const RECT* rect, COLORREF background, void* param) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!ViewIsClassRegistered(instance)) return nullptr;
    const RECT r = rect ? *rect : RECT{0, 0, 256, 256};
    HWND view = CreateWindowExW(0, kClassName, L"preview", style | WS_CHILD | WS_TABSTOP, r.left, r.top,
                                r.right - r.left, r.bottom - r.top, parent, nullptr, instance, param);
    if (ViewState* st = view ? State(view) : nullptr) st->background = background;
    return view;
}

ViewState* ViewGetState(HWND view) { return view ? State(view) : nullptr; }

// ---------------------------------------------------------------------------
// Pictures

void ViewSetPicture(HWND view, const Bitmap* picture, int owns) {
    ViewState* st = State(view);
    if (!st) return;
    const bool sameSize =
        Shows(st) && picture && picture->width == st->pictureWidth && picture->height == st->pictureHeight;
    ReleaseShown(st, picture ? picture->pixels : nullptr, nullptr);
    if (picture) {
        st->picture = new (std::nothrow) Bitmap(*picture);
        if (st->picture) {
            TakeSizes(st, picture);
            st->ownsPicture = owns ? 1 : 0;
        }
    }
    st->modeFlags &= ~uint32_t(kViewHasSelection);
    Layout(view, st, true, kPrepareBuildPalette);
    InvalidateRect(view, nullptr, sameSize ? FALSE : TRUE);
}

void ViewSetPictureWithTransition(HWND view, const Bitmap* picture) {
    ViewState* st = State(view);
    if (!st) return;
    const Placement old = Placed(st);
    // Made before the old picture goes, in case the two share pixels.
    void* pixels = nullptr;
    HBITMAP handle = picture ? MakeScreenBitmap(view, picture, picture->width, picture->height, &pixels) : nullptr;
    if (picture && !handle) {
        // No full-size screen bitmap (a large picture, little memory): the
        // picture itself is shown, converted per paint, without a transition.
        ViewSetPicture(view, picture, 0);
        return;
    }
    ShowHandleWithTransition(view, st, handle, pixels, picture, old);
}

void ViewSetScreenBitmap(HWND view, HBITMAP bitmap, const Bitmap* picture) {
    ViewState* st = State(view);
    if (!st) return;
    ReleaseShown(st, nullptr, bitmap);
    st->modeFlags &= ~uint32_t(kViewHasSelection);
    if (bitmap) TakeHandle(st, bitmap, nullptr, picture);
    Layout(view, st, true, kPrepareBuildPalette);
    InvalidateRect(view, nullptr, TRUE);
}

void ViewSetScreenBitmapWithTransition(HWND view, HBITMAP bitmap, const Bitmap* picture) {
    ViewState* st = State(view);
    if (!st) return;
    ShowHandleWithTransition(view, st, bitmap, nullptr, picture, Placed(st));
}

// ---------------------------------------------------------------------------
// Zoom and scrolling

void ViewSetZoomMode(HWND view, int32_t mode) {
    ViewState* st = State(view);
    if (!st) return;
    st->zoomMode = mode;
    Layout(view, st, false, 0);
    InvalidateRect(view, nullptr, FALSE);
}

int32_t ViewGetZoomMode(HWND view) {
    ViewState* st = State(view);
    return st ? st->zoomMode : 0;
}

void ViewSetZoomPercent(HWND view, int32_t percent) {
    ViewState* st = State(view);
    if (!st || percent < kZoomPercentMin || percent > kZoomPercentMax) return;
    st->zoomMode = kZoomCustom;
    st->zoomX = st->zoomY = percent;
    if (Shows(st)) {
        const ViewLayoutResult next = LayOutView(LayoutInput(view, st));
        st->offsetX = OffsetKeepingCentre(st->offsetX, st->areaWidth, st->displayWidth, next.displayWidth);
        st->offsetY = OffsetKeepingCentre(st->offsetY, st->areaHeight, st->displayHeight, next.displayHeight);
    }
    Layout(view, st, false, 0);
    InvalidateRect(view, nullptr, FALSE);
}

int32_t ViewGetZoomPercent(HWND view) {
    ViewState* st = State(view);
    return st ? st->zoomX : 0;
}

void ViewZoomToSelection(HWND view) {
    ViewState* st = State(view);
    if (!st || !(st->modeFlags & kViewHasSelection)) return;
    RECT client = {};
    GetClientRect(view, &client);
    const PictureRect selection = st->selection;
    const int32_t step = ZoomStepForSelection(selection, client.right, client.bottom);
    DropSelection(view, st);
    st->zoomX = st->zoomY = step;
    OffsetsForSelection(selection, step, client.right, client.bottom, &st->offsetX, &st->offsetY);
    st->zoomMode = kZoomCustom;
    Layout(view, st, false, 0);
    InvalidateRect(view, nullptr, TRUE);
}

void ViewScrollBy(HWND view, int32_t dx, int32_t dy) {
    ViewState* st = State(view);
    if (!st) return;
    ScrollAxisTo(view, st, true, Moved(st->offsetX, dx, st->maxOffsetX));
    ScrollAxisTo(view, st, false, Moved(st->offsetY, dy, st->maxOffsetY));
}

// ---------------------------------------------------------------------------
// Settings

void ViewSetBackgroundColor(HWND view, COLORREF colour) {
    ViewState* st = State(view);
    if (!st) return;
    st->background = colour;
    InvalidateRect(view, nullptr, TRUE);
}

void ViewSetEventCallback(HWND view, ViewEventCallback callback, uintptr_t user) {
    ViewState* st = State(view);
    if (!st) return;
    st->callback = callback;
    st->callbackUser = user;
}

void ViewSetMouseMode(HWND view, uint32_t options) {
    ViewState* st = State(view);
    if (!st) return;
    uint32_t flags = st->modeFlags & ~uint32_t(kViewPan | kViewSelect | kViewSelectOption4);
    if (options & kMouseSelect) flags |= kViewSelect;
    if (options & kMousePan) flags |= kViewPan;
    if (options & kMouseSelect4) flags |= kViewSelect | kViewSelectOption4;
    st->modeFlags = flags;
}

int ViewGetSelection(HWND view, PictureRect* selection) {
    ViewState* st = State(view);
    if (!st || !(st->modeFlags & kViewHasSelection)) return 0;
    if (selection) *selection = st->selection;
    return 1;
}

void ViewSetSelection(HWND view, const PictureRect* selection) {
    ViewState* st = State(view);
    if (!st) return;
    DropSelection(view, st);
    if (!selection) return;
    st->selection = NormaliseCorners(selection->x, selection->y, selection->x + selection->width,
                                     selection->y + selection->height);
    st->modeFlags |= kViewHasSelection;
    InvalidateOutline(view, st);
}

void ViewGetPictureSize(HWND view, int32_t* width, int32_t* height) {
    ViewState* st = State(view);
    if (!st) return;
    if (width) *width = st->pictureWidth;
    if (height) *height = st->pictureHeight;
}

namespace {

// Sets one of the two layout options and lays out anew.
void SetLayoutOption(HWND view, uint32_t ViewState::*option, int on) {
    ViewState* st = State(view);
    if (!st) return;
    st->*option = on ? 1 : 0;
    Layout(view, st, true, kPrepareBuildPalette);
    InvalidateRect(view, nullptr, FALSE);
}

}  // namespace

void ViewSetScrollBars(HWND view, int on) { SetLayoutOption(view, &ViewState::scrollBars, on); }

void ViewSetAspectCorrection(HWND view, int on) { SetLayoutOption(view, &ViewState::aspect, on); }

void ViewSetText(HWND view, const wchar_t* text, uintptr_t word) {
    ViewState* st = State(view);
    if (!st) return;
    delete[] st->text;
    st->text = nullptr;
    st->textWord = word;
    if (text) {
        const size_t length = std::wcslen(text);
        st->text = new (std::nothrow) wchar_t[length + 1];
        if (st->text) std::memcpy(st->text, text, (length + 1) * sizeof(wchar_t));
    }
    // Repainted either way, so that a removed text does not stay on screen.
    InvalidateRect(view, nullptr, FALSE);
}

void ViewRefresh(HWND view) {
    if (State(view)) InvalidateRect(view, nullptr, FALSE);
}

// ---------------------------------------------------------------------------
// Preview

int ViewBeginPreview(HWND view, Bitmap* backup, Bitmap* current) {
    ViewState* st = State(view);
    if (!st) return 0;
    FreeBackup(st);
    if (!st->picture || st->picture->bytesPerPixel != 3) return 0;
    st->backup = new (std::nothrow) Bitmap();
    if (!st->backup) return 0;
    if (BitmapCrop(st->picture, st->backup, nullptr) != kGeometryDone) {
        delete st->backup;
        st->backup = nullptr;
        return 0;
    }
    if (backup) *backup = *st->backup;
    if (current) *current = *st->picture;
    return 1;
}

void ViewRestoreOriginal(HWND view) {
    ViewState* st = State(view);
    if (!st || !st->backup || !st->picture) return;
    const Bitmap& b = *st->backup;
    const Bitmap& p = *st->picture;
    // Only into the picture the backup was taken from.
    if (b.bytesPerRow != p.bytesPerRow || b.height != p.height || !b.pixels || !p.pixels) return;
    std::memcpy(p.pixels, b.pixels, size_t(b.bytesPerRow) * size_t(b.height));
    InvalidateRect(view, nullptr, FALSE);
}

void ViewEndPreview(HWND view, int keep) {
    ViewState* st = State(view);
    if (!st) return;
    if (!keep) ViewRestoreOriginal(view);
    FreeBackup(st);
}
