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

// Grabs the screen, reduces its colours as the options ask and writes it as
// the next free capture name of `folder` (ending in a separator), never over
// an existing file. `name` (capacity `nameCapacity`) receives the file name.
// 1 when written, else 0.
int CaptureScreenToFile(const wchar_t* folder, wchar_t* name, size_t nameCapacity, const OutputOptions& options);
