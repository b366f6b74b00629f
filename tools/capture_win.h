// Screen capture: the whole screen into the next free "capture%03d" file of
// a folder, in the chosen output format. Entry point for the main window's
// capture timer: CaptureScreenToFile.
#pragma once

#include <windows.h>

#include <cstddef>

#include "imagelib/bitmap.h"
#include "tools/output.h"

// The screen inside the rectangle as a blue, green, red picture, rows stored
// bottom-up (its orientation says so). 0 for an empty rectangle or when the
// picture cannot be made, else 1.
int ScreenGrabber(const RECT* rect, Bitmap* bitmap);

// Seconds of each entry of the capture page's delay list (1, 5, 10, 15);
// any other index counts as 1.
int CaptureDelaySeconds(int index);

// The capture sheet: a capture page with the delay and the output format
// page. 1 when the user pressed Capture: `delaySeconds` and `options` are
// filled and the delay ("Capture": "Delay") and format choices stored; 0
// when the sheet was closed otherwise. Entry point of the main window's
// capture command, which then waits the delay and calls CaptureScreenToFile.
int RunCaptureTool(HWND parent, int* delaySeconds, OutputOptions* options);

// Grabs the screen, reduces its colours as the options ask and writes it as
// the next free capture name of `folder` (ending in a separator), never over
// an existing file. `name` (capacity `nameCapacity`) receives the file name.
// 1 when written, else 0.
int CaptureScreenToFile(const wchar_t* folder, wchar_t* name, size_t nameCapacity, const OutputOptions& options);
