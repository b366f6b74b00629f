// The options sheet (options_win.cpp): six pages over the main settings,
// the language and the file associations; OK stores what the pages show.
//
// Win32 only.
#pragma once

#include <windows.h>

// Runs the sheet modally; the settings change only when it is closed with OK.
INT_PTR RunOptionsSheet(HWND parent);
// "Options...": the sheet, then the windows follow the changed settings.
LRESULT OnOptionsCommand(HWND window, UINT id, UINT code, HWND control);
