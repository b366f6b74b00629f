// The browser model's Win32 side: the worker's messages go to the main
// window, thumbnails become DIB sections for its screen, and the shown
// folder is watched for changes.
//
// Win32 only.
#pragma once

#include <windows.h>

#include "platform/handheld.h"
#include "shell/browsermodel.h"
#include "shell/pictureload.h"

// Services for a BrowserModel whose main window is `window` (the display
// layer must be prepared, DisplayInit).
BrowserServices Win32BrowserServices(HWND window);
// How the viewer reads and resets the EXIF orientation of loaded pictures.
const ExifOrientationAccess* ViewerExifOrientation();

// The thumbnail box for a ThumbSize setting on this screen and system.
void ScreenThumbBox(int32_t thumbSize, int32_t* width, int32_t* height);

// Ends the window's change notifications and, for a non-empty folder,
// registers it anew (creations and deletions; subfolders when asked).
void WatchBrowserFolder(HWND window, const std::wstring& folder, bool subfolders);

// The main window's handlers of kThumbReadyMessage, kThumbsDoneMessage and
// kFileChangeMessage (the record is freed here). True when the message was
// one of them.
bool HandleBrowserMessage(BrowserModel* model, UINT message, WPARAM first, LPARAM second);
