// Shared between the platform layer's own files.
#pragma once

#include "platform/handheld.h"

void RecordHandheldCall(HandheldCall call, HWND window, uint32_t value);
// Makes `window` the one the top bar's "ok" button answers.
void SetDoneTarget(HWND window);
// Strips the caption and frame and moves the window over the work area,
// above its menu bar when it has one.
void FillWorkArea(HWND window);
// Removes the caption and frame of a top-level window.
void MakeCaptionless(HWND window);
