// The browser controller's run-time state: how the shown picture was loaded
// and turned, and the animation being played. Part of AppSettings, zero-filled
// with it when the main window is created; AppSettings' own fields hold the
// rest (previousViewMode, currentItem, currentPage, pictureShown, zoom,
// lockZoom).
//
// Portable: no platform headers.
#pragma once

#include <cstdint>

struct AniGifAnimation;

struct BrowserState {
    uint32_t pageCount;
    int32_t rotated;          // the shown picture was turned for the screen
    int32_t fullSizeLoaded;   // the shown bitmap has the picture's own size
    int32_t damaged;          // the shown picture's file is damaged: only part of it was read
    int32_t pictureWidth, pictureHeight;
    int32_t loadBoxWidth, loadBoxHeight;  // -1 when loaded at full size
    int32_t loadedWidth, loadedHeight;    // the bitmap given to the view
    uint32_t frameIndex;
    AniGifAnimation* frames;  // the animated GIF being played, or null
    int32_t penDownX, penDownY;
    int32_t multiSelect;      // multi-select mode: taps toggle items
    int32_t programChange;    // the program itself changes item states
};
