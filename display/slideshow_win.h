// The album slideshow window, "slideClass": a top-most full-screen window
// holding an image view that shows an album's pictures one after another on
// a timer, with or without transitions, looping or closing at the end, with
// the album's sound behind. A tap (released) ends the show.
//
// Pictures are taken out of the archive one at a time into the extraction
// folder and deleted once shown; the sound is extracted for the length of
// the show. Everything runs on the main thread.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "display/album.h"
#include "zip/zip.h"

constexpr UINT_PTR kSlideshowTimer = 1000;

// What the program starting a show lends it (this layer cannot reach the
// shell); either member may be null. The browser's thumbnail worker is
// stopped once the show's window exists and started again when it closes.
struct SlideshowHooks {
    void (*stopWorker)(uintptr_t user);
    void (*startWorker)(uintptr_t user);
    uintptr_t user;
};

// One per show: made before the window, owned by the window from its
// creation (its user data) and freed at WM_DESTROY.
struct SlideshowState {
    HWND view = nullptr;
    int32_t delay = 0;
    int32_t transitions = 0;
    int32_t sound = 0;
    int32_t loop = 0;
    std::vector<std::wstring> names;  // picture entries
    size_t position = 0;              // index of the next picture
    ZipHandle* archive = nullptr;
    std::wstring soundPath;           // the extracted sound file, empty without one
    int32_t soundKind = kAlbumSoundOther;
    std::wstring folder;              // extraction folder, ending in a separator
    SlideshowHooks hooks{};           // copied from the caller's; members may be null
};

// Plays the album at folder + fileName. `hooks` may be null; it is copied.
// `background` is the setting "SlideBackColor", which the caller reads (the
// settings belong to the shell, above this layer).
// Returns the show's window, or null when the album cannot be played (no
// archive, no usable config, no picture): then no window was made.
HWND SlideshowStartAlbum(const SlideshowHooks* hooks, const wchar_t* folder, const wchar_t* fileName,
                         COLORREF background = 0x808080);

// The folder pictures are extracted to, "\Temp\Trelmo\" on the device.
const wchar_t* SlideshowExtractFolder();
