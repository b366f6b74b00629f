// The image view window, "CBmpClass": one picture, fitted, zoomed or at a
// percentage, centred when smaller than the window, with optional scroll
// bars, panning by dragging the stylus, a red selection rectangle, a line of
// text over the picture, a preview mode that keeps the unchanged pixels while
// a tool changes the shown ones, and picture changes through transitions.
// Taps, double taps, presses, tap-and-hold and selection changes go to the
// owner's callback.
//
// Every operation takes the view window first and does nothing when the
// window has no state (its creation failed). DisplayInit must have run.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "display/display.h"
#include "display/viewlayout.h"
#include "imagelib/bitmap.h"

// What the view reports to its owner.
enum ViewEventCode : int32_t {
    kViewTapReleased = 0,   // stylus lifted after a press (not after a pan of a horizontally scrollable view)
    kViewDoubleTap = 1,
    kViewSelecting = 3,     // stylus moved while selecting; the selection is in the event
    kViewTapAndHold = 4,    // point in screen coordinates
    kViewPressed = 5,       // stylus down, no gesture recognised
};

struct ViewEvent {
    int32_t code;           // ViewEventCode
    HWND window;
    int32_t x;              // client coordinates (screen coordinates for kViewTapAndHold)
    int32_t y;
    int32_t selectionLeft;  // kViewSelecting only: the selection in picture pixels
    int32_t selectionTop;
    int32_t selectionWidth;
    int32_t selectionHeight;
    int32_t hasSelection;   // 1 when a selection exists
    uintptr_t user;         // the value given with the callback
};

using ViewEventCallback = void (*)(const ViewEvent* event);

// Mode flags of ViewState.
enum ViewModeFlags : uint32_t {
    kViewPan = 0x1,
    kViewSelect = 0x2,
    kViewSelectOption4 = 0x4,  // select mode set by mouse option 4
    kViewHasSelection = 0x100,
};

// ViewSetMouseMode options.
enum ViewMouseOptions : uint32_t {
    kMouseSelect = 0x1,
    kMousePan = 0x2,
    kMouseSelect4 = 0x4,
};

enum ViewDragState : int32_t {
    kDragNone = 0,
    kDragSelecting = 1,
    kDragPanning = 2,
};

// One per view window, allocated zeroed at WM_CREATE, stored in the window's
// user data, freed at WM_DESTROY.
struct ViewState {
    Bitmap* picture;          // the view's copy of the caller's record (pixels shared), or null
    HBITMAP screenHandle;     // a DIB section shown stretched, or null
    void* screenPixels;
    int32_t pictureWidth;
    int32_t pictureHeight;
    int32_t xResolution;      // for the aspect correction
    int32_t yResolution;
    ScreenBitmap screen;      // per-paint conversion of `picture`
    int32_t displayWidth;     // the picture's size at the current zoom
    int32_t displayHeight;
    int32_t bitsPerPixel;
    uint32_t ownsPicture;     // free the picture's buffers with the picture
    uint32_t perPaint;        // convert the visible part of `picture` on each paint
    Bitmap* backup;           // the unchanged pixels during a preview, or null
    int32_t zoomMode;         // ViewZoomMode
    int32_t zoomX;            // percent
    int32_t zoomY;
    int32_t offsetX;          // display pixel at the window's left edge; negative when centred
    int32_t offsetY;
    int32_t maxOffsetX;       // 0 when the axis cannot scroll
    int32_t maxOffsetY;
    uint32_t modeFlags;       // ViewModeFlags
    PictureRect selection;    // picture pixels
    int32_t dragState;        // ViewDragState
    int32_t corners[4];       // x0, y0, x1, y1 of the selection drag, picture pixels
    int32_t grip;             // always 0: every press starts a new selection
    int32_t anchorX;          // press point plus the offsets at the press
    int32_t anchorY;
    uint32_t tapPending;
    COLORREF background;
    int32_t pressX;           // client coordinates
    int32_t pressY;
    ViewEventCallback callback;
    uintptr_t callbackUser;
    uint32_t transitionPosition;  // the view's place in the shuffled order of transitions
    uint32_t scrollBars;      // 0: never show scroll bars
    uint32_t aspect;          // correct the height of pictures with unequal resolutions
    wchar_t* text;            // overlay text (owned), or null
    uintptr_t textWord;
    // The area the last layout gave the picture, and a guard against the
    // layout re-entering itself through the WM_SIZE its scroll bars cause.
    int32_t areaWidth;
    int32_t areaHeight;
    uint32_t layingOut;
};

