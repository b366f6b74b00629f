// The viewer adjust bar: brightness, contrast and gamma of the picture shown
// in the image view, changed live from a bar at the bottom of the screen.
// Entry point of the image view's adjust command: RunViewAdjust.
#pragma once

#include <windows.h>

// 1 when the user pressed OK (the change stays; the three values are given
// back), 0 on Cancel (the picture is as it was) or when the shown picture is
// not of three bytes per pixel (the bar does not open).
int RunViewAdjust(HWND parent, HWND view, int* brightness, int* contrast, double* gamma);
