// The album and slideshow wizard: one full-screen container dialog holding
// seven pages shown one at a time (which pictures, the picture list, size
// and rotation, delay and sound, output folder and name, JPEG quality,
// create), with Previous and Next on its menu bar. It ends by writing an
// album (".alb") or a stand-alone slideshow (".exe") with the same options,
// which it keeps in the settings section "Slide".
//
// Win32 only. Everything runs on the main thread; while a writer works, its
// progress callback empties the thread's message queue so Stop can act.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "display/album.h"

// One file of the browser's shown folder, as the wizard needs it.
struct AlbumWizardEntry {
    const wchar_t* path;  // full path
    int32_t isAlbum;      // album files never go into an album
    HBITMAP thumbnail;    // the browser's thumbnail (borrowed), or null
    int32_t thumbnailWidth;
    int32_t thumbnailHeight;
};

// What the browser running the wizard lends it (the wizard cannot reach the
// browser's model); any member may be null.
struct AlbumWizardHooks {
    // Before a writer starts (the browser stops its thumbnail worker, which
    // would read the folder being written).
    void (*beforeWrite)(uintptr_t user);
    // After the writer: `made` is 1 when the file folder + name was written
    // to its end (the browser lists it, or re-reads it when listed), 0 when
    // stopped; the worker restarts either way.
    void (*afterWrite)(uintptr_t user, const wchar_t* folder, const wchar_t* name, int32_t made);
    uintptr_t user;
};

enum AlbumWizardMode : int32_t { kWizardAlbum = 0, kWizardSlideshow = 1 };

constexpr int kAlbumWizardPages = 7;

// One per run, zeroed; its address is the user data of the container and of
// every page.
struct AlbumWizardState {
    HWND pages[kAlbumWizardPages];
    int32_t currentPage;
    HWND menuBar;
    int32_t settingsFlag;  // read the settings at the start, write them on command 1
    int32_t mode;          // AlbumWizardMode
    AlbumOptions options;
    const AlbumWizardEntry* entries;  // the shown folder
    int32_t entryCount;
    const int32_t* selected;          // indices into entries, or null
    int32_t selectedCount;
    int32_t textHeight;               // of the picture list's font
    HIMAGELIST thumbnails;            // 36 x 49
    HIMAGELIST checks;                // 11 x 11, checked then unchecked
    int32_t thumbnailCursor;          // next list item the timer loads
    int32_t writing;                  // a writer is running: closing is refused
    const AlbumWizardHooks* hooks;    // may be null
};

// One per item of the picture list.
struct AlbumPictureItem {
    int32_t checked;
    HIMAGELIST iconList;
    int32_t iconIndex;  // -1 without icon
    HBITMAP thumbnail;
    int32_t thumbnailWidth;
    int32_t thumbnailHeight;
    int32_t ownsBitmap;
    wchar_t folder[kAlbumPathChars];
    wchar_t name[kAlbumPathChars];
};

// Runs the wizard modally over the owner. Returns the dialog's result (0).
INT_PTR RunAlbumWizard(HWND owner, const AlbumWizardEntry* entries, int32_t entryCount, const int32_t* selected,
                       int32_t selectedCount, int32_t mode, const AlbumWizardHooks* hooks = nullptr);

// The writers' progress callback: `user` is the page 6 window. Sets the
// status text and the progress bar, empties the message queue and returns 0
// once Stop was pressed.
int32_t AlbumWizardProgress(uintptr_t user, const wchar_t* text, int32_t position, int32_t count);

// Picture files by extension, as the whole-device scan takes them.
bool AlbumWizardIsPictureName(const wchar_t* name);

// A thumbnail of w x h drawn into the 52 x 49 picture cell: the size it is
// drawn at (scaled down keeping its proportions when it does not fit).
SIZE AlbumWizardThumbnailSize(int32_t w, int32_t h);