// Registers "CBmpClass"; on failure shows "RegisterClass() failed". The
// second registers only when the class is not yet known. Both return
// non-zero when the class is there.
ATOM ViewRegisterClass(HINSTANCE instance);
BOOL ViewIsClassRegistered(HINSTANCE instance);

// Creates a view titled "preview" with the style plus WS_CHILD and
// WS_TABSTOP, at the rectangle (null: 0, 0, 256 x 256).
HWND ViewCreate(HWND parent, DWORD style, const RECT* rect, COLORREF background, void* param);

// The view's state, or null.
ViewState* ViewGetState(HWND view);

// Shows the picture (null: nothing). The view keeps a copy of the record;
// the pixels stay the caller's unless `owns` is set, in which case the view
// frees the picture's buffers when it lets it go.
void ViewSetPicture(HWND view, const Bitmap* picture, int owns);
// Shows the picture through the next transition; the picture stays the
// caller's and is not kept (the view keeps a screen bitmap made from it).
// When that screen bitmap cannot be made, the picture is shown as
// ViewSetPicture(view, picture, 0) shows it, converted per paint and without
// a transition: then the view keeps the record and the caller's pixels must
// stay until the view shows something else.
void ViewSetPictureWithTransition(HWND view, const Bitmap* picture);
// Shows a screen bitmap the caller made; the view owns and deletes it. The
// record (may be null) gives the picture's size, resolution and depth.
void ViewSetScreenBitmap(HWND view, HBITMAP bitmap, const Bitmap* picture);
void ViewSetScreenBitmapWithTransition(HWND view, HBITMAP bitmap, const Bitmap* picture);

void ViewSetZoomMode(HWND view, int32_t mode);
int32_t ViewGetZoomMode(HWND view);
// Accepted from kZoomPercentMin to kZoomPercentMax (else nothing changes):
// custom mode at that percentage, keeping the picture point at the window's
// centre there.
void ViewSetZoomPercent(HWND view, int32_t percent);
int32_t ViewGetZoomPercent(HWND view);
// Zooms so the selection fills the window, centred; drops the selection.
void ViewZoomToSelection(HWND view);
void ViewScrollBy(HWND view, int32_t dx, int32_t dy);
void ViewSetBackgroundColor(HWND view, COLORREF colour);
void ViewSetEventCallback(HWND view, ViewEventCallback callback, uintptr_t user);
// 0 none; kMouseSelect select; kMousePan pan; kMouseSelect4 select (with
// kViewSelectOption4). Select wins over pan when both are given.
void ViewSetMouseMode(HWND view, uint32_t options);
// 1 and the selection (picture pixels) when one exists, else 0.
int ViewGetSelection(HWND view, PictureRect* selection);
// Replaces the selection (null: none).
void ViewSetSelection(HWND view, const PictureRect* selection);
void ViewGetPictureSize(HWND view, int32_t* width, int32_t* height);
void ViewSetScrollBars(HWND view, int on);
void ViewSetAspectCorrection(HWND view, int on);
// Replaces the overlay text with a copy (null: none).
void ViewSetText(HWND view, const wchar_t* text, uintptr_t word);
void ViewRefresh(HWND view);

// Preview: keeps a copy of the shown picture's pixels (3 bytes per pixel
// only) and hands out the backup and the shown records (the pixels stay the
// view's). The caller then changes the shown pixels and calls ViewRefresh.
// 0, with no backup, for other pictures or when the copy fails.
int ViewBeginPreview(HWND view, Bitmap* backup, Bitmap* current);
// Puts the backup's pixels back into the shown picture and repaints.
void ViewRestoreOriginal(HWND view);
// Ends the preview: without `keep` the unchanged pixels come back; the
// backup is freed either way.
void ViewEndPreview(HWND view, int keep);
