// Picture transitions: the image view draws a new picture onto the screen
// progressively with one of 23 effects, taken in a shuffled order.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>

// Draws the new picture (the DIB section `bitmap`, placed at newX, newY,
// newWidth x newHeight in the window's client coordinates) over the old
// one's place (oldX, oldY, oldWidth x oldHeight) with the next effect of the
// shuffled order; `position` is the view's place in that order and advances.
// 1 when the user ended the effect with the stylus, else 0. The caller
// repaints the window afterwards in either case.
int ShowWithTransition(HWND window, uint32_t* position, HBITMAP bitmap, int newX, int newY, int newWidth,
                       int newHeight, int oldX, int oldY, int oldWidth, int oldHeight, COLORREF background);
