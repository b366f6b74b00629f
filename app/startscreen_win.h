// The start screen (startscreen_win.cpp): a full-screen launcher with six
// tiles shown instead of the browser at start-up on a 240 x 320 screen when
// "UseSplashScreen" is on; and the choose-folder dialog.
//
// Win32 only.
#pragma once

#include <windows.h>

#include "app/startscreen.h"

// Creates and shows the launcher over the (hidden) main window; null when
// the window cannot be made.
HWND StartScreenCreate(HWND mainWindow);
// The launcher's tiles as laid out for this screen (for tests).
const StartTile* StartScreenTiles();

// Lets the user pick a folder in a folder tree. `path` gives the folder
// selected at the start and, on 1, receives the chosen one with its trailing
// "\"; it is left as it was on 0 (cancelled, or nothing selected).
int ChooseFolderDialog(HWND parent, wchar_t* path, int capacity);
