// The options sheet (options_win.cpp): six pages over the main settings,
// the language and the file associations; a page is stored when it is left
// and on OK.
//
// Win32 only.
#pragma once

#include <windows.h>

// Runs the sheet modally; a page's settings change when it is left for
// another page or the sheet is closed with OK, the colours, the home folder,
// the sound, the buttons' actions and the associations when they are chosen.
INT_PTR RunOptionsSheet(HWND parent);
// "Options...": the sheet, then the windows follow the changed settings.
LRESULT OnOptionsCommand(HWND window, UINT id, UINT code, HWND control);
